#pragma once
// The settings file (base/IniDocument.h has its format).
//
// TIniFile names a file and holds no data between calls: every read parses the file as it is
// now. Writes collect in a pending edit that UpdateFile() applies to the file as it is at that
// moment and replaces the file atomically, so other programs' sections and keys survive and a
// crash leaves the old file or the new one.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/IniDocument.h"

namespace tavimo {

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  int ReadInteger(std::string_view section, std::string_view key, int def) const;

  // A section, key or value holding CR or LF raises "Unable to write to %s" and drops the
  // pending writes, so nothing of this save reaches the file.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  // Applies the pending writes in the order they were made. On failure raises
  // "Unable to write to %s" (file name for %s); the file then stays as it was.
  void UpdateFile();

  // The pending writes, oldest first (section, key, value); tests read the order from here.
  struct Write {
    std::string section, key, value;
  };
  const std::vector<Write>& PendingWrites() const { return pending_; }

  // Runs after the new content is on disk and before it replaces the file (tests interrupt
  // a save there).
  void SetBeforeReplaceHook(std::function<void()> hook) { beforeReplace_ = std::move(hook); }

 private:
  std::string fileName_;
  std::function<void()> beforeReplace_;
  std::vector<Write> pending_;
};

}  // namespace tavimo
