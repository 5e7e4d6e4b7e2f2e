#include "cli/WarcScan.h"

#include <QScopeGuard>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "detect/ItemSink.h"
#include "base/http/HttpHead.h"
#include "detect/LinkExtractor.h"
#include "platform/AtomicFile.h"
#include "sources/cache/CachedResponse.h"
#include "sources/warc/WarcReader.h"
#include "base/TextUtils.h"

namespace tavimo::cli {

namespace {

struct Recorded {
  std::uint64_t offset;
  std::uint64_t decodedOffset;
  bool html;
};

// Payloads read lately, up to a byte bound, the oldest leaving first: the pages of a site share
// their frames (a menu, a banner), and a frame is scanned again as a page of its own soon after
// it was read; in a file gzipped whole each new read may cost inflating from an access point.
class KeptRecords {
 public:
  explicit KeptRecords(std::size_t bound) : bound_(bound) {}
  // The payload kept for uri at decodedOffset, up to limit; false when it is not kept whole
  // enough (a body kept cut at a smaller limit).
  bool Find(const std::string& uri, std::uint64_t decodedOffset, std::size_t limit, std::string& out) const {
    const auto at = byUri_.find(uri);
    if (at == byUri_.end() || at->second.decodedOffset != decodedOffset) return false;
    const Kept& k = at->second;
    if (k.body.size() >= k.limit && limit > k.limit) return false;  // may have been cut
    out.assign(k.body, 0, std::min(limit, k.body.size()));
    return true;
  }
  void Keep(const std::string& uri, std::uint64_t decodedOffset, std::size_t limit, const std::string& body) {
    if (body.size() > bound_) return;
    const auto at = byUri_.find(uri);
    if (at != byUri_.end()) {
      bytes_ -= at->second.body.size();
      at->second = Kept{decodedOffset, limit, body};
      bytes_ += body.size();
    } else {
      byUri_.emplace(uri, Kept{decodedOffset, limit, body});
      order_.push_back(uri);
      bytes_ += body.size();
    }
    while (bytes_ > bound_ && !order_.empty()) {
      const auto old = byUri_.find(order_.front());
      bytes_ -= old->second.body.size();
      byUri_.erase(old);
      order_.pop_front();
    }
  }

 private:
  struct Kept {
    std::uint64_t decodedOffset;
    std::size_t limit;
    std::string body;
  };
  std::size_t bound_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::string, Kept> byUri_;
  std::deque<std::string> order_;
};

// Reads recorded payloads by offset. In a file gzipped whole every record has offset 0 (its one
// member): the reader of the last look-up is kept and goes on forward when the next record lies
// ahead of it with no access point in between (pages are looked up in archive order, a frame
// mostly soon after its page); otherwise a reader starts at the nearest access point before it.
class Archive {
 public:
  Archive(std::string path, const TWarcAccessPoints* points, KeptRecords& kept)
      : path_(std::move(path)), points_(points), kept_(kept) {}
  ~Archive() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Bytes inflated by this archive's readers so far.
  std::uint64_t InflatedBytes() const { return inflated_ + (reader_ ? reader_->InflatedBytes() : 0); }
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
    if (decodedOffset && kept_.Find(uri, *decodedOffset, limit, out)) return true;
    const TWarcAccessPoint* point =
        points_ && decodedOffset ? points_->Before(offset, *decodedOffset) : nullptr;
    // Starting again at a point inflates a whole step (TWarcStream::kStep) at least, and the
    // reader has inflated about that much ahead of its last record: a point only a little ahead
    // of it would cost more than going on.
    const bool goOn = reader_ && decodedOffset && readerMember_ == offset && readerLast_ < *decodedOffset &&
                      (!point || point->decodedOffset <= readerLast_ + 2 * TWarcStream::kStep);
    if (!goOn) {
      dropReader();
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
    if (!ok || !keep_) dropReader();
    if (ok && decodedOffset) kept_.Keep(uri, *decodedOffset, limit, out);
    return ok;
  }

