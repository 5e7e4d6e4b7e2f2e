#include "detect/LinkExtractor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "base/TextUtils.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tavimo {
namespace {

constexpr auto npos = std::string_view::npos;

// Browsers drop line breaks and tabs inside a URL; so do we, so a link never spans two lines
// of the link list file. The result lives in buffer (reused from name to name).
std::string_view CleanName(std::string_view name, std::string& buffer) {
  if (std::none_of(name.begin(), name.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; })) {
    return name;
  }
  buffer.clear();
  for (char c : name) {
    if (c != '\r' && c != '\n' && c != '\t') buffer += c;
  }
  return buffer;
}

// The rule by which links join the result: a link equal to one already there (letter case
// aside) is dropped. The list is re-sorted before every addition and the new link appended
// unsorted, so the final order is: all links sorted, except that the last one appended stays at
// the end when the last addition appended it. Sorting once at the end gives that same order.
// Links and their lower-cased keys live in two parallel buffers with an open-addressing index
// over them: a page can bring tens of thousands of links, and a heap node or two per link
// would cost more than the scan itself.
class LinkCollector {
 public:
  // Adds the link made of parts, with "http://" in front when httpWhenHostless is set and the
  // parts hold fewer than two "/" (a bare host).
  void Add(std::initializer_list<std::string_view> parts, bool httpWhenHostless = false) {
    const std::size_t offset = text_.size();
    std::size_t slashes = 0;
    for (auto part : parts) {
      if (httpWhenHostless && slashes < 2) slashes += CountOf("/", part);
    }
    if (httpWhenHostless && slashes < 2) text_ += "http://";
    for (auto part : parts) text_ += part;
    const std::size_t size = text_.size() - offset;
    keys_.resize(text_.size());
    std::transform(text_.begin() + static_cast<std::ptrdiff_t>(offset), text_.end(),
                   keys_.begin() + static_cast<std::ptrdiff_t>(offset), AsciiLower);
    const std::string_view key = std::string_view(keys_).substr(offset);
    const std::size_t hash = std::hash<std::string_view>{}(key);
    if (2 * (links_.size() + 1) > slots_.size()) Rehash(slots_.empty() ? 64 : 2 * slots_.size());
    std::size_t slot = hash & (slots_.size() - 1);
    for (; slots_[slot] != 0; slot = (slot + 1) & (slots_.size() - 1)) {
      if (Tag(slots_[slot]) == Tag(hash) && KeyOf(links_[Index(slots_[slot])]) == key) {
        text_.resize(offset);
        keys_.resize(offset);
        lastAdded_ = false;
        return;
      }
    }
    slots_[slot] = Slot(hash, links_.size());
    links_.push_back({hash, offset, size});
    lastAdded_ = true;
  }

  // Room for about the links a text of textSize bytes brings, so a big page does not copy its
  // buffers again and again while they grow. Reserving touches no memory.
  void ExpectText(std::size_t textSize) {
    text_.reserve(textSize / 32);
    keys_.reserve(textSize / 32);
    links_.reserve(textSize / 1024);
  }

  std::vector<std::string> Finish() const {
    std::vector<std::string> out;
    out.reserve(links_.size());
    for (const Piece& p : Order()) out.emplace_back(LinkOf(links_[p.index]));
    return out;
  }

  // The links in list order, each followed by CR LF: the link list file.
  std::string FinishAsLines() const {
    std::string out;
    out.reserve(text_.size() + 2 * links_.size());
    for (const Piece& p : Order()) {
      out += LinkOf(links_[p.index]);
      out += "\r\n";
    }
    return out;
  }

 private:
  struct Entry {
    std::size_t hash, offset, size;  // the link is text_[offset, offset + size), its key in keys_
  };
  struct Piece {
    std::uint64_t bytes = 0;  // 8 key bytes from the current depth, big-endian, 0-padded
    std::uint32_t index = 0;  // into links_
  };
  std::string_view KeyOf(const Entry& e) const { return std::string_view(keys_).substr(e.offset, e.size); }
  std::string_view LinkOf(const Entry& e) const { return std::string_view(text_).substr(e.offset, e.size); }

