#include "components/DropURLTarget.h"

#include <string_view>

#include "components/InternetShortcut.h"
#include "base/TextUtils.h"

namespace tavimo {
namespace {

// Shortcut names the source offers carry at most this many characters.
constexpr std::size_t kFileNameLimit = 260;

std::string UpToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string DropLast(const std::string& s, std::size_t n) {
  return s.substr(0, s.size() > n ? s.size() - n : 0);
}

}  // namespace

TDropURLTarget::TDropURLTarget() {
  Dragtypes = {dtLink};
  GetDataOnEnter = true;
}

void TDropURLTarget::ClearData() { url_.clear(); }

bool TDropURLTarget::HasValidFormats() {
  const DragDataSource* data = DataObject();
  const auto formats = data ? data->EnumFormats() : std::nullopt;
  if (!formats) return false;
  for (const std::string& f : *formats) {
    if (f == kFormatURL || f == kFormatFileContents || f == kFormatFileList || f == kFormatText) return true;
  }
  return false;
}

bool TDropURLTarget::DoGetData() {
  url_.clear();
  title_.clear();
  const DragDataSource* data = DataObject();
  if (!data) return false;
  bool found = false;
  if (auto link = data->GetData(kFormatURL)) {
    url_ = UpToNul(*link);
    found = true;
  } else if (auto text = data->GetData(kFormatText)) {
    url_ = UpToNul(*text);
    found = true;
  } else if (auto contents = data->GetData(kFormatFileContents)) {
    // Read as the shortcut text it is: a fixed offset would keep the "=" of a CR LF file.
    url_ = InternetShortcutAddress(UpToNul(*contents)).value_or(std::string());
    found = true;
  } else if (auto files = data->GetData(kFormatFileList)) {
    found = ReadDroppedShortcut(*files);
  }
  if (auto group = data->GetData(kFormatFileGroupDescriptor)) {
    title_ = DropLast(UpToNul(*group).substr(0, kFileNameLimit), 4);
  } else if (title_.empty()) {
    title_ = url_;
  }
  return found;
}

bool TDropURLTarget::ReadDroppedShortcut(const std::string& fileList) {
  const std::string path = UpToNul(fileList);
  if (path.empty()) return false;
  const std::string fileName = path.substr(path.rfind('/') + 1);
  const std::size_t dot = fileName.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : AsciiLowerCopy(fileName.substr(dot));
  if (ext != ".url" && ext != ".desktop") return false;
  const auto content = ReadShortcutFile(path);
  if (!content) return false;
  if (ext == ".url") {
    auto address = InternetShortcutAddress(*content);
    if (!address) return false;
    url_ = std::move(*address);
    title_ = DropLast(fileName, 4);
    return true;
  }
  auto link = ParseDesktopLink(*content);
  if (!link) return false;
  url_ = link->URL.substr(0, kShortcutAddressLimit);
  title_ = link->Name ? *link->Name : fileName.substr(0, dot);
  return true;
}

}  // namespace tavimo