 private:
  void dropReader() {
    if (reader_) inflated_ += reader_->InflatedBytes();
    reader_.reset();
  }

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
  std::uint64_t inflated_ = 0;
  KeptRecords& kept_;
};

}  // namespace

bool ScanWarc(const std::string& path, const WarcScanLimits& limits, const ItemFound& found,
              const Problem& problem, const WarcSaving& saving, WarcScanStats* stats) {
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
    const auto closer = qScopeGuard([fd] { ::close(fd); });
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
      const std::string type = AsciiLowerCopy(HttpHeaderValue(record.httpHead, "Content-Type"));
      const std::string cut = record.targetUri.substr(0, record.targetUri.find('?'));
      const bool html = type.rfind("text/html", 0) == 0 || type.rfind("application/xhtml", 0) == 0;
      if (byUri.emplace(record.targetUri, Recorded{record.offset, record.decodedOffset, html}).second &&
          html) {
        pages.push_back(record.targetUri);
      }
      if (cut.ends_with(".swf") || type.rfind("application/x-shockwave-flash", 0) == 0) {
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
          if (saving.done) saving.done(item, target, saved, error);
        }
      }
    }
    if (stats) stats->inflatedBytes += reader.InflatedBytes();
  }
  // Then every page as the window scans one: each pass's pages make one text, whose links and
  // frames are resolved against the page scanned; its frames come from the archive. In a file
  // gzipped whole, reaching a record behind the reader means inflating again from an access
  // point, up to accessPointSpacing bytes: so the pages, which come in archive order, have a
  // reader of their own that only goes forward (the whole archive once in all), and a pass's
  // frames are read in archive order by another (one forward run per pass, not one from a
  // point per frame); what they read lately is kept for the next pages (limits.maxScanBytes).
  KeptRecords kept(limits.maxScanBytes);
  Archive pagesArchive(path, &points, kept), framesArchive(path, &points, kept);
  for (const std::string& page : pages) {
    std::unordered_set<std::string> fetched;
    std::vector<std::string> fetchList{page};
    std::size_t scanBytes = 0;  // page bytes kept by this page's scan, every pass
    bool bytesBoundHit = false;
    for (int number = 1; !fetchList.empty() && !bytesBoundHit; ++number) {
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
      std::vector<std::size_t> order(pass.size());
      for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
      auto where = [&](std::size_t k) {
        const auto at = byUri.find(pass[k]);
        return at == byUri.end() ? std::uint64_t{0} : at->second.decodedOffset;
      };
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return where(a) < where(b); });
      std::vector<std::string> bodies(pass.size());
      for (const std::size_t k : order) {
        if (bytesBoundHit) break;
        const std::string& address = pass[k];
        const auto at = byUri.find(address);
        std::string error;
        Archive& archive = number == 1 ? pagesArchive : framesArchive;
        if (at == byUri.end()) {
          problem(page, address + " is not in the archive");
        } else if (!archive.Payload(address, at->second.offset, at->second.decodedOffset,
                                    std::min(limits.maxPageBytes, limits.maxScanBytes - scanBytes), bodies[k],
                                    error)) {
          problem(page, address + ": " + error);
        }
        scanBytes += bodies[k].size();
        bytesBoundHit = scanBytes >= limits.maxScanBytes;  // what follows would pass it
      }
      std::string text;
      for (std::string& body : bodies) {
        text += body;
        std::string().swap(body);
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
    if (bytesBoundHit) {
      problem(page, "stopped after " + std::to_string(limits.maxScanBytes) +
                        " bytes of pages, the most one scan keeps");
    }
  }
  if (stats) stats->inflatedBytes += pagesArchive.InflatedBytes() + framesArchive.InflatedBytes();
  return true;
}

}  // namespace tavimo::cli
