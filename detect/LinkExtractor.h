#pragma once
// Finds the Flash movies and the "<iframe" pages a scanned text refers to.
//
// Both scanners search the text lower-cased (ASCII letters only), but every piece that goes into
// a result is copied from the original text at the same place, because servers on Linux are
// case-sensitive. CR, LF and TAB inside a name or the page address are dropped, as browsers do
// in URLs, so a link never spans two lines of the link list file. A name that starts with "//"
// takes the scheme of the page address; one that starts with a single "/" is joined to the page
// address's origin; an https page address resolves relative names like an http one.
//
// Choices where a text is cut short:
// - A frame tag whose text ends before its source begins, or whose source has no closing quote
//   of the kind in use, yields nothing; the scan goes on with the next tag from where it
//   stopped (so a later tag that switches the quote kind can still be read), and simply ends
//   when the text does.
// - The scheme for a "//" name is read from the page address cut at its first "?", so that a
//   query holding "://" can never pose as a scheme.
//
// Work is linear in the text plus n log n in the number of links found.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo {

class ELinkListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The Flash links of pageText made absolute against pageAddress, in link list order.
// withQuery adds the rule that is off by default: a reference whose ".swf" is followed by a
// query or fragment up to its closing quote ("movie.swf?xml=config.xml", 'game.swf#start')
// counts, with its query.
std::vector<std::string> SwfLinkList(std::string_view pageText, std::string_view pageAddress,
                                     bool withQuery = false);

// Writes SwfLinkList(...) to linkListPath, one link per line, each line ended by CR LF (an empty
// list gives an empty file). The file is replaced whole: a reader sees the old list or the new
// one. Throws ELinkListError naming the file and the reason; the old file then stays.
void ExtractSwfLinks(std::string_view pageText, std::string_view pageAddress, const std::string& linkListPath,
                     bool withQuery = false);
// The same, to the user's link list file (LinkListFilePath()), creating its folder when needed.
void ExtractSwfLinks(std::string_view pageText, std::string_view pageAddress, bool withQuery = false);

// The addresses of the pages that pageText embeds with "<iframe", resolved against pageAddress.
std::vector<std::string> ExtractFrameLinks(std::string_view pageText, std::string_view pageAddress);

}  // namespace tavimo
