#pragma once
// The settings file format: "[section]" lines followed by "key=value" lines. Section and key
// names match without regard to letter case; values are read up to 2047 characters.
//
// TIniFile names a file and holds no data between calls: every read parses the file as it is
// now. Writes collect in a pending edit that UpdateFile() applies to the file as it is at that
// moment and replaces the file atomically, so other programs' sections and keys survive and a
// crash leaves the old file or the new one.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo {

class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The parsed form of an INI text; keeps every line so unknown content survives a rewrite.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);
  std::string Serialize() const;

  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  // Replaces the first occurrence of the key in the first matching section, or appends the
  // key at the end of that section, or appends a new section at the end of the document.
  void Set(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct Line {
    std::string text;     // the line as read, or as written by Set
    std::string section;  // lower-cased section name of a section line, else empty
    std::string key;      // lower-cased key of a key line, else empty
    bool isSection = false;
  };
  std::vector<Line> lines_;
};

// Delphi-style lenient integer: optional sign, then decimal digits, or hex digits after "$",
// or after "0x"/"0X" when the whole value is longer than two characters. Anything else:
// nullopt. Surrounding blanks are ignored.
std::optional<int> ParseLenientInteger(std::string_view text);

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
