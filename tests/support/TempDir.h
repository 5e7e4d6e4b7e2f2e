#pragma once
// Test fixtures shared by the suites: a temporary folder and XDG variables pointing into it.
#include <map>
#include <optional>
#include <cstddef>
#include <string>

namespace tavimo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets environment variables for the life of the object and restores them afterwards.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const std::string& name, const std::string& value);
  void Unset(const std::string& name);

 private:
  void Remember(const std::string& name);
  std::map<std::string, std::optional<std::string>> saved_;
};

// A temporary home: HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR all inside it.
class TempHome {
 public:
  TempHome();
  const std::string& Path() const { return dir_.Path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
  ScopedEnv env_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// How many names a folder holds (nothing left behind: the count a test expects).
std::size_t EntriesIn(const std::string& dir);

}  // namespace tavimo::test
