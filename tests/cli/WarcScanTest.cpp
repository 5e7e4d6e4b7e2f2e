#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/WarcScan.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo::cli {
namespace {

std::string Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>('a' + rng() % 26);  // text, but not much to squeeze
  return s;
}

std::string Movie(int k) { return "FWS" + Random(9000, 100 + static_cast<unsigned>(k)); }

std::string Response(const std::string& uri, const std::string& type, const std::string& body) {
  const std::string http = test::TestServer::Response(200, body, "Content-Type: " + type + "\r\n");
  return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
         "\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: " +
         std::to_string(http.size()) + "\r\n\r\n" + http + "\r\n\r\n";
}

constexpr int kPages = 40;
int FrameOf(int page) { return (page * 17 + 5) % kPages; }

// Pages, movies and frames interleaved so that a page's frame lies far before or after it.
std::vector<std::string> Records() {
  std::vector<std::string> records;
  for (int k = 0; k < kPages; ++k) {
    const std::string n = std::to_string(k), f = std::to_string(FrameOf(k)),
                      j = std::to_string(kPages - 1 - k);
    records.push_back(
        Response("http://s/p" + n + ".htm", "text/html",
                 "<html><iframe src=\"/f" + f + ".htm\"></iframe> \"p" + n + ".swf\"" + Random(20000, k)));
    records.push_back(Response("http://s/m" + n + ".swf", "application/x-shockwave-flash", Movie(k)));
    records.push_back(Response("http://s/f" + j + ".htm", "text/html",
                               "<html>\"f" + j + ".swf\"" + Random(15000, 200 + k)));
  }
  return records;
}

struct Scanned {
  std::vector<std::string> items;  // "page pass source url name"
  std::vector<std::string> problems;
  std::vector<std::string> saves;  // "name saved" or "name: error"
  bool opened = false;
};

// saveTo: the folder the movies are saved in as the scan passes them ("" : none).
Scanned Scan(const std::string& path, std::uint64_t spacing, const std::string& saveTo = "",
             WarcScanLimits limits = {}, WarcScanStats* stats = nullptr) {
  Scanned s;
  limits.accessPointSpacing = spacing;
  WarcSaving saving;
  if (!saveTo.empty()) {
    saving.target = [&](const FoundItem& i) { return saveTo + "/" + i.name; };
    saving.done = [&](const FoundItem& i, const std::string&, bool saved, const std::string& error) {
      s.saves.push_back(i.name + (saved ? " saved" : ": " + error));
    };
  }
  s.opened = ScanWarc(
      path, limits,
      [&](const FoundItem& i) {
        s.items.push_back(i.page + " " + std::to_string(i.pass) + " " + i.source + " " + i.url + " " +
                          i.name);
      },
      [&](const std::string& where, const std::string& why) {
        s.problems.push_back(where.substr(where.find('@') == std::string::npos ? 0 : where.find('@')) + ": " +
                             why);
      },
      saving, stats);
  return s;
}

enum class Packing { Plain, PerRecord, Whole };
std::string Pack(Packing packing) {
  std::string file;
  for (const std::string& r : Records()) file += packing == Packing::PerRecord ? test::Gzip(r) : r;
  return packing == Packing::Whole ? test::Gzip(file) : file;
}

// Every packing lists the same items as the plain file, whichever way its records are reached.
TEST(WarcScan, EveryPackingListsTheSameItems) {
  test::TempDir dir;
  test::WriteFile(dir / "plain.warc", Pack(Packing::Plain));
  const Scanned plain = Scan(dir / "plain.warc", TWarcAccessPoints::kDefaultSpacing);
  ASSERT_TRUE(plain.opened);
  EXPECT_TRUE(plain.problems.empty()) << ::testing::PrintToString(plain.problems);
  for (int k = 0; k < kPages; ++k) {  // each page's frame was found in the archive
    const std::string page = "http://s/p" + std::to_string(k) + ".htm", f = std::to_string(FrameOf(k));
    EXPECT_NE(std::find(plain.items.begin(), plain.items.end(),
                        page + " 2 page http://s/f" + f + ".swf f" + f + ".swf"),
              plain.items.end())
        << page;
  }
  const struct {
    const char* name;
    Packing packing;
    std::uint64_t spacing;
  } rows[] = {
      {"record-gzipped", Packing::PerRecord, TWarcAccessPoints::kDefaultSpacing},
      {"gzipped whole", Packing::Whole, TWarcAccessPoints::kDefaultSpacing},
      {"gzipped whole, a point every 8 KiB", Packing::Whole, 8 << 10},
      {"gzipped whole, a point every 100 KiB", Packing::Whole, 100 << 10},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::WriteFile(dir / "packed.warc.gz", Pack(row.packing));
    const std::string saved = dir / row.name;
    std::filesystem::create_directories(saved);
    const Scanned packed = Scan(dir / "packed.warc.gz", row.spacing, saved);
    EXPECT_TRUE(packed.opened);
    EXPECT_TRUE(packed.problems.empty()) << ::testing::PrintToString(packed.problems);
    EXPECT_EQ(packed.items, plain.items);
    ASSERT_EQ(packed.saves.size(), static_cast<std::size_t>(kPages));
    for (int k = 0; k < kPages; ++k) {
      const std::string name = "m" + std::to_string(k) + ".swf";
      EXPECT_EQ(packed.saves[k], name + " saved");
      EXPECT_EQ(test::ReadFile(saved + "/" + name), Movie(k)) << name;
    }
  }
}

