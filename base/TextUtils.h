#pragma once
// The one set of small text operations on byte strings. Pages are mostly UTF-8 on Linux, so
// "lower case" means ASCII letters only (other bytes are left alone) and the list order is ASCII
// case-folded byte order: locale-independent (the C library's tolower follows the user's locale
// once Qt has set it), and UTF-8 sequences never change length or position.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo {

// 1-based position of the last c in s; 0 when absent and for any s shorter than two characters.
std::size_t LastPos(char c, std::string_view s);
// Non-overlapping occurrences of t in s, counted from the left; 0 for an empty t or s.
std::size_t CountOf(std::string_view t, std::string_view s);

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
std::string AsciiLowerCopy(std::string_view s);

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlpha(char c) { return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z'; }
constexpr bool IsAsciiAlnum(char c) { return IsAsciiDigit(c) || IsAsciiAlpha(c); }
constexpr bool IsAsciiHexDigit(char c) {
  return IsAsciiDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f');
}
// The value of a hexadecimal digit of either case; -1 for any other byte.
constexpr int AsciiHexValue(char c) {
  return IsAsciiDigit(c) ? c - '0' : IsAsciiHexDigit(c) ? AsciiLower(c) - 'a' + 10 : -1;
}

// Comparisons with ASCII letters folded on both sides.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// s without the leading and/or trailing bytes found in blanks (space and tab unless told: the
// blanks of HTTP fields and of the files we read).
inline constexpr std::string_view kSpaceTab = " \t";
std::string_view TrimLeft(std::string_view s, std::string_view blanks = kSpaceTab);
std::string_view TrimRight(std::string_view s, std::string_view blanks = kSpaceTab);
std::string_view Trim(std::string_view s, std::string_view blanks = kSpaceTab);
// s without leading and trailing bytes up to the space, control characters included (the
// Pascal Trim of the settings file's values).
std::string_view TrimControls(std::string_view s);

// Position (0-based) of the first occurrence of lowerNeedle in hay at or after from, comparing
// hay ASCII-lower-cased; npos when none. lowerNeedle must already be lower-case.
std::size_t FindNoCase(std::string_view hay, std::string_view lowerNeedle, std::size_t from = 0);
inline bool ContainsNoCase(std::string_view hay, std::string_view lowerNeedle) {
  return FindNoCase(hay, lowerNeedle) != std::string_view::npos;
}

// Appends to found the positions of lowerNeedle in hay that start in [from, to), left to right,
// not overlapping (with what found already ends with either), and returns true; stops and
// returns false as soon as lowerStop starts there. One pass over that part of hay.
bool FindAllNoCase(std::string_view hay, std::string_view lowerNeedle, std::string_view lowerStop,
                   std::vector<std::size_t>& found, std::size_t from = 0,
                   std::size_t to = std::string_view::npos);

// Takes the first line off text, as a Windows program reads lines: ended by CR, LF or CR LF (the
// break is not part of the line). A break at the very end starts no further line.
std::string_view NextLine(std::string_view& text);

// <0, 0, >0 in ASCII case-folded unsigned byte order; 0 means "the same link".
int CompareTextAscii(std::string_view a, std::string_view b);

}  // namespace tavimo
