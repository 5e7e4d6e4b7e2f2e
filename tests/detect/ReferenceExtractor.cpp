#include "tests/detect/ReferenceExtractor.h"

#include <algorithm>

namespace tavimo::reference {
namespace {

constexpr std::size_t kRest = std::string::npos;

// 1-based helpers in the shape the steps are written in.
std::size_t Pos(const std::string& sub, const std::string& s) {
  const std::size_t at = s.find(sub);
  return at == std::string::npos ? 0 : at + 1;
}
std::string Copy(const std::string& s, std::size_t index, std::size_t count) {
  if (index < 1) index = 1;
  if (index > s.size()) return {};
  return s.substr(index - 1, count);
}
std::string CopyN(const std::string& s, std::size_t index, long long count) {
  return count <= 0 ? std::string() : Copy(s, index, static_cast<std::size_t>(count));
}
std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}
std::string StripBreaks(std::string s) {
  std::erase_if(s, [](char c) { return c == '\r' || c == '\n' || c == '\t'; });
  return s;
}
bool First(const std::string& s, const std::string& chars) {
  return !s.empty() && chars.find(s[0]) != std::string::npos;
}
// Removes the first character of both copies of the text.
void DeleteFirst(std::string& data, std::string& odata) {
  data.erase(0, 1);
  odata.erase(0, 1);
}
void CutAtQuery(std::string& base) {
  if (const std::size_t q = Pos("?", base)) base = Copy(base, 1, q - 1);
}
std::string Scheme(std::string base) {
  CutAtQuery(base);
  const std::size_t k = Pos("://", base);
  return k > 0 ? Copy(base, 1, k - 1) : "http";
}
std::string Origin(const std::string& base) {
  const std::size_t k = Pos("://", base);
  if (k > 0) {
    const std::size_t s = Pos("/", Copy(base, k + 3, kRest));
    return s > 0 ? Copy(base, 1, k + 1 + s) : base;
  }
  const std::size_t s = Pos("/", base);
  return s > 0 ? Copy(base, 1, s - 1) : base;
}
std::string HttpWhenHostless(const std::string& name) {
  return CountOf("/", name) < 2 ? "http://" + name : name;
}

// Sort the list, look for the candidate, append it when absent.
void Add(std::vector<std::string>& list, const std::string& candidate) {
  auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  std::sort(list.begin(), list.end(), [&](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return lower(x) < lower(y); });
  });
  for (const auto& entry : list) {
    if (Lower(entry) == Lower(candidate)) return;
  }
  list.push_back(candidate);
}

}  // namespace

std::size_t LastPos(char c, const std::string& s) {
  if (s.size() < 2) return 0;
  std::size_t last = 0;
  for (std::size_t i = 1; i <= s.size(); ++i) {
    if (s[i - 1] == c) last = i;
  }
  return last;
}

std::size_t CountOf(const std::string& t, const std::string& s) {
  std::size_t count = 0;
  std::string rest = s;
  while (!t.empty() && Pos(t, rest) > 0) {
    ++count;
    rest = Copy(rest, Pos(t, rest) + t.size(), kRest);
  }
  return count;
}