// A damaged whole-gzip archive: the damage is reported, what comes before it is listed, and the
// scan ends.
TEST(WarcScan, DamagedWholeGzipIsReported) {
  const std::string whole = Pack(Packing::Whole);
  const struct {
    const char* name;
    std::string file;
    const char* reason;  // in the first report
  } rows[] = {
      {"cut", whole.substr(0, whole.size() * 6 / 10), "the gzip member is cut short"},
      {"ends inside a movie",
       [] {
         std::string records;
         for (const std::string& r : Records()) records += r;
         return test::Gzip(records.substr(0, records.find(Movie(20)) + 4000));
       }(),
       "the file ends inside the record's block"},
      // Garbage may inflate to something: then the records it makes are damage, and the CRC
      // fails at the end.
      {"garbled",
       [&] {
         std::string f = whole;
         for (std::size_t k = 0; k < 3000; ++k) f[f.size() / 2 + k] = static_cast<char>(k * 13);
         return f;
       }(),
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const std::uint64_t spacing : {TWarcAccessPoints::kDefaultSpacing, std::uint64_t{8} << 10}) {
      test::TempDir dir;
      test::WriteFile(dir / "a.warc.gz", row.file);
      const Scanned s = Scan(dir / "a.warc.gz", spacing);
      EXPECT_TRUE(s.opened);
      // Saving the movies on the way changes nothing of what is reported.
      const Scanned saving = Scan(dir / "a.warc.gz", spacing, dir.Path());
      EXPECT_EQ(saving.items, s.items);
      EXPECT_EQ(saving.problems, s.problems);
      ASSERT_FALSE(s.problems.empty());
      EXPECT_NE(s.problems[0].find(row.reason), std::string::npos) << s.problems[0];
      EXPECT_NE(std::find(s.items.begin(), s.items.end(), "http://s/p0.htm 1 page http://s/p0.swf p0.swf"),
                s.items.end());
    }
  }
}

// A saved movie never passes the movie limit once its content coding is undone: a small record
// that inflates past it fails with the reason and leaves the earlier file, whatever the packing.
TEST(WarcScan, TheMovieLimitBoundsWhatIsSaved) {
  const auto record = [](const std::string& uri, const std::string& http) {
    return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
           "\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: " +
           std::to_string(http.size()) + "\r\n\r\n" + http + "\r\n\r\n";
  };
  const std::string zeros(300000, '\0');
  const std::string swf = "Content-Type: application/x-shockwave-flash\r\n";
  const std::string file =
      record("http://s/small.swf", test::TestServer::Response(200, Movie(1), swf)) +
      record("http://s/bomb.swf", test::Encoded(zeros, "gzip")) +
      record("http://s/chunks.swf", test::Chunked(Random(20000, 7), 4000)) +
      record("http://s/exact.swf", test::TestServer::Response(200, Random(10000, 8), swf));
  for (const bool whole : {false, true}) {
    SCOPED_TRACE(whole ? "gzipped whole" : "plain");
    test::TempDir dir;
    test::WriteFile(dir / "a.warc", whole ? test::Gzip(file) : file);
    test::WriteFile(dir / "bomb.swf", "earlier");
    WarcScanLimits limits;
    limits.movieBytes = 10000;
    const Scanned s = Scan(dir / "a.warc", TWarcAccessPoints::kDefaultSpacing, dir.Path(), limits);
    const std::string refused = ": the movie is larger than 10000 bytes, the most a download saves";
    EXPECT_EQ(s.saves, (std::vector<std::string>{"small.swf saved", "bomb.swf" + refused,
                                                 "chunks.swf" + refused, "exact.swf saved"}));
    EXPECT_TRUE(s.problems.empty());
    EXPECT_EQ(test::ReadFile(dir / "bomb.swf"), "earlier");
    EXPECT_FALSE(std::filesystem::exists(dir / "chunks.swf"));
    EXPECT_EQ(std::filesystem::file_size(dir / "exact.swf"), 10000u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 4u);  // the archive, bomb.swf, small.swf, exact.swf
  }
}

