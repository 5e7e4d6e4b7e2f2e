#include "cli/WarcScan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
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
  std::uint64_t decodedOffset;
  bool html;
};

// Reads recorded payloads by offset. In a file gzipped whole every record has offset 0 (its one
// member): the reader of the last look-up is kept and goes on forward when the next record lies
// ahead of it with no access point in between (pages are looked up in archive order, a frame
// mostly soon after its page); otherwise a reader starts at the nearest access point before it.
class Archive {
 public:
  Archive(std::string path, const TWarcAccessPoints* points) : path_(std::move(path)), points_(points) {}
  ~Archive() {
    reader_.reset();
    if (fd_ >= 0) ::close(fd_);
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // The payload of the response recorded for uri at offset (the first such record there),
  // kept in out up to limit. decodedOffset: where its head starts in the uncompressed data,
  // when known.
  bool Payload(const std::string& uri, std::uint64_t offset, std::optional<std::uint64_t> decodedOffset,
               std::size_t limit, std::string& out, std::string& error) {
    if (fd_ < 0 && (fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
      error = std::strerror(errno);
      return false;
    }
    // A frame is scanned again as a page of its own, right after it was read as a frame.
    if (decodedOffset && last_ && last_->uri == uri && last_->offset == offset &&
        last_->decodedOffset == *decodedOffset && last_->limit == limit) {
      out = last_->body;
      return true;
    }
    last_.reset();
    const TWarcAccessPoint* point =
        points_ && decodedOffset ? points_->Before(offset, *decodedOffset) : nullptr;
    const bool goOn = reader_ && decodedOffset && readerMember_ == offset && readerLast_ < *decodedOffset &&
                      (!point || point->decodedOffset <= readerLast_);
    if (!goOn) {
      reader_.reset();
      // A record-gzipped or plain file starts a record at its offset.
      if (::lseek(fd_, static_cast<off_t>(point ? point->FirstByte() : offset), SEEK_SET) < 0) {
        error = std::strerror(errno);
        return false;
      }
      reader_ = std::make_unique<TWarcReader>(TWarcReader::FileSource(fd_));
      if (point) reader_->StartAt(*point, *decodedOffset);
      readerMember_ = offset;
      // Decoded offsets are the file's own only when reading began at its start or at a point.
      keep_ = decodedOffset && (point || offset == 0);
    }
    const bool ok = read(uri, (point || goOn) ? decodedOffset : std::nullopt, limit, out, error);
    if (!ok || !keep_) reader_.reset();
    if (ok && decodedOffset) last_ = Last{uri, offset, *decodedOffset, limit, out};
    return ok;
  }

 private:
  bool read(const std::string& uri, std::optional<std::uint64_t> at, std::size_t limit, std::string& out,
            std::string& error) {
    TWarcReader& reader = *reader_;
    TWarcRecord record;
    TWarcDamage damage;
    for (;;) {
      const TWarcReader::Step step = reader.Next(record, damage);
      if (step == TWarcReader::Step::End) break;
      if (at) {
        // We know where the record is: nothing met on the way may be damaged or pass it.
        if (step == TWarcReader::Step::Damaged) {
          error = damage.reason;
          return false;
        }
        if (record.decodedOffset < *at) continue;
        if (record.decodedOffset > *at) break;
      }
      if (step == TWarcReader::Step::Damaged) continue;
      if (record.type != "response" || record.targetUri != uri || !record.IsHttpResponse()) continue;
      readerLast_ = record.decodedOffset;
      const TWarcPayloadResult r = reader.ReadPayload(out, limit);
      if (!r.complete && !r.cut) {
        error = r.error.empty() ? "the recorded page cannot be read" : r.error;
        return false;
      }
      return true;
    }
    error = "the recorded page is gone from the archive";
    return false;
  }

  std::string path_;
  const TWarcAccessPoints* points_;
  int fd_ = -1;
  std::unique_ptr<TWarcReader> reader_;
  std::uint64_t readerMember_ = 0;
  std::uint64_t readerLast_ = 0;
  bool keep_ = false;
  struct Last {
    std::string uri;
    std::uint64_t offset, decodedOffset;
    std::size_t limit;
    std::string body;
  };
  std::optional<Last> last_;
};

}  // namespace

bool ScanWarc(const std::string& path, const WarcScanLimits& limits, const ItemFound& found,
              const Problem& problem, const WarcSaving& saving) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem(path, std::string("cannot read the archive: ") + std::strerror(errno));
    return false;
  }
  // First pass: what the archive holds (successful HTTP responses by URI, first one wins).
  std::unordered_map<std::string, Recorded> byUri;
  std::vector<std::string> pages;  // HTML pages in archive order
  TWarcAccessPoints points(limits.accessPointSpacing);
  {
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    TWarcReader reader(TWarcReader::FileSource(fd));
    reader.KeepAccessPoints(&points);
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
      if (byUri.emplace(record.targetUri, Recorded{record.offset, record.decodedOffset, html}).second &&
          html) {
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
        const std::string target = saving.target ? saving.target(item) : std::string();
        if (!target.empty()) {
          std::string error;
          const bool saved = SaveStreamAs(
              target,
              [&](const ByteSink& sink, std::string& why) {
                std::int64_t kept = 0;
                bool tooLarge = false;
                const TWarcPayloadResult r = reader.StreamPayload([&](const char* data, std::size_t n) {
                  kept += static_cast<std::int64_t>(n);
                  if (kept > limits.movieBytes) tooLarge = true;
                  return !tooLarge && sink(data, n);
                });
                if (tooLarge) {
                  why = "the movie is larger than " + std::to_string(limits.movieBytes) +
                        " bytes, the most a download saves";
                } else if (!r.complete) {
                  why = r.error.empty() ? "the recorded movie cannot be written" : r.error;
                }
                if (r.recordDamaged) problem(path + "@" + std::to_string(record.offset), r.error);
                return r.complete;
              },
              error);
          if (saving.done) saving.done(item, saved, error);
        }
      }
    }
  }
  // Then every page as the window scans one: each pass's pages make one text, whose links and
  // frames are resolved against the page scanned; its frames come from the archive.
  Archive archive(path, &points);
  for (const std::string& page : pages) {
    std::unordered_set<std::string> fetched;
    std::vector<std::string> fetchList{page};
    for (int number = 1; !fetchList.empty(); ++number) {
      std::vector<std::string> pass;
      for (std::string& address : fetchList) {
        if (address.empty() || fetched.count(address)) continue;
        if (static_cast<int>(fetched.size()) >= limits.maxPages) {
          problem(page,
                  "stopped after " + std::to_string(limits.maxPages) + " pages, the most one scan fetches");
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
        } else if (!archive.Payload(address, at->second.offset, at->second.decodedOffset, limits.maxPageBytes,
                                    body, error)) {
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
