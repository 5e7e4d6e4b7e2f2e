#pragma once
// The settings file format: "[section]" lines followed by "key=value" lines. Section and key
// names match without regard to letter case; values are read up to 2047 characters.
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

}  // namespace tavimo
