#include "sources/session/FirefoxSession.h"

#include <cstdint>
#include <limits>
#include <lz4.h>
#include <nlohmann/json.hpp>

namespace tavimo {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kMagic{"mozLz40\0", 8};
constexpr std::size_t kHeaderSize = 12;
// One LZ4 input byte never yields more than 255 output bytes; a bigger claim is a lie and
// would only make us allocate for nothing.
constexpr std::uint64_t kMaxLz4Ratio = 255;

// An integer field that fits int64; floats, strings and huge values do not count.
std::optional<std::int64_t> IntegerField(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return std::nullopt;
  if (it->is_number_unsigned() &&
      it->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  return it->get<std::int64_t>();
}

// A 1-based position stored under `key`, turned into a 0-based one below `count`.
std::optional<std::size_t> OneBased(const Json& object, const char* key, std::size_t count) {
  const auto v = IntegerField(object, key);
  if (!v || *v < 1 || static_cast<std::uint64_t>(*v) > count) return std::nullopt;
  return static_cast<std::size_t>(*v - 1);
}

const Json* ArrayField(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_array() && !it->empty() ? &*it : nullptr;
}

// selectedWindow is 0 (or absent) when no browser window had the focus at the last write; the
// window nearest the front (smallest positive zIndex) then stands for the front window.
std::optional<std::size_t> FrontWindow(const Json& doc, const Json& windows) {
  if (doc.contains("selectedWindow") && IntegerField(doc, "selectedWindow") != 0) {
    return OneBased(doc, "selectedWindow", windows.size());
  }
  std::optional<std::size_t> best;
  std::int64_t bestZ = std::numeric_limits<std::int64_t>::max();
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (!windows[i].is_object()) continue;
    const auto z = IntegerField(windows[i], "zIndex");
    if (z && *z >= 1 && *z < bestZ) {
      best = i;
      bestZ = *z;
    }
  }
  if (!best && windows.size() == 1) best = 0;
  return best;
}

// Deepest nesting of the text, counted without parsing it (strings skipped); stops counting
// past `limit`.
std::size_t NestingDepth(std::string_view text, std::size_t limit) {
  std::size_t depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest && (deepest = depth) > limit) return deepest;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// The members the address is found through; every other member (closed windows, form data,
// frames of an entry, cookies) is skipped by the parser instead of being kept.
bool KeptMember(const std::string& name) {
  static const char* const kKept[] = {"windows",  "selectedWindow", "zIndex", "tabs",
                                      "selected", "entries",        "index",  "url"};
  for (const char* k : kKept) {
    if (name == k) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> DecodeMozLz4(std::string_view fileBytes) {
  if (fileBytes.size() < kHeaderSize || fileBytes.substr(0, kMagic.size()) != kMagic) {
    return std::nullopt;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(fileBytes.data()) + kMagic.size();
  const std::uint32_t declared =
      std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  const std::string_view block = fileBytes.substr(kHeaderSize);
  if (declared == 0 || declared > kMaxFirefoxSessionJson ||
      block.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      declared > block.size() * kMaxLz4Ratio) {
    return std::nullopt;
  }
  std::string json(declared, '\0');
  const int n = LZ4_decompress_safe(block.data(), json.data(), static_cast<int>(block.size()),
                                    static_cast<int>(declared));
  // A short result means the block ended early: the file was cut or is being written.
  if (n < 0 || static_cast<std::uint32_t>(n) != declared) return std::nullopt;
  return json;
}

std::optional<std::string> FirefoxSessionAddress(std::string_view fileBytes) {
  const std::optional<std::string> text = DecodeMozLz4(fileBytes);
  if (!text) return std::nullopt;
  if (NestingDepth(*text, kMaxFirefoxSessionDepth) > kMaxFirefoxSessionDepth) return std::nullopt;
  const Json doc = Json::parse(
      *text,
      [](int, Json::parse_event_t event, Json& parsed) {
        return event != Json::parse_event_t::key || KeptMember(parsed.get_ref<const std::string&>());
      },
      /*allow_exceptions=*/false);
  if (!doc.is_object()) return std::nullopt;

  const Json* windows = ArrayField(doc, "windows");
  if (!windows) return std::nullopt;
  const auto w = FrontWindow(doc, *windows);
  if (!w || !(*windows)[*w].is_object()) return std::nullopt;
  const Json& window = (*windows)[*w];

  const Json* tabs = ArrayField(window, "tabs");
  if (!tabs) return std::nullopt;
  const auto t = OneBased(window, "selected", tabs->size());
  if (!t || !(*tabs)[*t].is_object()) return std::nullopt;
  const Json& tab = (*tabs)[*t];

  // A fresh tab that has loaded nothing has no entries and no index.
  const Json* entries = ArrayField(tab, "entries");
  if (!entries) return std::nullopt;
  const auto e = OneBased(tab, "index", entries->size());
  if (!e || !(*entries)[*e].is_object()) return std::nullopt;
  const Json& entry = (*entries)[*e];

  const auto url = entry.find("url");
  if (url == entry.end() || !url->is_string()) return std::nullopt;
  std::string address = url->get<std::string>();
  if (address.empty()) return std::nullopt;
  return address;
}

}  // namespace tavimo
