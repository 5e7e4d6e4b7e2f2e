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

// Settings values are lines of the settings file: a name holding CR or LF would end its line
// early and could start sections and keys of its own, so it never becomes a category.
bool HasLineBreak(const std::string& name);

// What the user is told when a name is refused or the list is full.
inline constexpr const char* kCategoryCaption = "Tavimo";
inline constexpr const char* kLineBreakNameText = "A category name cannot contain a line break.";
std::string TooManyCategoriesText(int maxCategories);
// Folders of the root whose names hold a line break are left out of the list.
std::string LineBreakFoldersText(int count);

// The plain folders directly inside root, in the order the file system lists them: no
// symbolic links, nothing hidden by a leading ".", no "." or "..". Nothing when root is
// missing or unreadable.
std::vector<std::string> RootSubfolders(const std::string& root);

}  // namespace tavimo
