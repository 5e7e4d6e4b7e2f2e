#include "base/http/BodyFraming.h"

#include "base/TextUtils.h"
#include "base/http/ContentDecoder.h"
#include "base/http/HttpHead.h"

namespace tavimo {

namespace {

void Append(std::string& list, std::string_view value) {
  if (!list.empty()) list += ", ";
  list += value;
}

// The elements of a comma-separated list, blanks around them dropped, empty ones skipped.
template <typename Each>
void ForEachElement(std::string_view list, Each each) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view e = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    while (!e.empty() && (e.front() == ' ' || e.front() == '\t')) e.remove_prefix(1);
    while (!e.empty() && (e.back() == ' ' || e.back() == '\t')) e.remove_suffix(1);
    if (!e.empty()) each(e);
  }
}

}  // namespace

void FramingFields::Add(std::string_view name, std::string_view value) {
  if (SameFieldName(name, "Content-Length")) {
    hasLength_ = true;
    Append(contentLength_, value);
  } else if (SameFieldName(name, "Transfer-Encoding")) {
    Append(transferEncoding_, value);
  } else if (SameFieldName(name, "Content-Encoding")) {
    Append(contentEncoding_, value);
  }
}

bool FramingFields::Chunked() const { return Decide(200).kind == BodyFraming::Kind::Chunked; }

BodyFraming FramingFields::Decide(int status, bool headRequest) const {
  BodyFraming f;
  if (headRequest || (status >= 100 && status < 200) || status == 204 || status == 304) {
    f.kind = BodyFraming::Kind::None;
    return f;
  }
  // Transfer codings: only chunked (last, once) can be undone; "identity" is no coding.
  int codings = 0;
  bool chunkedLast = false;
  std::string refused;
  ForEachElement(transferEncoding_, [&](std::string_view e) {
    const std::string c = AsciiLowerCopy(e);
    if (c == "identity") return;
    ++codings;
    chunkedLast = c == "chunked";
    if (!chunkedLast && refused.empty()) refused = c;
  });
  if (codings > 0 && (!chunkedLast || codings > 1)) {
    f.error = "unsupported transfer encoding: " +
              ShownText(refused.empty() ? AsciiLowerCopy(transferEncoding_) : refused);
    return f;
  }
  f.error = ContentCodingOf(contentEncoding_, f.contentCoding);
  if (!f.error.empty()) return f;
  if (codings == 1) {
    f.kind = BodyFraming::Kind::Chunked;  // the chunks frame the body, whatever a length says
    return f;
  }
  if (hasLength_) {
    // One value, or the same value repeated; digits only.
    bool valid = true, differ = false, first = true;
    std::uint64_t n = 0;
    ForEachElement(contentLength_, [&](std::string_view e) {
      std::uint64_t v = 0;
      for (char c : e) {
        if (c < '0' || c > '9' || v > (std::uint64_t{1} << 58)) valid = false;
        else v = v * 10 + static_cast<unsigned>(c - '0');
      }
      if (!first && v != n) differ = true;
      n = v;
      first = false;
    });
    if (first) valid = false;
    if (!valid) {
      f.error = "invalid Content-Length \"" + ShownText(contentLength_) + "\"";
    } else if (differ) {
      f.error = "two different Content-Length values";
    } else {
      f.kind = BodyFraming::Kind::Length;
      f.length = n;
    }
    return f;
  }
  f.kind = BodyFraming::Kind::Close;
  return f;
}

BodyFraming BodyFramingOf(std::string_view head, bool headRequest) {
  const int status = HttpStatusOf(head, true);
  FramingFields fields;
  std::size_t at = head.find('\n');
  while (at != std::string_view::npos && at + 1 < head.size()) {
    const std::size_t end = head.find('\n', at + 1);
    if (const auto f =
            SplitHeaderLine(head.substr(at + 1, end == std::string_view::npos ? end : end - at - 1)))
      fields.Add(f->name, f->value);
    at = end;
  }
  return fields.Decide(status, headRequest);
}

}  // namespace tavimo
