#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavimo {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// An XDG base folder must be absolute to count; otherwise the fallback under home applies.
std::string XdgBase(const char* var, const char* fallbackUnderHome) {
  std::string v = Env(var);
  if (!v.empty() && v[0] == '/') return v;
  return HomeFolder() + "/" + fallbackUnderHome;
}

// Reads XDG_DOWNLOAD_DIR from user-dirs.dirs ("$HOME/Downloads" or an absolute path).
std::string DownloadFolder() {
  std::ifstream in(XdgBase("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DOWNLOAD_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string v = line.substr(key.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.rfind("$HOME", 0) == 0) v = HomeFolder() + v.substr(5);
    if (!v.empty() && v[0] == '/') {
      while (v.size() > 1 && v.back() == '/') v.pop_back();
      return v;
    }
  }
  return HomeFolder() + "/Downloads";
}

// The folder above the one holding the running program (<prefix> for <prefix>/bin/tavimo), so
// an installed copy finds its files wherever the prefix was put.
std::string ProgramPrefix() {
  const std::string exe = RunningProgramPath();
  const std::string::size_type slash = exe.find_last_of('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash) + "/..";
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string HomeFolder() {
  std::string h = Env("HOME");
  if (!h.empty()) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string CacheHomeFolder() { return XdgBase("XDG_CACHE_HOME", ".cache"); }

std::string ConfigHomeFolder() { return XdgBase("XDG_CONFIG_HOME", ".config"); }

std::string SettingsFilePath() { return ConfigHomeFolder() + "/tavimo/info.ini"; }

std::string RuntimeFolder() {
  std::string rt = Env("XDG_RUNTIME_DIR");
  if (!rt.empty() && rt[0] == '/') return rt + "/tavimo";
  return XdgBase("XDG_CACHE_HOME", ".cache") + "/tavimo";
}

std::string LinkListFilePath() { return RuntimeFolder() + "/swf.txt"; }

std::string DefaultRootFolder() { return DownloadFolder() + "/flash"; }

std::string DefaultDownloadRoot() { return DefaultRootFolder() + "/"; }

std::string InstanceLockPath() {
  std::string rt = Env("XDG_RUNTIME_DIR");
  if (!rt.empty() && rt[0] == '/') return rt + "/tavimo.lock";
  return "/tmp/tavimo-" + std::to_string(::getuid()) + ".lock";
}

std::string HelpPagePath() {
#ifdef TAVIMO_RELATIVE_HELP
  if (const std::string prefix = ProgramPrefix(); !prefix.empty()) {
    const std::string beside = prefix + "/" TAVIMO_RELATIVE_HELP;
    if (::access(beside.c_str(), R_OK) == 0) return beside;
  }
#endif
#ifdef TAVIMO_INSTALLED_HELP
  if (::access(TAVIMO_INSTALLED_HELP, R_OK) == 0) return TAVIMO_INSTALLED_HELP;
#endif
#ifdef TAVIMO_SOURCE_HELP
  if (::access(TAVIMO_SOURCE_HELP, R_OK) == 0) return TAVIMO_SOURCE_HELP;
#endif
  return {};
}

std::string RunningProgramPath() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool EnsureFolder(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) EnsureFolder(path.substr(0, slash), mode);
  if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

}  // namespace tavimo