  std::vector<Piece> Order() const {
    std::vector<Piece> order(links_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i].index = static_cast<std::uint32_t>(i);
    SortByKey(order.data(), order.data() + order.size() - (lastAdded_ ? 1 : 0), 0);
    return order;
  }

  // Keys are lower-cased, so plain (unsigned byte) order is the list order. Links of a page
  // share long beginnings ("http://cdn.example.com/..."), which whole-key comparisons would
  // read again and again: sort by 8-byte pieces instead, taking the next piece only where
  // keys tie, and compare whole keys only past a depth real links rarely reach.
  std::string_view KeyOf(const Piece& p) const { return KeyOf(links_[p.index]); }

  void SortByKey(Piece* first, Piece* last, std::size_t depth) const {
    if (last - first < 2) return;
    // Skip at once what all keys of the range share (the host, usually).
    const std::string_view firstKey = KeyOf(*first);
    std::size_t common = firstKey.size();
    for (const Piece* p = first + 1; p != last && common > depth; ++p) {
      const std::string_view key = KeyOf(*p);
      const std::size_t n = std::min(common, key.size());
      std::size_t i = depth;
      while (i < n && key[i] == firstKey[i]) ++i;
      common = i;
    }
    depth = std::max(depth, common);
    if (depth >= 64) {
      std::sort(first, last, [this](const Piece& a, const Piece& b) { return KeyOf(a) < KeyOf(b); });
      return;
    }
    for (Piece* p = first; p != last; ++p) {
      const std::string_view key = KeyOf(*p);
      std::uint64_t v = 0;
      for (std::size_t i = depth; i < depth + 8; ++i) {
        v = (v << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
      }
      p->bytes = v;
    }
    std::sort(first, last, [](const Piece& a, const Piece& b) { return a.bytes < b.bytes; });
    for (Piece* run = first; run != last;) {
      Piece* end = run + 1;
      while (end != last && end->bytes == run->bytes) ++end;
      // Within a tie, a key that ends inside this piece is a beginning of the longer ones.
      Piece* longer =
          std::partition(run, end, [&](const Piece& p) { return links_[p.index].size <= depth + 8; });
      std::sort(run, longer, [this](const Piece& a, const Piece& b) {
        return links_[a.index].size < links_[b.index].size;
      });
      SortByKey(longer, end, depth + 8);
      run = end;
    }
  }
  // A slot holds index + 1 in its low half (0 = free) and the upper half of the link's hash, so
  // a probe rarely has to look at the link itself.
  static std::uint64_t Tag(std::uint64_t hashOrSlot) { return hashOrSlot >> 32; }
  static std::size_t Index(std::uint64_t slot) { return static_cast<std::size_t>((slot & 0xffffffffu) - 1); }
  static std::uint64_t Slot(std::size_t hash, std::size_t index) {
    return (static_cast<std::uint64_t>(hash) & ~std::uint64_t{0xffffffffu}) | (index + 1);
  }
  void Rehash(std::size_t slots) {
    slots_.assign(slots, 0);
    for (std::size_t i = 0; i < links_.size(); ++i) {
      std::size_t slot = links_[i].hash & (slots_.size() - 1);
      while (slots_[slot] != 0) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = Slot(links_[i].hash, i);
    }
  }

  std::vector<Entry> links_;
  std::string text_, keys_;
  std::vector<std::uint64_t> slots_;
  bool lastAdded_ = false;
};

// What the page address contributes to a link, worked out once per scan. Every use of the
// address takes it cut at its first "?", so a "/" in the query never counts.
struct PageAddress {
  explicit PageAddress(std::string_view typed) {
    // Line breaks and tabs go from the address as from names: no link may span two lines.
    std::string buffer;
    const std::string_view address = CleanName(typed, buffer);
    cut = std::string(address.substr(0, address.find('?')));
    const std::size_t sep = cut.find("://");
    scheme = sep == npos ? "http" : cut.substr(0, sep);
    const std::size_t slash = cut.find('/', sep == npos ? 0 : sep + 3);
    origin = cut.substr(0, slash);
    const std::size_t last = LastPos('/', cut);
    // Where a bare host ends for Flash links: right after "http://" or "https://" (any case).
    const std::size_t http = FindNoCase(cut, "http://"), https = FindNoCase(cut, "https://");
    std::size_t hostSlash = 6;
    if (http != npos && (https == npos || http < https)) hostSlash = http + 1 + 6;
    else if (https != npos) hostSlash = https + 1 + 7;
    swfFolder = (last == hostSlash || last == 0) ? cut + "/" : cut.substr(0, last);
    const std::size_t frameHostSlash = (sep == npos ? 0 : sep + 1) + 2;
    frameFolder = last == frameHostSlash ? cut + "/" : cut.substr(0, last);
  }
  std::string cut, scheme, origin, swfFolder, frameFolder;
};

void AddSwf(LinkCollector& links, std::string_view name, std::string_view ext, const PageAddress& page) {
  if (name.starts_with("//")) return links.Add({page.scheme, ":", name, ext});
  if (name.starts_with("/")) return links.Add({page.origin, name, ext}, true);
  if (ContainsNoCase(name, "www") || name.find("://") != npos) return links.Add({name, ext});
  links.Add({page.swfFolder, name, ext}, true);
}

void AddFrame(LinkCollector& links, std::string_view name, const PageAddress& page) {
  if (name.starts_with("//")) return links.Add({page.scheme, ":", name});
  if (name.starts_with("/")) return links.Add({page.origin, name});
  if (ContainsNoCase(name, "www") || name.find("://") != npos) return links.Add({name});
  links.Add({page.frameFolder, name});
}

// A page naming fullscreen="yes" gives one raw entry: from the first "src=" up to the first
// ".swf", unresolved (empty when ".swf" does not come after "src=").
std::string FullscreenItem(std::string_view text) {
  const std::size_t src = FindNoCase(text, "src="), swf = FindNoCase(text, ".swf");
  const std::size_t ps = src == npos ? 0 : src + 1, pw = swf == npos ? 0 : swf + 1;
  if (pw <= ps || ps + 3 >= text.size()) return {};
  std::string buffer;
  return std::string(CleanName(text.substr(ps + 3, pw - ps), buffer));
}

// Finds a needle at or after a position that only ever moves forward; a search result is
// reused until the position passes it, so all searches together read the text once.
class ForwardFinder {
 public:
  ForwardFinder(std::string_view text, std::string_view lowerNeedle) : text_(text), needle_(lowerNeedle) {}
  std::size_t From(std::size_t pos) {
    if (!searched_ || pos < from_ || (at_ != npos && at_ < pos)) {
      at_ = FindNoCase(text_, needle_, pos);
      from_ = pos;
      searched_ = true;
    }
    return at_;
  }

