// The downloads' lookup of one URL in the URL cache store of the user's caches
// ($XDG_CACHE_HOME): the first lookup, the next one, and one after a file came and went in a
// cache folder (what a running browser does all the time).
//   bench_cache_find <url> <cache folder to touch>
// Prints "<hits> <first s> <again s> <after a change s>".
#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "sources/cache/UrlCacheStore.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <url> <cache folder to touch>\n", argv[0]);
    return 2;
  }
  tavimo::UrlCacheStore store;
  std::size_t hits = 0;
  auto timed = [&] {
    const auto start = std::chrono::steady_clock::now();
    hits = store.Find(argv[1], true).size();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const double first = timed();
  const double again = timed();
  // No entry file: just a name that comes and goes, as the browser's own files do.
  const std::string file = std::string(argv[2]) + "/bench-touch";
  std::FILE* f = std::fopen(file.c_str(), "w");
  if (!f) return 1;
  std::fclose(f);
  ::unlink(file.c_str());
  const double changed = timed();
  std::printf("%zu %.6f %.6f %.6f\n", hits, first, again, changed);
  return hits > 0 ? 0 : 1;
}
