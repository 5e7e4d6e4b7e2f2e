#include "app/Categories.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace tavimo {

bool HasLineBreak(const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; }

std::string TooManyCategoriesText(int maxCategories) {
  return "The category list is full: it holds at most " + std::to_string(maxCategories) + " categories.";
}

std::string LineBreakFoldersText(int count) {
  return count == 1 ? "1 folder was not added as a category: its name contains a line break."
                    : std::to_string(count) +
                          " folders were not added as categories: their names contain a line break.";
}

std::vector<std::string> RootSubfolders(const std::string& root) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(root.c_str()), ::closedir);
  if (!dir) return names;
  const std::string base = root.empty() || root.back() == '/' ? root : root + "/";
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;  // ".", ".." and hidden folders
    struct stat st {};
    // lstat, so a link to a folder is not taken for one.
    if (::lstat((base + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    names.push_back(name);
  }
  return names;
}

}  // namespace tavimo