 private:
  std::string_view text_, needle_;
  bool searched_ = false;
  std::size_t from_ = 0, at_ = npos;
};

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The longest query or fragment the query rule takes after ".swf".
constexpr std::size_t kMaxQuery = 2048;

// Scans text for Flash references into links; returns false, with the raw entry in fullscreen,
// when the fullscreen attribute overrides them.
bool ScanSwf(std::string_view text, std::string_view pageAddress, LinkCollector& links,
             std::string& fullscreen, bool withQuery) {
  const PageAddress page(pageAddress);
  std::string buffer;
  std::vector<std::size_t> swfs;
  swfs.reserve(text.size() / 1024);
  links.ExpectText(text.size());
  // The text is searched a window at a time and each window's references are resolved while
  // it is still in the cache. A fullscreen attribute anywhere overrides all references.
  constexpr std::size_t kWindow = 256 * 1024;
  std::size_t segment = 0, done = 0;
  for (std::size_t from = 0; from < text.size(); from += kWindow) {
    if (!FindAllNoCase(text, ".swf", "fullscreen=\"yes\"", swfs, from, from + kWindow)) {
      fullscreen = FullscreenItem(text);
      return false;
    }
    // Each ".swf" is looked at once; a name never reaches back past the previous ".swf" and
    // the spaces that followed it.
    for (; done < swfs.size(); ++done) {
      const std::size_t p = swfs[done];
      if (p < segment) continue;  // inside the query of the reference before
      std::size_t after = p + 4, end = p + 4;
      if (withQuery && after < text.size() && (text[after] == '?' || text[after] == '#')) {
        // "movie.swf?xml=config.xml": the reference runs to its closing quote, on one line.
        std::size_t q = after;
        while (q < text.size() && q - after < kMaxQuery && !IsQuote(text[q]) &&
               std::string_view(" <>\r\n\t").find(text[q]) == npos) {
          ++q;
        }
        if (q < text.size() && IsQuote(text[q])) after = end = q;
      }
      while (after < text.size() && text[after] == ' ') ++after;
      if (after < text.size() && IsQuote(text[after])) {
        const std::string_view before = text.substr(segment, p - segment);
        const std::size_t open = LastPos(text[after], before);
        AddSwf(links, CleanName(before.substr(open), buffer), text.substr(p, end - p), page);
      }
      segment = after;
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> SwfLinkList(std::string_view text, std::string_view pageAddress, bool withQuery) {
  LinkCollector links;
  std::string fullscreen;
  if (!ScanSwf(text, pageAddress, links, fullscreen, withQuery)) return {fullscreen};
  return links.Finish();
}

std::vector<std::string> ExtractFrameLinks(std::string_view text, std::string_view pageAddress) {
  std::vector<std::size_t> tags;
  for (std::size_t p = FindNoCase(text, "<iframe"); p != npos; p = FindNoCase(text, "<iframe", p + 7)) {
    tags.push_back(p);
  }
  if (tags.empty()) return {};
  const PageAddress page(pageAddress);
  LinkCollector links;
  ForwardFinder src(text, "src"), singleQuote(text, "'"), doubleQuote(text, "\"");
  std::string buffer;
  const std::size_t n = text.size();
  std::size_t cur = 0;
  char quote = '\'';
  auto skip = [&](std::string_view blanks) {
    while (cur < n && blanks.find(text[cur]) != npos) ++cur;
  };
  for (std::size_t round = 0; round < tags.size(); ++round) {
    // A tag swallowed by an earlier one's "src" search leaves fewer tags than rounds; such a
    // round skips as far as a found tag would have taken it.
    const auto tag = std::lower_bound(tags.begin(), tags.end(), cur);
    cur = tag != tags.end() ? *tag + 7 : std::min(cur + 6, n);
    const std::size_t s = src.From(cur);
    cur = s != npos ? s + 3 : std::min(cur + 2, n);
    skip(" ");
    if (cur < n && text[cur] == '=') ++cur;
    skip(" \r\n");
    if (cur < n) {
      if (IsQuote(text[cur])) quote = text[cur];
      ++cur;
    }
    skip(" ");
    const std::size_t close = (quote == '"' ? doubleQuote : singleQuote).From(cur);
    if (close == npos) continue;
    std::size_t end = close;
    while (end > cur && (text[end - 1] == ' ' || text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
    AddFrame(links, CleanName(text.substr(cur, end - cur), buffer), page);
    cur = end;
  }
  return links.Finish();
}

void ExtractSwfLinks(std::string_view pageText, std::string_view pageAddress, const std::string& linkListPath,
                     bool withQuery) {
  LinkCollector links;
  std::string fullscreen;
  const std::string lines = ScanSwf(pageText, pageAddress, links, fullscreen, withQuery)
                                ? links.FinishAsLines()
                                : fullscreen + "\r\n";
  if (!WriteFileAtomically(linkListPath, lines)) {
    const int err = errno;
    throw ELinkListError("Cannot create file " + linkListPath + ": " + std::strerror(err));
  }
}

void ExtractSwfLinks(std::string_view pageText, std::string_view pageAddress, bool withQuery) {
  const std::string path = LinkListFilePath();
  EnsureFolder(path.substr(0, path.rfind('/')));
  ExtractSwfLinks(pageText, pageAddress, path, withQuery);
}

}  // namespace tavimo
