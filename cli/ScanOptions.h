#pragma once
// The command line of tavimo-scan.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/SettingsSchema.h"

namespace tavimo::cli {

struct ScanOptions {
  std::vector<std::string> urls;    // pages named on the command line
  std::string urlsFrom;             // a file of page addresses, "-" for standard input
  std::vector<std::string> warcs;   // web archives to scan instead of fetching
  int jobs = 1;                     // pages scanned at once
  bool json = false;                // one JSON object per item and line
  bool withQuery = false;           // also references with a query or fragment after ".swf"
  std::optional<int> detectMode;    // 0 page, 1 page and cache, 2 all of the cache
  std::string saveDir;              // download the items into this folder
  std::string category;             // ... into this category below it
  std::optional<int> downloadMode;  // 0 cache, 1 internet, 2 copy from the cache
  // --limit NAME=VALUE, checked against the schema; over the settings file's [limits].
  std::vector<std::pair<Setting, int>> limits;
  bool help = false;
};

// Exit codes.
constexpr int kExitAllScanned = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

// Parses argv (without the program name); std::nullopt with error set on bad usage.
std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string UsageText();

}  // namespace tavimo::cli
