#pragma once
// A temporary home whose cache folder holds the browsers' own sample caches as they lie on a
// user's machine: a Chromium profile and two Firefox profiles (153 ESR and 140 ESR), with two
// copies of one Chromium entry beside them, one cut short (as while the browser writes it) and
// one with a damaged head. For the tests of the URL cache store and of the cache enumerator.
#include <cstdint>
#include <string>

#include "tests/support/TempDir.h"

namespace tavimo::test {

class BrowserCacheHome {
 public:
  // samples: the folder of the browsers' sample caches (tests/data/browser).
  explicit BrowserCacheHome(const std::string& samples);
  const std::string& Path() const { return home_.Path(); }
  std::string operator/(const std::string& name) const { return home_ / name; }
  const std::string& ChromiumFolder() const { return chromium_; }

  // Writes a Chromium entry of a whole response beside the samples; its path ("" when it failed).
  std::string Plant(const std::string& url, const std::string& body, const std::string& headers,
                    std::int64_t responseTime = 1796629119) const;

 private:
  TempHome home_;
  std::string chromium_;
};

}  // namespace tavimo::test
