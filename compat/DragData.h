#pragma once
// The data of a drag in progress as a drop target asks for it: by the clipboard format names
// the drop target knows ("UniformResourceLocator", "FileGroupDescriptor", "FileContents",
// CF_TEXT, CF_HDROP). MimeDragData answers those names from the MIME types that X11 sources
// (Firefox, Chromium, file managers, Qt programs) put on a drag. Bytes stay bytes throughout.
// Qt 6.4's X11 backend folds text/x-moz-url into text/uri-list, so from another program the
// title arrives through _NETSCAPE_URL (both browsers offer it); text/x-moz-url itself is seen
// only in drags inside the program.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMimeData;

namespace tavimo {

inline constexpr const char* kFormatURL = "UniformResourceLocator";
inline constexpr const char* kFormatFileContents = "FileContents";
inline constexpr const char* kFormatFileGroupDescriptor = "FileGroupDescriptor";
inline constexpr const char* kFormatText = "CF_TEXT";
inline constexpr const char* kFormatFileList = "CF_HDROP";

class DragDataSource {
 public:
  virtual ~DragDataSource() = default;
  // The formats offered, in the source's order; nullopt when they cannot be listed.
  virtual std::optional<std::vector<std::string>> EnumFormats() const = 0;
  // The bytes of one format; nullopt when it is not offered. Text formats end with a NUL;
  // CF_HDROP is the dropped file names, each ended by a NUL, the list ended by an empty name;
  // FileGroupDescriptor is the first file's name, ended by a NUL.
  virtual std::optional<std::string> GetData(const std::string& format) const = 0;
};

// The answers for one QMimeData (not owned; it must outlive this object).
class MimeDragData : public DragDataSource {
 public:
  explicit MimeDragData(const QMimeData* mime);
  std::optional<std::vector<std::string>> EnumFormats() const override;
  std::optional<std::string> GetData(const std::string& format) const override;

 private:
  const QMimeData* mime_;
};

// Helpers of the adapter, public for the tests and the fuzz target.

// A link as Firefox and Chromium package it: address on the first line, title on the second.
struct DraggedLink {
  std::string Address;
  std::optional<std::string> Title;  // absent without a second line
};
// text/x-moz-url: UTF-16 (little-endian, optional byte-order mark) as the browsers write it;
// bytes without any NUL are taken as UTF-8 already.
DraggedLink ParseMozUrl(std::string_view bytes);
// _NETSCAPE_URL: UTF-8, address and title on two lines.
DraggedLink ParseNetscapeUrl(std::string_view bytes);
// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes);

// text/uri-list: the entries in order, comments and blank lines skipped.
std::vector<std::string> UriListEntries(std::string_view bytes);
// The local path of a file: URI (empty host or "localhost"), percent-decoded; nullopt for any
// other URI.
std::optional<std::string> LocalFilePath(std::string_view uri);

}  // namespace tavimo
