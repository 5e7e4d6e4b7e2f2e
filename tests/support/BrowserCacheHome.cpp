#include "tests/support/BrowserCacheHome.h"

#include <filesystem>

#include "tests/support/ChromiumEntryWriter.h"

namespace tavimo::test {

namespace fs = std::filesystem;

BrowserCacheHome::BrowserCacheHome(const std::string& samples) {
  const std::string cache = home_ / "cache";
  chromium_ = cache + "/chromium/Default/Cache/Cache_Data";
  const std::string ff153 = cache + "/mozilla/firefox/x1.default-esr/cache2/entries";
  const std::string ff140 = cache + "/mozilla/firefox/y2.old/cache2/entries";
  for (const auto& [from, to] : {std::pair{"/chromium-156/cache/Cache_Data", chromium_},
                                 std::pair{"/firefox-153esr/cache2/entries", ff153},
                                 std::pair{"/firefox-140esr/cache2/entries", ff140}}) {
    fs::create_directories(to);
    fs::copy(samples + from, to, fs::copy_options::recursive);
  }
  const std::string c = ReadFile(chromium_ + "/26f0b81d8a9f991a_0");
  WriteFile(chromium_ + "/00000000000000aa_0", c.substr(0, c.size() - 30));
  std::string damaged = c;
  damaged[c.size() - 200] ^= 0x20;
  WriteFile(chromium_ + "/00000000000000bb_0", damaged);
}

std::string BrowserCacheHome::Plant(const std::string& url, const std::string& body,
                                    const std::string& headers, std::int64_t responseTime) const {
  ChromiumEntry e{.url = url, .key = "", .body = body, .head = "HTTP/1.1 200 OK\r\n" + headers};
  e.requestTime = e.responseTime = responseTime;
  return WriteChromiumEntry(chromium_, e);
}

}  // namespace tavimo::test