// Reaching frames in an archive gzipped whole costs a bounded amount of inflating in all: a few
// times the archive's own data, however the pages list their frames, not one run from an access
// point per frame (which grows with pages x frames x the spacing).
TEST(WarcScan, FramesOfAWholeGzipArchiveAreReachedWithoutInflatingItAgainPerFrame) {
  constexpr int kSitePages = 40, kFrames = 12;
  auto html = [](const std::string& uri, const std::string& text, unsigned seed) {
    return Response(uri, "text/html", "<html>" + text + Random(900, seed));
  };
  auto framesOf = [](const std::string& prefix) {
    std::string text;
    for (int j = kFrames - 1; j >= 0; --j) text += "<iframe src=\"" + prefix + std::to_string(j) + ".htm\">";
    return text;  // listed backwards: against the archive's order
  };
  const struct {
    const char* name;
    std::string records;
  } rows[] = {
      {"one set of frames shared by every page, recorded first",
       [&] {
         std::string r;
         for (int j = 0; j < kFrames; ++j)
           r += html("http://t/f" + std::to_string(j) + ".htm", "\"f.swf\"", j);
         for (int k = 0; k < kSitePages; ++k)
           r += html("http://t/p" + std::to_string(k) + ".htm", framesOf("f"), 100 + k);
         return r;
       }()},
      {"each page's own frames recorded after it",
       [&] {
         std::string r;
         for (int k = 0; k < kSitePages; ++k) {
           const std::string n = std::to_string(k);
           r += html("http://t/p" + n + ".htm", framesOf("p" + n + "f"), 100 + k);
           for (int j = 0; j < kFrames; ++j)
             r += html("http://t/p" + n + "f" + std::to_string(j) + ".htm", "\"f.swf\"",
                       1000 + k * kFrames + j);
         }
         return r;
       }()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    test::WriteFile(dir / "plain.warc", row.records);
    test::WriteFile(dir / "whole.warc.gz", test::Gzip(row.records));
    const std::uint64_t spacing = 16 << 10;
    const Scanned plain = Scan(dir / "plain.warc", spacing);
    WarcScanStats stats;
    const Scanned whole = Scan(dir / "whole.warc.gz", spacing, "", {}, &stats);
    EXPECT_TRUE(whole.problems.empty()) << ::testing::PrintToString(whole.problems);
    EXPECT_EQ(whole.items, plain.items);
    EXPECT_GE(whole.items.size(), static_cast<std::size_t>(kSitePages));
    // Once to list the records, once for the pages, once more at most for the frames.
    EXPECT_LE(stats.inflatedBytes, 3 * row.records.size() + spacing) << row.records.size();
  }
}

// The pages of one scan are bounded as a whole: the bound stops the scan and is said.
TEST(WarcScan, ThePagesOfOneScanAreBoundedAsAWhole) {
  std::string records, frames;
  for (int j = 0; j < 30; ++j) {
    const std::string n = std::to_string(j);
    frames += "<iframe src=\"f" + n + ".htm\">";
    records += Response("http://t/f" + n + ".htm", "text/html", "\"f" + n + ".swf\"" + Random(1000, j));
  }
  records = Response("http://t/p.htm", "text/html", frames) + records;
  test::TempDir dir;
  test::WriteFile(dir / "a.warc.gz", test::Gzip(records));
  WarcScanLimits limits;
  limits.maxScanBytes = 5000;
  const Scanned s = Scan(dir / "a.warc.gz", TWarcAccessPoints::kDefaultSpacing, "", limits);
  std::size_t fromFrames = 0;
  for (const std::string& item : s.items) fromFrames += item.rfind("http://t/p.htm 2 ", 0) == 0;
  EXPECT_GE(fromFrames, 3u);
  EXPECT_LE(fromFrames, 5u);
  EXPECT_NE(std::find(s.problems.begin(), s.problems.end(),
                      "http://t/p.htm: stopped after 5000 bytes of pages, the most one scan keeps"),
            s.problems.end())
      << ::testing::PrintToString(s.problems);
}

}  // namespace
}  // namespace tavimo::cli