std::vector<std::string> SwfLinkList(const std::string& pageText, const std::string& pageAddress) {
  std::string data = Lower(pageText), odata = pageText, base = StripBreaks(pageAddress);
  std::vector<std::string> list;
  if (Pos("fullscreen=\"yes\"", data) > 0) {
    const std::size_t ps = Pos("src=", data), pw = Pos(".swf", data);
    list.push_back(
        StripBreaks(CopyN(odata, ps + 4, static_cast<long long>(pw) - static_cast<long long>(ps))));
    return list;
  }
  const std::size_t passes = CountOf(".swf", data);
  for (std::size_t pass = 0; pass < passes; ++pass) {
    const std::size_t p = Pos(".swf", data);
    while (Copy(data, p + 4, 1) == " ") {
      data.erase(p + 3, 1);
      odata.erase(p + 3, 1);
    }
    const std::string c = Copy(data, p + 4, 1);
    if (c == "'" || c == "\"") {
      const std::size_t q = LastPos(c[0], Copy(data, 1, p - 1));
      std::string name = StripBreaks(Copy(Copy(odata, 1, p - 1), q + 1, kRest));
      const std::string lname = Lower(name), ext = Copy(odata, p, 4);
      std::string candidate;
      if (Copy(name, 1, 2) == "//") {
        candidate = Scheme(base) + ":" + name + ext;
      } else if (Copy(name, 1, 1) == "/") {
        CutAtQuery(base);
        candidate = HttpWhenHostless(Origin(base) + name) + ext;
      } else if (Pos("www", lname) > 0 || Pos("://", lname) > 0) {
        candidate = name + ext;
      } else {
        CutAtQuery(base);
        const std::size_t l = LastPos('/', base);
        const std::size_t http = Pos("http://", Lower(base)), https = Pos("https://", Lower(base));
        std::size_t h = 6;
        if (http > 0 && (https == 0 || http < https)) h = http + 6;
        else if (https > 0) h = https + 7;
        name = (l == h || l == 0) ? base + "/" + name : Copy(base, 1, l) + name;
        candidate = HttpWhenHostless(name) + ext;
      }
      Add(list, candidate);
    }
    data = Copy(data, p + 4, kRest);
    odata = Copy(odata, p + 4, kRest);
  }
  return list;
}

std::vector<std::string> FrameLinks(const std::string& pageText, const std::string& pageAddress) {
  std::string data = Lower(pageText), odata = pageText;
  std::string base = Lower(StripBreaks(pageAddress)), obase = StripBreaks(pageAddress);
  std::vector<std::string> list;
  char quote = '\'';
  const std::size_t n = CountOf("<iframe", data);
  for (std::size_t round = 0; round < n; ++round) {
    const std::size_t p = Pos("<iframe", data);
    data = Copy(data, p + 7, kRest);
    odata = Copy(odata, p + 7, kRest);
    const std::size_t s = Pos("src", data);
    data = Copy(data, s + 3, kRest);
    odata = Copy(odata, s + 3, kRest);
    while (First(data, " ")) DeleteFirst(data, odata);
    if (First(data, "=")) DeleteFirst(data, odata);
    while (First(data, " \r\n")) DeleteFirst(data, odata);
    if (First(data, "'\"")) quote = data[0];
    if (!data.empty()) DeleteFirst(data, odata);
    while (First(data, " ")) DeleteFirst(data, odata);
    std::size_t close = Pos(std::string(1, quote), data);
    if (close == 0) continue;  // no closing quote: this tag gives nothing
    while (close > 1 && std::string(" \r\n").find(data[close - 2]) != std::string::npos) --close;
    std::string name = StripBreaks(Copy(odata, 1, close - 1));
    if (Copy(name, 1, 2) == "//") {
      name = Scheme(obase) + ":" + name;
    } else if (Copy(name, 1, 1) == "/") {
      CutAtQuery(base);
      CutAtQuery(obase);
      name = Origin(obase) + name;
    } else if (Pos("www", Lower(name)) == 0 && Pos("://", name) == 0) {
      CutAtQuery(base);
      CutAtQuery(obase);
      const std::size_t l = LastPos('/', base);
      name = l == Pos("://", base) + 2 ? obase + "/" + name : Copy(obase, 1, l) + name;
    }
    Add(list, name);
    data = Copy(data, close, kRest);
    odata = Copy(odata, close, kRest);
  }
  return list;
}

std::vector<std::string> MemoLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::string line;
    while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') line += bytes[i++];
    lines.push_back(line.substr(0, line.find('\0')));
    if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i += 2;
    else if (i < bytes.size()) i += 1;
  }
  return lines;
}

}  // namespace tavimo::reference
