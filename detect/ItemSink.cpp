#include "detect/ItemSink.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/TextUtils.h"

namespace tavimo {

std::string DefaultSaveAsName(const std::string& url) { return url.substr(LastPos('/', url)); }

std::string QuerySaveAsName(const std::string& url) {
  const std::size_t query = std::min(FindNoCase(url, ".swf?"), FindNoCase(url, ".swf#"));
  return DefaultSaveAsName(query == std::string::npos ? url : url.substr(0, query + 4));
}

void AppendLinkList(ItemSink& sink, const std::string& linkListFile, bool withQuery) {
  auto name = [withQuery](const std::string& line) {
    return withQuery ? QuerySaveAsName(line) : DefaultSaveAsName(line);
  };
  std::ifstream file(linkListFile, std::ios::binary);
  if (!file) return;
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    const std::string line = bytes.substr(start, i - start);
    sink.AppendItem(line, name(line));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) {
    const std::string line = bytes.substr(start);
    sink.AppendItem(line, name(line));
  }
}

}  // namespace tavimo
