#pragma once
// The folder a category's downloads go to, below the download root, and the names that may
// name one: the window's category list and tavimo-scan's --category share this check, so no
// name from the dialog, the settings file or the command line writes outside the root.
#include <string>

namespace tavimo {

// The category that stands for "no category": items go into the root itself.
inline constexpr const char* kNoCategory = "--";

inline constexpr const char* kLineBreakNameText = "A category name cannot contain a line break.";

// Why `name` cannot name a folder directly inside the download root, as a sentence for the
// user; empty when it can. kNoCategory (the root itself) and the empty name are accepted.
// A line break is refused too: the name is a line of the settings file.
std::string CategoryNameProblem(const std::string& name);

// Why `name` cannot be the save-as name of a file inside the category's folder (empty, "." or
// "..", a "/" or a NUL in it), as a short reason; empty when it can. A name too long for the
// file system is no problem: the save shortens it.
std::string SaveNameProblem(const std::string& name);

// root + "/" when it lacks one; then the category and "/" unless the category is exactly "--".
// The name is used unchanged (no trimming); check it with CategoryNameProblem first.
std::string CategoryFolder(const std::string& root, const std::string& category);

}  // namespace tavimo
