#include "cli/WarcScan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "detect/ItemSink.h"
#include "detect/LinkExtractor.h"
#include "platform/AtomicFile.h"
#include "platform/CachedResponse.h"
#include "platform/WarcReader.h"

namespace tavimo::cli {

namespace {

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct Recorded {
  std::uint64_t offset;
  bool html;
};

class Archive {
 public:
  explicit Archive(std::string path) : path_(std::move(path)) {}

  // The payload of the response recorded for uri at offset (the first such record there):
  // kept in out up to limit, or handed to sink when there is one.
  bool Payload(const std::string& uri, std::uint64_t offset, std::size_t limit, std::string& out,
               std::string& error, const TWarcReader::Sink& sink = {}) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = std::strerror(errno);
      return false;
    }
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    // A record-gzipped or plain file starts a record at its offset; a file gzipped whole has
    // one member, read from the start.
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
      error = std::strerror(errno);
      return false;
    }
    TWarcReader reader(TWarcReader::FileSource(fd));
    TWarcRecord record;
    TWarcDamage damage;
    for (;;) {
      const TWarcReader::Step step = reader.Next(record, damage);
      if (step == TWarcReader::Step::End) break;
      if (step == TWarcReader::Step::Damaged) continue;
      if (record.type != "response" || record.targetUri != uri || !record.IsHttpResponse()) continue;
      const TWarcPayloadResult r = sink ? reader.StreamPayload(sink) : reader.ReadPayload(out, limit);
      if (sink && !r.complete) {
        error = r.error.empty() ? "the recorded movie cannot be written" : r.error;
        return false;
      }
      if (!r.complete && !r.cut) {
        error = r.error.empty() ? "the recorded page cannot be read" : r.error;
        return false;
      }
      return true;
    }
    error = "the recorded page is gone from the archive";
    return false;
  }

 private:
  std::string path_;
};

}  // namespace

bool ExtractWarcPayload(const std::string& path, const std::string& uri, std::uint64_t offset,
                        const std::string& target, std::string& error) {
  return SaveStreamAs(
      target,
      [&](const ByteSink& sink, std::string& why) {
        std::string unused;
        return Archive(path).Payload(uri, offset, 0, unused, why, sink);
      },
      error);
}

bool ScanWarc(const std::string& path, const WarcScanLimits& limits, const ItemFound& found,
              const Problem& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem(path, std::string("cannot read the archive: ") + std::strerror(errno));
    return false;
  }
  // First pass: what the archive holds (successful HTTP responses by URI, first one wins).
  std::unordered_map<std::string, Recorded> byUri;
  std::vector<std::string> pages;  // HTML pages in archive order
  {
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    TWarcReader reader(TWarcReader::FileSource(fd));
    TWarcRecord record;
    TWarcDamage damage;
    for (;;) {
      const TWarcReader::Step step = reader.Next(record, damage);
      if (step == TWarcReader::Step::End) break;
      if (step == TWarcReader::Step::Damaged) {
        problem(path + "@" + std::to_string(damage.offset), damage.reason);
        continue;
      }
      if (record.type != "response" || !record.IsHttpResponse()) continue;
      if (record.httpStatus < 200 || record.httpStatus > 299) continue;
      const std::string type = Lower(HeaderValue(record.httpHead, "Content-Type"));
      const std::string cut = record.targetUri.substr(0, record.targetUri.find('?'));
      const bool html = type.rfind("text/html", 0) == 0 || type.rfind("application/xhtml", 0) == 0;
      if (byUri.emplace(record.targetUri, Recorded{record.offset, html}).second && html) {
        pages.push_back(record.targetUri);
      }
      if (EndsWith(cut, ".swf") || type.rfind("application/x-shockwave-flash", 0) == 0) {
        FoundItem item;
        item.url = record.targetUri;
        item.name = DefaultSaveAsName(cut);
        item.page = record.targetUri;
        item.pass = 0;
        item.source = "warc";
        item.offset = record.offset;
        item.warc = path;
        found(item);
      }
    }
  }
  // Then every page as the window scans one: each pass's pages make one text, whose links and
  // frames are resolved against the page scanned; its frames come from the archive.
  Archive archive(path);
  for (const std::string& page : pages) {
    std::unordered_set<std::string> fetched;
    std::vector<std::string> fetchList{page};
    for (int number = 1; !fetchList.empty(); ++number) {
      std::vector<std::string> pass;
      for (std::string& address : fetchList) {
        if (address.empty() || fetched.count(address)) continue;
        if (static_cast<int>(fetched.size()) >= limits.maxPages) {
          problem(page, "stopped after " + std::to_string(limits.maxPages) + " pages, the most one scan fetches");
          break;
        }
        fetched.insert(address);
        pass.push_back(std::move(address));
      }
      if (pass.empty()) break;
      std::string text;
      for (const std::string& address : pass) {
        const auto at = byUri.find(address);
        std::string body, error;
        if (at == byUri.end()) {
          problem(page, address + " is not in the archive");
        } else if (!archive.Payload(address, at->second.offset, limits.maxPageBytes, body, error)) {
          problem(page, address + ": " + error);
        }
        text += body;
      }
      for (const std::string& link : SwfLinkList(text, page, limits.withQuery)) {
        FoundItem item;
        item.url = link;
        item.name = limits.withQuery ? QuerySaveAsName(link) : DefaultSaveAsName(link);
        item.page = page;
        item.pass = number;
        item.source = "page";
        found(item);
      }
      fetchList = ExtractFrameLinks(text, page);
    }
  }
  return true;
}

}  // namespace tavimo::cli
