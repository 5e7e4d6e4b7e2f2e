#include "cli/ScanOptions.h"

#include <charconv>

#include "download/CategoryFolder.h"

namespace tavimo::cli {

namespace {

std::optional<int> Choice(const std::string& value, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* name : names) {
    if (value == name) return i;
    ++i;
  }
  return std::nullopt;
}

}  // namespace

std::string UsageText() {
  return "usage: tavimo-scan [options] URL...\n"
         "       tavimo-scan [options] --urls-from FILE|-\n"
         "       tavimo-scan [options] --warc FILE...\n"
         "Lists the Flash movies (.swf) of web pages as Tavimo's window does: one line per movie,\n"
         "its URL, a tab and its save-as name (and a tab and cache or warc for a movie found in a\n"
         "cache or an archive). Pages that fail are reported on standard error.\n"
         "\n"
         "  --urls-from FILE|-   read page addresses from FILE (- = standard input), one per line\n"
         "  --warc FILE...       scan the pages recorded in web archives instead of fetching them\n"
         "  --jobs N             scan N pages at once (default 1)\n"
         "  --json               one JSON object per movie and line: url, name, page, pass, source\n"
         "  --with-query         also list references with a query or fragment after .swf\n"
         "                       (movie.swf?xml=config.xml); the name drops it\n"
         "  --detect MODE        page, cache (the page and the cached movies of its site) or\n"
         "                       all-cache (every cached movie); default: the window's setting\n"
         "  --save DIR           download the movies into DIR as the Download button does\n"
         "  --category NAME      ... into the sub-folder NAME of DIR (-- : DIR itself)\n"
         "  --mode MODE          cache, internet or copy-cache (default: the window's setting)\n"
         "  --help               this text\n"
         "\n"
         "Exit status: 0 every page was scanned, 1 some failed (or the results or the list could\n"
         "not be written or read), 2 bad usage.\n";
}

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::string& error) {
  ScanOptions o;
  bool inWarcs = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--with-query") {
      o.withQuery = true;
    } else if (a == "--urls-from") {
      auto v = value("--urls-from");
      if (!v) return std::nullopt;
      o.urlsFrom = *v;
    } else if (a == "--jobs") {
      auto v = value("--jobs");
      if (!v) return std::nullopt;
      int n = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
      if (ec != std::errc() || end != v->data() + v->size() || n < 1 || n > 256) {
        error = "--jobs takes a number from 1 to 256";
        return std::nullopt;
      }
      o.jobs = n;
    } else if (a == "--detect") {
      auto v = value("--detect");
      if (!v) return std::nullopt;
      o.detectMode = Choice(*v, {"page", "cache", "all-cache"});
      if (!o.detectMode) {
        error = "--detect takes page, cache or all-cache";
        return std::nullopt;
      }
    } else if (a == "--save") {
      auto v = value("--save");
      if (!v) return std::nullopt;
      o.saveDir = *v;
    } else if (a == "--category") {
      auto v = value("--category");
      if (!v) return std::nullopt;
      o.category = *v;
    } else if (a == "--mode") {
      auto v = value("--mode");
      if (!v) return std::nullopt;
      o.downloadMode = Choice(*v, {"cache", "internet", "copy-cache"});
      if (!o.downloadMode) {
        error = "--mode takes cache, internet or copy-cache";
        return std::nullopt;
      }
    } else if (a == "--warc") {
      inWarcs = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      error = "unknown option " + a;
      return std::nullopt;
    } else if (inWarcs) {
      o.warcs.push_back(a);
    } else {
      o.urls.push_back(a);
    }
  }
  if (o.help) return o;
  if (!o.category.empty() && o.saveDir.empty()) {
    error = "--category needs --save";
    return std::nullopt;
  }
  if (const std::string why = CategoryNameProblem(o.category); !why.empty()) {
    error = "--category takes a folder name: " + why;
    return std::nullopt;
  }
  if (inWarcs && o.warcs.empty()) {
    error = "--warc needs at least one file";
    return std::nullopt;
  }
  // An archive run fetches nothing: addresses given with it would be silently left out.
  if (!o.warcs.empty() && (!o.urls.empty() || !o.urlsFrom.empty())) {
    error = "page addresses and --urls-from cannot be given with --warc";
    return std::nullopt;
  }
  if (o.urls.empty() && o.urlsFrom.empty() && o.warcs.empty()) {
    error = "no page to scan";
    return std::nullopt;
  }
  return o;
}

}  // namespace tavimo::cli
