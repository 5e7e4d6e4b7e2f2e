#pragma once
// What the status panel says at the end of a scan. A scan goes on past a page it could not
// fetch, but the user is told which pages failed and why, and when a bound or Esc ended it, so
// a plain "Finished" always means every page arrived.
#include <cstdint>
#include <string>
#include <vector>

namespace tavimo {

// The short reason a fetch failed, from the page client's outcome; empty when the page
// arrived (no request-done error and a 2xx status). "404 Not Found", "connection refused",
// "timed out", "certificate not trusted", ...
std::string FetchFailureText(std::int32_t statusCode, const std::string& reasonPhrase,
                             std::uint16_t requestDoneError);

class TScanReport {
 public:
  void PageFetched(const std::string& failure);  // failure empty: the page arrived
  void PageBoundHit(int maxPages) { boundHit_ = maxPages; }
  void ScanBytesBoundHit(std::int64_t maxBytes) { bytesBoundHit_ = maxBytes; }
  int Pages() const { return pages_; }
  int Failed() const { return failed_; }

  // "Finished", or e.g. "Finished: 1 of 3 pages failed: 404 Not Found", with the distinct
  // reasons in order of appearance, then the bound when it stopped the scan.
  std::string FinishedText() const;

 private:
  int pages_ = 0;
  int failed_ = 0;
  int boundHit_ = 0;
  std::int64_t bytesBoundHit_ = 0;
  std::vector<std::string> reasons_;
};

}  // namespace tavimo
