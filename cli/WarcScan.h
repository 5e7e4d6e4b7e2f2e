#pragma once
// Scanning web archives instead of fetching: every HTML page recorded in a WARC file is scanned
// as the window scans a page (its Flash links resolved against the record's target URI, its
// frames followed pass by pass inside the archive, each address once, at most MaxPages pages),
// and every Flash movie recorded in it is listed as such, with its record's offset.
#include <cstdint>
#include <functional>
#include <string>

#include "cli/ItemPrinter.h"
#include "platform/MovieLimit.h"
#include "detect/PageScan.h"
#include "sources/warc/WarcAccessPoints.h"

namespace tavimo::cli {

struct WarcScanLimits {
  int maxPages = 100;                                // pages of one scan, frames included
  std::size_t maxPageBytes = std::size_t{16} << 20;  // bytes of a page kept for the scan
  // Bytes of all the pages of one scan (the page and its frames, every pass), as the window's.
  std::size_t maxScanBytes = static_cast<std::size_t>(TPageScan::kDefaultMaxScanBytes);
  bool withQuery = false;  // the query rule of the link extractor
  // An archive gzipped whole (one gzip member) is read from its start only once: a point to
  // start inflating from is kept every this many uncompressed bytes, 32 KiB each (8 MiB per
  // GiB of archive data by default), and each page or frame is read from the point before it.
  std::uint64_t accessPointSpacing = TWarcAccessPoints::kDefaultSpacing;
  // The most bytes a saved movie may have once its content coding is undone; a record whose
  // payload would pass it is not saved (the reason is given) and leaves no file.
  std::int64_t movieBytes = kDefaultMovieBytes;
};

// Called for each item found, and for each damaged record or page that could not be read
// (page: "<file>@<offset>" or the page URI; reason). False from a callback is not used.
using ItemFound = std::function<void(const FoundItem&)>;
using Problem = std::function<void(const std::string& where, const std::string& reason)>;

// Saving the movies of an archive while it is scanned: their payloads are written as the scan
// passes them (no second read of the archive, which for a file gzipped whole would start at its
// first byte each time). target: the file a movie goes to ("" : not saved); done: the outcome,
// with the file it was for.
struct WarcSaving {
  std::function<std::string(const FoundItem&)> target;
  std::function<void(const FoundItem&, const std::string& target, bool saved, const std::string& error)> done;
};

// What a scan cost.
struct WarcScanStats {
  std::uint64_t inflatedBytes = 0;  // bytes inflated in all (0 for a plain file)
};

// Scans one archive; false when it cannot be opened (reason given to `problem`).
bool ScanWarc(const std::string& path, const WarcScanLimits& limits, const ItemFound& found,
              const Problem& problem, const WarcSaving& saving = {}, WarcScanStats* stats = nullptr);

}  // namespace tavimo::cli
