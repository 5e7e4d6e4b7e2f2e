#pragma once
// A deliberately plain version of the link scanners, written step by step the way the scan is
// described (1-based positions, copies of the rest of the text, a sort before every addition),
// slow but easy to check by eye. The fast scanners must give byte-identical results.
#include <string>
#include <string_view>
#include <vector>

namespace tavimo::reference {

std::size_t LastPos(char c, const std::string& s);
std::size_t CountOf(const std::string& t, const std::string& s);
std::vector<std::string> SwfLinkList(const std::string& pageText, const std::string& pageAddress);
std::vector<std::string> FrameLinks(const std::string& pageText, const std::string& pageAddress);
// The lines a memo holds after loading these bytes.
std::vector<std::string> MemoLines(const std::string& bytes);

}  // namespace tavimo::reference
