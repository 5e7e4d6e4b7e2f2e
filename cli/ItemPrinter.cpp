#include "cli/ItemPrinter.h"

#include <nlohmann/json.hpp>

namespace tavimo::cli {

namespace {

using Json = nlohmann::json;

// Well-formed enough for JSON: lead bytes followed by the right number of continuation bytes.
bool IsUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t more = 0;
    if (c < 0x80) {
      more = 0;
    } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
      more = 1;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
    } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
      more = 3;
    } else {
      return false;
    }
    if (s.size() - i - 1 < more) return false;
    for (size_t k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

std::string PercentEncodeHigh(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n"; }

}  // namespace

std::string FormatItem(const FoundItem& item, bool json) {
  if (!json) {
    // A movie the page did not name (a cache's, an archive's) says where it came from.
    return item.url + "\t" + item.name + (item.source == "page" ? "" : "\t" + item.source) + "\n";
  }
  Json j;
  j["url"] = IsUtf8(item.url) ? item.url : PercentEncodeHigh(item.url);
  j["name"] = item.name;
  j["page"] = IsUtf8(item.page) ? item.page : PercentEncodeHigh(item.page);
  j["pass"] = item.pass;
  j["source"] = item.source;
  if (item.offset) {
    j["warc"] = item.warc;
    j["offset"] = *item.offset;
  }
  return Dump(j);
}

std::string FormatFailure(const std::string& page, const std::string& reason, bool json) {
  if (!json) return "tavimo-scan: " + page + ": " + reason + "\n";
  Json j;
  j["page"] = IsUtf8(page) ? page : PercentEncodeHigh(page);
  j["error"] = reason;
  return Dump(j);
}

}  // namespace tavimo::cli
