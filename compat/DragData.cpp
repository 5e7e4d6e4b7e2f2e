#include "compat/DragData.h"

#include <QMimeData>
#include <QString>

#include "base/TextUtils.h"

namespace tavimo {
namespace {

std::optional<std::string> MimeBytes(const QMimeData* mime, const QString& type) {
  if (!mime->hasFormat(type)) return std::nullopt;
  const QByteArray bytes = mime->data(type);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A format offered under the drop target's own name, either plainly or the way Qt names
// formats it got from a Windows program.
std::optional<std::string> NamedFormat(const QMimeData* mime, const std::string& name) {
  const QString plain = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  if (auto bytes = MimeBytes(mime, plain)) return bytes;
  return MimeBytes(mime, QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(plain));
}

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

std::string WithNul(std::string_view s) {
  std::string out(s);
  out.push_back('\0');
  return out;
}

// The first line and, when there is one, the second, without their CR.
DraggedLink SplitLink(std::string_view text) {
  auto cut = [](std::string_view s) {
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return std::string(s);
  };
  DraggedLink link;
  const std::size_t nl = text.find('\n');
  link.Address = cut(text.substr(0, nl));
  if (nl != std::string_view::npos) {
    std::string_view rest = text.substr(nl + 1);
    link.Title = cut(rest.substr(0, rest.find('\n')));
  }
  return link;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  };
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

DraggedLink ParseMozUrl(std::string_view bytes) {
  std::string text;
  if (bytes.find('\0') != std::string_view::npos) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') bytes.remove_prefix(2);
    text = Utf16LeToUtf8(bytes);
  } else {
    text = std::string(bytes);
  }
  return SplitLink(UpToNul(text));
}

DraggedLink ParseNetscapeUrl(std::string_view bytes) { return SplitLink(UpToNul(bytes)); }

std::vector<std::string> UriListEntries(std::string_view bytes) {
  std::vector<std::string> entries;
  bytes = UpToNul(bytes);
  while (!bytes.empty()) {
    const std::size_t nl = bytes.find('\n');
    std::string_view line = bytes.substr(0, nl);
    bytes = nl == std::string_view::npos ? std::string_view() : bytes.substr(nl + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.remove_suffix(1);
    if (!line.empty() && line.front() != '#') entries.emplace_back(line);
  }
  return entries;
}

std::optional<std::string> LocalFilePath(std::string_view uri) {
  if (!StartsWithNoCase(uri, "file:")) return std::nullopt;
  std::string_view rest = uri.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) return std::nullopt;
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && AsciiHexValue(rest[i + 1]) >= 0 &&
        AsciiHexValue(rest[i + 2]) >= 0) {
      path.push_back(static_cast<char>(AsciiHexValue(rest[i + 1]) * 16 + AsciiHexValue(rest[i + 2])));
      i += 2;
    } else {
      path.push_back(rest[i]);
    }
  }
  // Names travel NUL-terminated: one with a NUL inside cannot name a file anyway.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

MimeDragData::MimeDragData(const QMimeData* mime) : mime_(mime) {}

std::optional<std::vector<std::string>> MimeDragData::EnumFormats() const {
  if (!mime_) return std::nullopt;
  std::vector<std::string> formats;
  for (const char* f :
       {kFormatURL, kFormatFileGroupDescriptor, kFormatFileContents, kFormatText, kFormatFileList}) {
    if (GetData(f)) formats.emplace_back(f);
  }
  return formats;
}

std::optional<std::string> MimeDragData::GetData(const std::string& format) const {
  if (!mime_) return std::nullopt;
  const auto mozUrl = [&] { return MimeBytes(mime_, QStringLiteral("text/x-moz-url")); };
  const auto netscapeUrl = [&] { return MimeBytes(mime_, QStringLiteral("_NETSCAPE_URL")); };
  const auto uriList = [&] {
    const auto bytes = MimeBytes(mime_, QStringLiteral("text/uri-list"));
    return bytes ? UriListEntries(*bytes) : std::vector<std::string>();
  };
  const auto localFiles = [&] {
    std::vector<std::string> files;
    for (const std::string& uri : uriList()) {
      if (auto path = LocalFilePath(uri)) files.push_back(std::move(*path));
    }
    return files;
  };

  if (format == kFormatURL) {
    if (auto bytes = mozUrl()) {
      if (DraggedLink link = ParseMozUrl(*bytes); !link.Address.empty()) return WithNul(link.Address);
    }
    if (auto bytes = netscapeUrl()) {
      if (DraggedLink link = ParseNetscapeUrl(*bytes); !link.Address.empty()) return WithNul(link.Address);
    }
    if (auto bytes = NamedFormat(mime_, format)) return bytes;
    // A source that offers only a URI list (a Qt program's setUrls) still drags a link.
    for (const std::string& uri : uriList()) {
      if (!StartsWithNoCase(uri, "file:")) return WithNul(uri);
    }
    return std::nullopt;
  }
  if (format == kFormatFileGroupDescriptor) {
    std::optional<DraggedLink> link;
    if (auto bytes = mozUrl()) link = ParseMozUrl(*bytes);
    if (!link || !link->Title) {
      if (auto bytes = netscapeUrl()) link = ParseNetscapeUrl(*bytes);
    }
    // Without a title the browsers would name the shortcut after the address: leave that to
    // the drop target's own rule.
    if (!link || !link->Title || link->Title->empty()) return std::nullopt;
    return WithNul(*link->Title + ".url");
  }
  if (format == kFormatFileContents) return NamedFormat(mime_, format);
  if (format == kFormatText) {
    // The text of a file drag is only its list of names; the files themselves are the data.
    if (!localFiles().empty()) return std::nullopt;
    if (auto bytes = MimeBytes(mime_, QStringLiteral("text/plain"))) return WithNul(UpToNul(*bytes));
    if (auto bytes = MimeBytes(mime_, QStringLiteral("text/plain;charset=utf-8")))
      return WithNul(UpToNul(*bytes));
    return std::nullopt;
  }
  if (format == kFormatFileList) {
    const std::vector<std::string> files = localFiles();
    if (files.empty()) return std::nullopt;
    std::string list;
    for (const std::string& f : files) list += WithNul(f);
    list.push_back('\0');
    return list;
  }
  return std::nullopt;
}

}  // namespace tavimo
