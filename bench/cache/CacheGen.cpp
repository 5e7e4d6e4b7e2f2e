// Writes the browser caches the cache benchmarks walk, as a home's XDG_CACHE_HOME.
//
//   bench_cache_gen store <cache home> <entries per browser>
//     A Chromium profile (chromium/Default/Cache/Cache_Data) and a Firefox profile
//     (mozilla/firefox/bench.default-release/cache2/entries) with that many entries each: bodies
//     of 0.5 to 6 KB, one entry in 20 a .swf (some with a query), one in 40 gzip-encoded, one
//     in 50 a redirect or an error answer, spread over a few hundred hosts; and one more
//     Chromium entry, https://www.example.com/movies/known.swf. One write per file.
//   bench_cache_gen huge <cache home> <store cache home>
//     The same profiles (links to the store's) plus a "Huge" profile of each browser holding
//     .swf entries of 1 GiB and 512 MiB (Chromium) and 512 MiB (Firefox): sparse files, only
//     their heads and tails are written, so 2 GiB of bodies take no disk.
//   bench_cache_gen planted <cache home> <store cache home>
//     The store's profiles (links) plus a "Planted" Chromium profile of 1,000 script entries
//     whose deflate-encoded bodies (about 1 MB each) inflate to 1 GiB: one entry file and 999
//     hard links to it under other entry names, so they take 1 MB of disk.
// All write "<cache home>/complete" (the layout's version) last, so a run cut short, or caches
// of an older layout, are generated again.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sources/cache/CacheHash.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/FirefoxEntryWriter.h"

namespace fs = std::filesystem;
using namespace tavimo::test;

namespace {

constexpr const char* kChromiumProfile = "chromium/Default/Cache/Cache_Data";
constexpr const char* kFirefoxProfile = "mozilla/firefox/bench.default-release/cache2/entries";
constexpr std::int64_t kNow = 1796629119;  // the entries' fetch time
constexpr const char* kKnownUrl = "https://www.example.com/movies/known.swf";
// The generated caches' layout; run.sh regenerates caches of another version.
constexpr const char* kVersion = "2";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_cache_gen: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

std::string Gzip(const std::string& text) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) Fail("deflateInit2");
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) Fail("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Kind {
  const char* extension;
  const char* type;
};
constexpr Kind kKinds[] = {{"js", "application/javascript"},
                           {"css", "text/css"},
                           {"png", "image/png"},
                           {"jpg", "image/jpeg"},
                           {"woff2", "font/woff2"},
                           {"json", "application/json"},
                           {"html", "text/html"},
                           {"gif", "image/gif"}};

// One cached response of the mix.
struct Response {
  std::string url;
  std::string head;
  std::string body;
};

class Mix {
 public:
  Mix() : random_(20240611) {
    pool_.resize(1 << 20);
    for (char& c : pool_) c = static_cast<char>(random_());
    // Text bodies of a few KB once compressed.
    for (int i = 0; i < 8; ++i) {
      std::string text;
      while (text.size() < 24000)
        text += "function f" + std::to_string(random_() % 1000) + "(a,b){return a+b*" + std::to_string(i) +
                ";}\n";
      gzipped_.push_back(Gzip(text));
    }
  }

  Response Next(std::uint64_t n) {
    Response r;
    const std::uint64_t host = random_() % 300;
    const std::string site = "https://" + std::string(host % 3 ? "cdn" : "www") + std::to_string(host) +
                             ".example" + std::to_string(host % 17) + ".com";
    const bool swf = n % 20 == 7;
    const Kind& kind = kKinds[random_() % std::size(kKinds)];
    r.url = site + "/assets/" + std::to_string(n % 97) + "/file" + std::to_string(n) + "." +
            (swf ? "swf" : kind.extension);
    if (swf ? n % 3 == 0 : n % 4 == 0) r.url += "?v=" + std::to_string(random_() % 100000);
    const bool gzip = !swf && n % 40 == 3;
    if (gzip) {
      r.body = gzipped_[n % gzipped_.size()];
    } else {
      const std::size_t size = 512 + random_() % (6 * 1024 - 512);
      r.body = pool_.substr(random_() % (pool_.size() - size), size);
    }
    std::string status = "HTTP/1.1 200 OK\r\n";
    if (n % 50 == 11) status = "HTTP/1.1 404 Not Found\r\n";
    if (n % 50 == 29) {
      status = "HTTP/1.1 301 Moved Permanently\r\nLocation: " + site + "/moved\r\n";
      r.body.clear();
    }
    r.head = status + "Date: Mon, 07 Dec 2026 07:38:39 GMT\r\nContent-Type: " +
             (swf ? std::string("application/x-shockwave-flash") : kind.type) +
             "\r\nContent-Length: " + std::to_string(r.body.size()) + "\r\n" +
             (gzip ? "Content-Encoding: gzip\r\n" : "") +
             "Cache-Control: public, max-age=86400\r\nLast-Modified: Sun, 01 Nov 2026 10:00:00 GMT\r\n";
    return r;
  }

