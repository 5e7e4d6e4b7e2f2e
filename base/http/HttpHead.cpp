#include "base/http/HttpHead.h"

#include "base/TextUtils.h"

namespace tavimo {

namespace {

// Cuts the next line off `rest`, without its line end (LF, or CR LF: a lone CR is no break in
// an HTTP head).
std::string_view HeadLine(std::string_view& rest) {
  const std::size_t lf = rest.find('\n');
  std::string_view line = rest.substr(0, lf);
  rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<HttpStatusLine> ParseStatusLine(std::string_view line, bool storedVersions) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!line.starts_with("HTTP/") || line.size() < 6 || !IsAsciiDigit(line[5])) return std::nullopt;
  std::size_t at = 6;
  if (line.size() > 7 && line[6] == '.' && IsAsciiDigit(line[7])) at = 8;
  else if (!storedVersions) return std::nullopt;
  if (line.size() < at + 4 || line[at] != ' ') return std::nullopt;
  const std::string_view code = line.substr(at + 1, 3);
  if (!IsAsciiDigit(code[0]) || !IsAsciiDigit(code[1]) || !IsAsciiDigit(code[2])) return std::nullopt;
  if (line.size() > at + 4 && line[at + 4] != ' ') return std::nullopt;
  HttpStatusLine s;
  s.code = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
  if (s.code < 100 || s.code > 599) return std::nullopt;
  if (line.size() > at + 5) s.reason = line.substr(at + 5);
  return s;
}

int HttpStatusOf(std::string_view head, bool storedVersions) {
  const std::optional<HttpStatusLine> s = ParseStatusLine(HeadLine(head), storedVersions);
  return s ? s->code : 0;
}

std::optional<HttpField> SplitHeaderLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return HttpField{line.substr(0, colon), Trim(line.substr(colon + 1))};
}

bool SameFieldName(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }

namespace {

std::string Values(std::string_view head, std::string_view name, bool all) {
  std::string out;
  bool found = false;
  HeadLine(head);  // the status line is no field
  while (!head.empty()) {
    const std::optional<HttpField> f = SplitHeaderLine(HeadLine(head));
    if (!f || !SameFieldName(f->name, name)) continue;
    if (found) out += ", ";
    out += f->value;
    found = true;
    if (!all) break;
  }
  return out;
}

}  // namespace

std::string HttpHeaderValue(std::string_view head, std::string_view name) {
  return Values(head, name, false);
}

std::string HttpHeaderValues(std::string_view head, std::string_view name) {
  return Values(head, name, true);
}

std::size_t HttpHeadEnd(std::string_view bytes, std::size_t& linesEnd) {
  for (std::size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1)) {
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      linesEnd = i + 1;
      return i + 2;
    }
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') {
      linesEnd = i + 1;
      return i + 3;
    }
  }
  return std::string_view::npos;
}

std::string ShownText(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  return out;
}

}  // namespace tavimo
