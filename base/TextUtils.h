#pragma once
// Small text operations on byte strings. Pages are mostly UTF-8 on Linux, so "lower case" means
// ASCII letters only (other bytes are left alone) and the list order is ASCII case-folded byte
// order: locale-independent, and UTF-8 sequences never change length or position.
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

// <0, 0, >0 in ASCII case-folded unsigned byte order; 0 means "the same link".
int CompareTextAscii(std::string_view a, std::string_view b);

}  // namespace tavimo
