#include "base/http/ContentDecoder.h"

#include <algorithm>

#include "base/http/Inflater.h"
#include "base/http/HttpHead.h"

namespace tavimo {

namespace {

// Coded input goes to the inflater in slices this big, so a sink that stops is heard within a
// few megabytes of output even on a gzip bomb, never a whole read's worth.
constexpr std::size_t kInflateSlice = 4096;

}  // namespace

std::string ContentCodingOf(std::string_view value, std::string& coding) {
  coding.clear();
  std::string list;
  for (char c : value) list += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  // Every coding named, "identity" dropped: one we can undo is all we take.
  int named = 0;
  std::string refused;
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    std::string c = list.substr(at, comma - at);
    c.erase(0, c.find_first_not_of(" \t"));
    c.erase(c.find_last_not_of(" \t") + 1);
    at = comma + 1;
    if (c.empty() || c == "identity") continue;
    ++named;
    if (TInflater::Supports(c) && coding.empty()) coding = c;
    else if (refused.empty()) refused = c;
  }
  if (named > 1 && refused.empty()) refused = list;
  if (refused.empty()) return {};
  coding.clear();
  return "unsupported content encoding: " + ShownText(refused);
}

ContentDecoder::ContentDecoder(const std::string& coding) {
  if (!coding.empty()) inflater_ = std::make_unique<TInflater>(coding);
}

ContentDecoder::~ContentDecoder() = default;

ContentDecoder::Result ContentDecoder::Feed(const char* data, std::size_t len, const Sink& sink) {
  if (!error_.empty()) return Result::Error;
  if (!inflater_) {
    if (len > 0 && !stopped_ && !sink(data, len)) stopped_ = true;
    return stopped_ ? Result::Stopped : Result::More;
  }
  const TInflater::Sink out = [&](const char* p, std::size_t n) {
    if (!stopped_ && !sink(p, n)) stopped_ = true;
  };
  for (std::size_t at = 0; at < len && !stopped_ && !inflater_->Finished(); at += kInflateSlice) {
    if (!inflater_->Feed(data + at, std::min(kInflateSlice, len - at), out)) {
      error_ = inflater_->Error();
      return Result::Error;
    }
  }
  return stopped_ ? Result::Stopped : Result::More;
}

std::string ContentDecoder::Finish() const {
  if (!error_.empty()) return error_;
  if (inflater_ && !inflater_->Finished()) return "the compressed body ended early";
  return {};
}

}  // namespace tavimo
