#pragma once
// Download folders below the root, one per category.
#include <string>
#include <vector>

#include "download/CategoryFolder.h"

namespace tavimo {

// Settings values are lines of the settings file: a name holding CR or LF would end its line
// early and could start sections and keys of its own, so it never becomes a category.
bool HasLineBreak(const std::string& name);

// What the user is told when a name is refused or the list is full.
inline constexpr const char* kCategoryCaption = "Tavimo";
std::string TooManyCategoriesText(int maxCategories);
// Folders of the root whose names hold a line break are left out of the list.
std::string LineBreakFoldersText(int count);

// The plain folders directly inside root, in the order the file system lists them: no
// symbolic links, nothing hidden by a leading ".", no "." or "..". Nothing when root is
// missing or unreadable.
std::vector<std::string> RootSubfolders(const std::string& root);

}  // namespace tavimo