 private:
  std::mt19937_64 random_;
  std::string pool_;
  std::vector<std::string> gzipped_;
};

void WriteWhole(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail(path);
  ::close(fd);
}

void MakeFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec) Fail("cannot create " + path);
}

void Store(const std::string& home, std::uint64_t perBrowser) {
  const std::string chromium = home + "/" + kChromiumProfile;
  const std::string firefox = home + "/" + kFirefoxProfile;
  MakeFolders(chromium);
  MakeFolders(firefox);
  MakeFolders(chromium + "/index-dir");
  MakeFolders(firefox + "/../doomed");
  // The browsers' own bookkeeping beside the entries (not read by Tavimo).
  WriteWhole(chromium + "/index", std::string(24, '\0'));
  WriteWhole(chromium + "/index-dir/the-real-index", std::string(4096, '\0'));
  WriteWhole(firefox + "/../index", std::string(4096, '\0'));

  Mix mix;
  for (std::uint64_t n = 0; n < perBrowser; ++n) {
    Response r = mix.Next(n);
    ChromiumEntry e;
    e.url = std::move(r.url);
    e.head = std::move(r.head);
    e.body = std::move(r.body);
    e.requestTime = kNow - 2;
    e.responseTime = kNow - 1;
    if (WriteChromiumEntry(chromium, e).empty()) Fail("chromium entry " + std::to_string(n));
  }
  // One entry the lookup benchmark asks for by its URL.
  ChromiumEntry known;
  known.url = kKnownUrl;
  known.body = "FWS";
  known.head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\nContent-Length: 3\r\n";
  known.requestTime = kNow - 2;
  known.responseTime = kNow - 1;
  if (WriteChromiumEntry(chromium, known).empty()) Fail("chromium entry " + known.url);
  for (std::uint64_t n = 0; n < perBrowser; ++n) {
    Response r = mix.Next(n + perBrowser);
    FirefoxEntry e;
    e.tags = "O^partitionKey=%28https%2Cexample.com%29,a,";
    e.url = std::move(r.url);
    e.head = std::move(r.head);
    e.body = std::move(r.body);
    e.elements = {{"request-method", "GET"},
                  {"net-response-time-onstart", "12"},
                  {"net-response-time-onstop", "13"}};
    e.fetchCount = static_cast<std::uint32_t>(1 + n % 5);
    e.lastFetched = e.lastModified = static_cast<std::uint32_t>(kNow);
    e.expiration = static_cast<std::uint32_t>(kNow + 86400);
    if (WriteFirefoxEntry(firefox, e).empty()) Fail("firefox entry " + std::to_string(n));
  }
}

// The CRC-32 of n zero bytes (n a multiple of 1 MiB), by doubling.
std::uint32_t ZeroCrc(std::uint64_t n) {
  const std::string mib(1 << 20, '\0');
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(mib.data()), static_cast<uInt>(mib.size()));
  uLong total = 0;
  bool any = false;
  std::uint64_t blocks = n >> 20;
  for (std::uint64_t len = 1 << 20; blocks; blocks >>= 1) {
    if (blocks & 1) {
      total = any ? crc32_combine(total, crc, static_cast<z_off_t>(len)) : crc;
      any = true;
    }
    crc = crc32_combine(crc, crc, static_cast<z_off_t>(len));
    len <<= 1;
  }
  return static_cast<std::uint32_t>(total);
}

// A file of `size` bytes whose middle was never written (a hole).
void WriteSparse(const std::string& path, const std::string& head, std::uint64_t holeEnd,
                 const std::string& tail) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::pwrite(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
      ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(holeEnd)) !=
          static_cast<ssize_t>(tail.size())) {
    Fail(path);
  }
  ::close(fd);
}

std::string SwfHead(std::uint64_t size) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\nContent-Length: " +
         std::to_string(size) + "\r\nCache-Control: max-age=86400\r\n";
}

