// The capture of the front browser's address from a Chromium session log of 20,000 navigations
// of one tab followed by 20,000 prunes of its history (about 1 MB), the shape that once took
// most of a minute to replay. The log is written into a private home; each run finds the newest
// session file, reads and replays it, as showing the window does.
// Prints "<file bytes> <best ms> <median ms> <runs>".
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <vector>

#include "sources/session/BrowserSession.h"

namespace {

std::string I32(std::initializer_list<std::int32_t> values) {
  std::string out;
  for (std::int32_t v : values) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xff);
  }
  return out;
}

std::string Record(std::uint8_t id, const std::string& payload) {
  const auto size = static_cast<std::uint16_t>(payload.size() + 1);
  return std::string{static_cast<char>(size & 0xff), static_cast<char>(size >> 8), static_cast<char>(id)} +
         payload;
}

std::string Navigation(std::int32_t tab, std::int32_t index, const std::string& url) {
  std::string body = I32({tab, index, static_cast<std::int32_t>(url.size())}) + url;
  body.resize((body.size() + 3) / 4 * 4, '\0');
  body += I32({0});  // title
  return Record(6, I32({static_cast<std::int32_t>(body.size())}) + body);
}

}  // namespace

int main() {
  const std::string home =
      std::filesystem::temp_directory_path() / ("tavimo-sessionbench." + std::to_string(::getpid()));
  const std::string folder = home + "/config/chromium/Default/Sessions";
  std::filesystem::create_directories(folder);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);

  const int n = 20000;
  std::string log = "SNSS" + I32({3}) + Record(0, I32({1, 7})) + Record(8, I32({1, 0}));
  for (int i = 0; i < n; ++i) log += Navigation(7, i, "https://e.com/p/" + std::to_string(i) + ".htm");
  for (int i = 0; i < n - 1; ++i) log += Record(24, I32({7, 0, 1}));  // prune the front entry
  log += Record(7, I32({7, 0}));
  std::ofstream(folder + "/Session_13441102386280971", std::ios::binary) << log;

  std::vector<double> ms;
  std::string address;
  for (int run = 0; run < 20; ++run) {
    const auto start = std::chrono::steady_clock::now();
    address = tavimo::CaptureFrontBrowserAddress().value_or("");
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::filesystem::remove_all(home);
  if (address != "https://e.com/p/" + std::to_string(n - 1) + ".htm") {
    std::fprintf(stderr, "bench_session_capture: wrong address \"%s\"\n", address.c_str());
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%zu %.2f %.2f %zu\n", log.size(), ms.front(), ms[ms.size() / 2], ms.size());
  return 0;
}
