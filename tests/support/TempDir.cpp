#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace tavimo::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tavimo-test.XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only test folders removable again before deleting the tree.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(path_, ec);
}

ScopedEnv::~ScopedEnv() {
  for (const auto& [name, value] : saved_) {
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
  }
}

void ScopedEnv::Remember(const std::string& name) {
  if (saved_.count(name)) return;
  const char* v = std::getenv(name.c_str());
  saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
}

void ScopedEnv::Set(const std::string& name, const std::string& value) {
  Remember(name);
  ::setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::Unset(const std::string& name) {
  Remember(name);
  ::unsetenv(name.c_str());
}

TempHome::TempHome() {
  env_.Set("HOME", dir_.Path());
  env_.Set("XDG_CONFIG_HOME", dir_ / "config");
  env_.Set("XDG_CACHE_HOME", dir_ / "cache");
  std::filesystem::create_directories(dir_ / "runtime");
  ::chmod((dir_ / "runtime").c_str(), 0700);
  env_.Set("XDG_RUNTIME_DIR", dir_ / "runtime");
  env_.Unset("http_proxy");
  env_.Unset("HTTP_PROXY");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::size_t EntriesIn(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

}  // namespace tavimo::test
