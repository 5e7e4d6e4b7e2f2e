#include "tests/support/SessionFiles.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace tavimo::test {

std::string MozLz4(const std::string& json, std::uint32_t declared) {
  std::string out("mozLz40\0", 8);
  for (int i = 0; i < 4; ++i) out += static_cast<char>(declared >> (8 * i));
  const size_t n = json.size();
  out += static_cast<char>(std::min<size_t>(n, 15) << 4);
  if (n >= 15) {
    size_t rest = n - 15;
    for (; rest >= 255; rest -= 255) out += '\xff';
    out += static_cast<char>(rest);
  }
  return out + json;
}

std::string MozLz4(const std::string& json) { return MozLz4(json, static_cast<std::uint32_t>(json.size())); }

std::string WriteFirefoxSession(const std::string& home, const std::string& url) {
  const std::string dir = home + "/.mozilla/firefox/test.default/sessionstore-backups";
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/recovery.jsonlz4";
  WriteFile(path, MozLz4(R"({"windows":[{"selected":1,"tabs":[{"index":1,"entries":[{"url":")" + url +
                         R"("}]}]}],"selectedWindow":1})"));
  return path;
}

}  // namespace tavimo::test
