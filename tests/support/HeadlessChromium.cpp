#include "tests/support/HeadlessChromium.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace tavimo::test {

namespace fs = std::filesystem;

namespace {

// Variables the child gets from us instead of from the test's environment.
bool Overridden(std::string_view entry) {
  for (std::string_view name :
       {"HOME=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "DBUS_SESSION_BUS_ADDRESS=", "http_proxy=",
        "https_proxy=", "HTTP_PROXY=", "HTTPS_PROXY=", "all_proxy=", "no_proxy="}) {
    if (entry.substr(0, name.size()) == name) return true;
  }
  return false;
}

std::vector<std::string> ChildEnvironment(const std::string& home) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (!Overridden(*e)) env.emplace_back(*e);
  }
  env.push_back("HOME=" + home);
  env.push_back("XDG_CONFIG_HOME=" + home + "/config");
  env.push_back("XDG_CACHE_HOME=" + home + "/cache");
  // No session bus in the test: without this chromium logs a screenful of dbus errors.
  env.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// The browser's last words that say something (its dbus and wrapper noise left out).
std::string LogTail(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.find("dbus") != std::string::npos ||
        line.find("unexpected operator") != std::string::npos)
      continue;
    lines.push_back(line);
  }
  std::string tail;
  for (std::size_t i = lines.size() > 4 ? lines.size() - 4 : 0; i < lines.size(); ++i)
    tail += "\n  " + lines[i];
  return tail;
}

// The text of the printed page's <title> element ("" without one).
std::string TitleOf(const std::string& dom) {
  const auto start = dom.find("<title>");
  if (start == std::string::npos) return {};
  const auto end = dom.find("</title>", start);
  return dom.substr(start + 7, end == std::string::npos ? std::string::npos : end - start - 7);
}

}  // namespace

std::string ChromiumProgram() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/chromium";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string ChromiumProfileFolder(const std::string& home) { return home + "/config/chromium"; }

std::string ChromiumCacheFolder(const std::string& home) {
  return home + "/cache/chromium/Default/Cache/Cache_Data";
}

std::vector<std::string> ChromiumCommand(const std::string& home, const std::string& pageUrl) {
  return {ChromiumProgram(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
          "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
          // Everything but loopback goes to a closed port: nothing leaves the machine. Chromium
          // never sends loopback through a proxy, so no bypass list is needed (and "<-loopback>"
          // would send it there).
          "--proxy-server=http://127.0.0.1:9",
          // Headless chromium keeps a throw-away profile unless given one; a profile folder
          // under XDG_CONFIG_HOME puts its cache at the same place under XDG_CACHE_HOME.
          "--user-data-dir=" + ChromiumProfileFolder(home),
          // Virtual time stands still while fetches are pending, so the budget is spent only
          // on the page's own timers; then the page is printed and the browser ends cleanly,
          // which writes the cache entries out whole.
          "--virtual-time-budget=10000", "--dump-dom", pageUrl};
}

bool FillChromiumCache(const std::string& home, const std::string& pageUrl, const std::string& doneText,
                       std::string& error, std::chrono::seconds limit) {
  if (ChromiumProgram().empty()) {
    error = "chromium is not installed";
    return false;
  }
  std::error_code ec;
  fs::create_directories(home, ec);
  const std::string outPath = home + "/chromium-run.out";
  const std::string errPath = home + "/chromium-run.err";
  std::vector<std::string> args = ChromiumCommand(home, pageUrl);
  std::vector<std::string> env = ChildEnvironment(home);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  const pid_t pid = ::fork();
  if (pid < 0) {
    error = "fork failed";
    return false;
  }
  if (pid == 0) {
    // Its own process group, so that the browser's helpers can be ended with it.
    ::setpgid(0, 0);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::setpgid(pid, pid);  // also here: no window in which the group does not exist yet

  const int code = WaitExit(pid, limit);
  if (code == -1) {
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  ::kill(-pid, SIGKILL);  // helpers that outlived the browser, if any
  const std::string dom = ReadFile(outPath);
  const std::string log = ReadFile(errPath);
  fs::remove(outPath, ec);
  fs::remove(errPath, ec);

  if (code == -1) {
    error =
        "chromium did not end within " + std::to_string(limit.count()) + " s on " + pageUrl + LogTail(log);
    return false;
  }
  if (code != 0) {
    error = "chromium ended with code " + std::to_string(code) + " on " + pageUrl + LogTail(log);
    return false;
  }
  // The title only: the script that sets it holds the same words.
  const std::string title = TitleOf(dom);
  if (title.find(doneText) == std::string::npos) {
    error = "the page " + pageUrl + " did not reach \"" + doneText + "\" in its title: \"" + title + "\"" +
            LogTail(log);
    return false;
  }
  return true;
}

std::vector<std::string> ChromiumEntryFiles(const std::string& home) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(ChromiumCacheFolder(home), ec)) {
    const std::string name = e.path().filename().string();
    const auto hex = [](unsigned char c) { return std::isxdigit(c) != 0; };
    if (name.size() == 18 && name.compare(16, 2, "_0") == 0 &&
        std::all_of(name.begin(), name.begin() + 16, hex))
      files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void RemoveChromiumFolders(const std::string& home) {
  std::error_code ec;
  fs::remove_all(ChromiumProfileFolder(home), ec);
  fs::remove_all(home + "/cache/chromium", ec);
}

std::string FetchAllScript(const std::string& urls) {
  return "Promise.all(" + urls +
         ".map(u => fetch(u).then(r => {\n"
         "    if (!r.ok) throw u + ' ' + r.status;\n"
         "    return r.arrayBuffer();\n"
         "  })))\n"
         "  .then(() => { document.title = 'movies fetched'; },\n"
         "        e => { document.title = 'fetch failed ' + e; });\n";
}

}  // namespace tavimo::test
