#include "download/CategoryFolder.h"

#include "download/BatchNames.h"

namespace tavimo {

std::string CategoryNameProblem(const std::string& name) {
  if (name == "." || name == "..") return "A category name cannot be \".\" or \"..\".";
  if (name.find('/') != std::string::npos) return "A category name cannot contain \"/\".";
  if (name.find('\0') != std::string::npos) return "A category name cannot contain a NUL character.";
  if (name.find_first_of("\r\n") != std::string::npos) return kLineBreakNameText;
  if (name.size() > kMaxFileNameBytes) {
    return "A category name can be at most " + std::to_string(kMaxFileNameBytes) + " bytes long.";
  }
  return {};
}

std::string SaveNameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "\"" + name + "\" is not a file name";
  if (name.find('/') != std::string::npos) return "a file name cannot contain \"/\"";
  if (name.find('\0') != std::string::npos) return "a file name cannot contain a NUL character";
  return {};
}

std::string CategoryFolder(const std::string& root, const std::string& category) {
  std::string base = root;
  if (base.empty() || base.back() != '/') base += '/';
  if (category == kNoCategory) return base;
  return base + category + "/";
}

}  // namespace tavimo
