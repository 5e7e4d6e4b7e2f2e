#pragma once
// What a scan fetches for the text of the address field (or a tavimo-scan argument): a typed
// address without a scheme ("example.org/games.htm", "127.0.0.1:8000/a/") is an http address,
// and one the page client cannot fetch (file:, about:, chrome:, javascript:, ...) is refused
// with one clear reason before anything is fetched. Blanks around the text are not part of it.
#include <string>

namespace tavimo {

inline constexpr const char* kOnlyWebPages = "Tavimo scans http and https pages";

struct ScanAddress {
  std::string address;  // what to fetch; "" for an empty text or a refused one
  std::string refusal;  // why it cannot be scanned ("" when it can)
};

ScanAddress UsableScanAddress(const std::string& text);

// An http or https address (scheme case ignored): what a browser's captured address must be
// to be offered for a scan.
bool IsWebAddress(const std::string& address);

}  // namespace tavimo