// <home>/chromium/Default -> the store's profile folder, and the same for Firefox.
void LinkStoreProfiles(const std::string& home, const std::string& store) {
  for (const char* profile : {kChromiumProfile, kFirefoxProfile}) {
    const fs::path inStore = fs::path(store) / profile;
    const fs::path profileDir = inStore.parent_path().parent_path();
    const fs::path link = fs::path(home) / fs::relative(profileDir, store);
    MakeFolders(link.parent_path().string());
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(fs::absolute(profileDir), link, ec);
    if (ec) Fail("cannot link " + link.string());
  }
}

void Huge(const std::string& home, const std::string& store) {
  LinkStoreProfiles(home, store);
  const std::string chromium = home + "/chromium/Huge/Cache/Cache_Data";
  const std::string firefox = home + "/mozilla/firefox/huge.default-release/cache2/entries";
  MakeFolders(chromium);
  MakeFolders(firefox);

  int n = 0;
  for (std::uint64_t size : {std::uint64_t(1) << 30, std::uint64_t(512) << 20}) {
    ChromiumEntry e;
    e.url = "https://huge.example.com/movies/big" + std::to_string(n++) + ".swf";
    e.head = SwfHead(size);
    e.requestTime = kNow - 2;
    e.responseTime = kNow - 1;
    const std::string head = ChromiumEntryHead(e);
    WriteSparse(chromium + "/" + ChromiumEntryFileName(ChromiumKeyFor(e.url)), head, head.size() + size,
                ChromiumEntryTail(e, ZeroCrc(size)));
  }
  {
    const std::uint64_t size = std::uint64_t(512) << 20;
    FirefoxEntry e;
    e.url = "https://huge.example.com/movies/big" + std::to_string(n) + ".swf";
    e.head = SwfHead(size);
    const std::string zeroChunk(256 * 1024, '\0');
    const std::vector<std::uint16_t> hashes(size / zeroChunk.size(),
                                            tavimo::CacheHash16(zeroChunk.data(), zeroChunk.size()));
    std::string tail;
    AppendFirefoxEntryTail(tail, e, size, hashes);
    WriteSparse(firefox + "/" + FirefoxEntryFileName(e), {}, size, tail);
  }
}

// The deflate (zlib) stream of `size` zero bytes, made a block at a time.
std::string DeflatedZeros(std::uint64_t size, std::uint32_t& crc) {
  z_stream z{};
  if (deflateInit(&z, 9) != Z_OK) Fail("deflateInit");
  const std::string block(1 << 20, '\0');
  std::string out, buffer(1 << 16, '\0');
  uLong sum = crc32(0L, Z_NULL, 0);
  for (std::uint64_t done = 0; done < size; done += block.size()) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    const int flush = done + block.size() >= size ? Z_FINISH : Z_NO_FLUSH;
    int rc;
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      rc = deflate(&z, flush);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }
  deflateEnd(&z);
  sum = crc32(sum, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
  crc = static_cast<std::uint32_t>(sum);
  return out;
}

void Planted(const std::string& home, const std::string& store) {
  LinkStoreProfiles(home, store);
  const std::string chromium = home + "/chromium/Planted/Cache/Cache_Data";
  MakeFolders(chromium);
  std::uint32_t crc = 0;
  ChromiumEntry e;
  e.body = DeflatedZeros(std::uint64_t(1) << 30, crc);
  e.url = "https://ads.example.net/planted/bomb.js";
  e.head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/javascript\r\nContent-Encoding: deflate\r\n"
      "Content-Length: " +
      std::to_string(e.body.size()) + "\r\nCache-Control: max-age=86400\r\n";
  e.requestTime = kNow - 2;
  e.responseTime = kNow - 1;
  const std::string first = WriteChromiumEntry(chromium, e);
  if (first.empty()) Fail("planted entry");
  for (int i = 1; i < 1000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/%016llx_0",
                  0x5a5a000000000000ull + static_cast<unsigned long long>(i));
    if (::link(first.c_str(), (chromium + name).c_str()) != 0) Fail("link " + std::string(name));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: %s store <cache home> <entries per browser>\n"
                 "       %s huge <cache home> <store cache home>\n"
                 "       %s planted <cache home> <store cache home>\n",
                 argv[0], argv[0], argv[0]);
    return 2;
  }
  const std::string mode = argv[1], home = argv[2];
  std::error_code ec;
  fs::remove_all(home, ec);
  MakeFolders(home);
  if (mode == "store") {
    Store(home, std::strtoull(argv[3], nullptr, 10));
  } else if (mode == "huge") {
    Huge(home, argv[3]);
  } else if (mode == "planted") {
    Planted(home, argv[3]);
  } else {
    return 2;
  }
  WriteWhole(home + "/complete", kVersion);
  return 0;
}
