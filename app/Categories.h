#pragma once
// Download folders below the root, one per category.
#include <string>
#include <vector>

namespace tavimo {

// The category that stands for "no category": items go into the root itself.
inline constexpr const char* kNoCategory = "--";

// root + "/" when it lacks one; then the category and "/" unless the category is exactly "--".
// The name is used unchanged (no trimming, no check of the characters).
std::string CategoryFolder(const std::string& root, const std::string& category);

// The plain folders directly inside root, in the order the file system lists them: no
// symbolic links, nothing hidden by a leading ".", no "." or "..". Nothing when root is
// missing or unreadable.
std::vector<std::string> RootSubfolders(const std::string& root);

}  // namespace tavimo
