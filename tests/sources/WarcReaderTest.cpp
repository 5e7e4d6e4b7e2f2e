#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <vector>

#include "sources/warc/WarcAccessPoints.h"
#include "sources/warc/WarcReader.h"
#include "tests/support/HttpAnswers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

std::string Record(const std::string& type, const std::string& uri, const std::string& block,
                   const std::string& contentType = "application/http; msgtype=response",
                   const std::string& version = "WARC/1.1", long long declared = -1) {
  const std::string target = version == "WARC/1.0" && !uri.empty() ? "<" + uri + ">" : uri;
  return version + "\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + target +
         "\r\nWARC-Date: 2024-05-01T10:00:00Z\r\nWARC-Record-ID: <urn:uuid:" + type + uri +
         ">\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
         std::to_string(declared < 0 ? block.size() : static_cast<std::size_t>(declared)) + "\r\n\r\n" +
         block + "\r\n\r\n";
}
std::string Meta(const std::string& uri, const std::string& block) {
  return Record("metadata", uri, block, "application/warc-fields");
}

std::string Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// A header line added after an HTTP answer's status line.
std::string WithHeader(std::string answer, const std::string& line) {
  return answer.insert(answer.find("\r\n") + 2, line + "\r\n");
}

// What a scan sees: "R <uri> <status> <payload outcome>" or "D@<offset> <reason>".
std::vector<std::string> ReadAll(TWarcReader& reader, std::vector<std::string>* payloads = nullptr,
                                 std::size_t limit = TWarcReader::kDefaultPayloadLimit) {
  std::vector<std::string> seen;
  TWarcRecord r;
  TWarcDamage d;
  for (TWarcReader::Step step; (step = reader.Next(r, d)) != TWarcReader::Step::End;) {
    if (step == TWarcReader::Step::Damaged) {
      seen.push_back("D@" + std::to_string(d.offset) + " " + d.reason);
      continue;
    }
    std::string line = "R " + r.targetUri + " " + r.type + "@" + std::to_string(r.offset);
    if (r.httpBlock) {
      std::string body;
      const TWarcPayloadResult p = reader.ReadPayload(body, limit);
      line += " " + std::to_string(r.httpStatus) + (p.complete ? " whole" : p.cut ? " cut" : " ! " + p.error);
      if (payloads) payloads->push_back(body);
    }
    seen.push_back(line);
  }
  return seen;
}
std::vector<std::string> ReadAll(const std::string& bytes, std::vector<std::string>* payloads = nullptr,
                                 std::size_t limit = TWarcReader::kDefaultPayloadLimit) {
  TWarcReader reader(TWarcReader::MemorySource(bytes));
  return ReadAll(reader, payloads, limit);
}

// Each expected line is a prefix of the seen line, then (after "|") a part of the rest.
void ExpectEvents(const std::vector<std::string>& seen, const std::vector<std::string>& expected) {
  ASSERT_EQ(seen.size(), expected.size()) << ::testing::PrintToString(seen);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const std::size_t bar = expected[i].find('|');
    EXPECT_TRUE(seen[i].starts_with(expected[i].substr(0, bar)) &&
                (bar == std::string::npos || seen[i].find(expected[i].substr(bar + 1)) != std::string::npos))
        << "seen: " << seen[i] << "\nexpected: " << expected[i];
  }
}

// ---- every kind of file: the same records, plain and gzipped, WARC/1.0 and 1.1 ----

struct FormatCase {
  std::string name;
  std::string version;
  enum Packing { Plain, PerRecord, WholeFile } packing;
};

class WarcFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(WarcFormats, ReadsEveryRecordWithItsOffsetAndPayload) {
  const FormatCase& c = GetParam();
  const std::string page = "<html><embed src=\"a.swf\"></html>", a = Random(70000, 1),
                    b = "FWS" + Random(3000, 2);
  const std::string cBody = std::string(50000, 'x');
  const auto http = [&](const std::string& uri, const std::string& block) {
    return Record("response", uri, block, "application/http;msgtype=response", c.version);
  };
  const std::vector<std::string> records = {
      Record("warcinfo", "", "software: test\r\n", "application/warc-fields", c.version),
      Record("request", "http://h/p", "GET /p HTTP/1.1\r\nHost: h\r\n\r\n",
             "application/http;msgtype=request", c.version),
      http("http://h/p", test::TestServer::Response(200, page, "Content-Type: text/html\r\n")),
      http("http://h/a.swf", test::Chunked(a, 4000, "X-Trailer: 1\r\n")),
      http("http://h/b.swf", test::Encoded(b, "gzip")),
      http("http://h/c.swf", WithHeader(test::Chunked(test::Gzip(cBody), 333), "Content-Encoding: gzip")),
      http("http://h/gone", test::WithInterim(test::TestServer::Response(404, "no"), 2)),
      Record("revisit", "http://h/p", "HTTP/1.1 304 Not Modified\r\n\r\n",
             "application/http;msgtype=response", c.version),
      Record("metadata", "http://h/p", "outlinks: a.swf\r\n", "application/warc-fields", c.version),
      http("http://h/d.swf", test::Encoded(b, "deflate")),
  };
  std::string file;
  std::vector<std::uint64_t> offsets;
  for (const std::string& r : records) {
    offsets.push_back(c.packing == FormatCase::WholeFile ? 0 : file.size());
    file += c.packing == FormatCase::PerRecord ? test::Gzip(r) : r;
  }
  if (c.packing == FormatCase::WholeFile) file = test::Gzip(file);
  test::TempDir dir;
  test::WriteFile(dir / "a.warc", file);
  const int fd = ::open((dir / "a.warc").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  TWarcReader reader(TWarcReader::FileSource(fd));
  std::vector<std::string> payloads;
  const auto at = [&](int i) { return "@" + std::to_string(offsets[i]); };
  ExpectEvents(
      ReadAll(reader, &payloads),
      {"R  warcinfo" + at(0), "R http://h/p request" + at(1), "R http://h/p response" + at(2) + " 200 whole",
       "R http://h/a.swf response" + at(3) + " 200 whole", "R http://h/b.swf response" + at(4) + " 200 whole",
       "R http://h/c.swf response" + at(5) + " 200 whole", "R http://h/gone response" + at(6) + " 404 whole",
       "R http://h/p revisit" + at(7), "R http://h/p metadata" + at(8),
       "R http://h/d.swf response" + at(9) + " 200 whole"});
  ::close(fd);
  EXPECT_EQ(payloads, (std::vector<std::string>{page, a, b, cBody, "no", b}));
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(All, WarcFormats,
                         ::testing::Values(FormatCase{"Plain11", "WARC/1.1", FormatCase::Plain},
                                           FormatCase{"Plain10", "WARC/1.0", FormatCase::Plain},
                                           FormatCase{"RecordGzip11", "WARC/1.1", FormatCase::PerRecord},
                                           FormatCase{"RecordGzip10", "WARC/1.0", FormatCase::PerRecord},
                                           FormatCase{"WholeGzip", "WARC/1.1", FormatCase::WholeFile}),
                         [](const auto& p) { return p.param.name; });

TEST(WarcReader, KeepsTheHeadFieldsAndHttpHead) {
  const std::string file =
      Record("response", "http://h/x?a=1", "HTTP/1.1 200 OK\r\nServer: s\r\n\r\nbody") + Meta("m", "");
  TWarcReader reader(TWarcReader::MemorySource(file));
  TWarcRecord r;
  TWarcDamage d;
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record);
  EXPECT_EQ(r.version, "WARC/1.1");
  EXPECT_EQ(r.date, "2024-05-01T10:00:00Z");
  EXPECT_EQ(r.recordId, "<urn:uuid:responsehttp://h/x?a=1>");
  EXPECT_EQ(r.Field("content-length"), "34");
  EXPECT_EQ(r.httpHead, "HTTP/1.1 200 OK\r\nServer: s\r\n");
  std::string body;
  EXPECT_TRUE(reader.ReadPayload(body).complete);
  EXPECT_FALSE(reader.ReadPayload(body).error.empty()) << "a payload is read once";
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record);
  EXPECT_EQ(r.type, "metadata");
  EXPECT_FALSE(reader.ReadPayload(body).complete);
}

// ---- damaged files: each fault reported once, with its offset, and the next record read ----

struct DamageCase {
  std::string name;
  std::function<std::string()> file;
  std::vector<std::string> expected;
};

const std::string kA = Record("response", "/a", test::TestServer::Response(200, "aaaa"));
const std::string kB = Meta("/b", Random(20000, 3));
const std::string kC = Record("response", "/c", test::TestServer::Response(200, "cccc"));
const std::string kGzA = test::Gzip(kA);
const std::string kN = std::to_string(kA.size()), kGzN = std::to_string(kGzA.size());

std::string CrcBroken(std::string member) {
  member[member.size() - 8] ^= 0x55;
  return member;
}

class WarcDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(WarcDamage, IsReportedAndSkipped) { ExpectEvents(ReadAll(GetParam().file()), GetParam().expected); }

// Listed by its name, not as a dump of its bytes.
void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(
    All, WarcDamage,
    ::testing::Values(
        DamageCase{"GarbageBetweenRecords",
                   [] { return kA + "junk\r\nmore WARC/1.1 junk\r\n" + kC; },
                   {"R /a", "D@" + kN + " no WARC record starts here", "R /c"}},
        DamageCase{"LengthTooShort",
                   [] { return Record("metadata", "/a", "12345678", "text/plain", "WARC/1.1", 5) + kC; },
                   {"R /a", "D@0|not followed by CRLF CRLF", "R /c"}},
        DamageCase{"LengthTooLongEatsTheNextHead",
                   [] { return Record("metadata", "/a", "1234", "text/plain", "WARC/1.1", 14) + kB + kC; },
                   {"R /a", "D@0|not followed by CRLF CRLF", "R /c"}},
        DamageCase{"LengthNotANumber",
                   [] { return kA + "WARC/1.1\r\nContent-Length: 1x\r\n\r\n1\r\n\r\n" + kC; },
                   {"R /a", "D@" + kN + " the record head has no valid Content-Length", "R /c"}},
        DamageCase{"HeadLineWithoutColon",
                   [] {
                     return std::string(
                                "WARC/1.0\r\nWARC-Type response\r\nContent-Length: 0\r\n\r\n\r\n\r\n") +
                            kC;
                   },
                   {"D@0 a line of the record head is not a named field", "R /c"}},
        DamageCase{"ResponseCutAtTheEnd",
                   [] { return kA + kC.substr(0, kC.size() - 8); },
                   {"R /a", "R /c|! the file ends inside the record's block"}},
        DamageCase{"MetadataCutAtTheEnd",
                   [] { return kA + kB.substr(0, 9000); },
                   {"R /a", "R /b", "D@" + kN + " the file ends inside the record's block"}},
        DamageCase{"HeadCutAtTheEnd",
                   [] { return kA + "WARC/1.1\r\nWARC-Type: resp"; },
                   {"R /a", "D@" + kN + " the file ends inside a record head"}},
        DamageCase{"BrokenMember",
                   [] { return kGzA + CrcBroken(test::Gzip(kB)) + test::Gzip(kC); },
                   {"R /a", "R /b metadata@" + kGzN,
                    "D@" + kGzN + " the gzip member is broken: incorrect data check", "R /c"}},
        // The cut member swallows the next one's bytes; the reader looks back for it.
        DamageCase{"CutMemberUnderAPayload",
                   [] {
                     const std::string m = test::Gzip(
                         Record("response", "/big", test::TestServer::Response(200, Random(30000, 4))));
                     return kGzA + m.substr(0, m.size() / 2) + test::Gzip(kC);
                   },
                   {"R /a", "R /big|! the gzip member is cut short", "R /c"}},
        DamageCase{"CutLastMember",
                   [] {
                     const std::string m = test::Gzip(kB);
                     return kGzA + m.substr(0, m.size() / 2);
                   },
                   {"R /a", "R /b", "D@" + kGzN + " the gzip member is cut short"}},
        DamageCase{"GarbageBetweenMembers",
                   [] { return kGzA + "garbage!" + test::Gzip(kC); },
                   {"R /a", "D@" + kGzN + " the data after a gzip member is not another gzip member",
                    "R /c"}},
        DamageCase{"BadHeadSkipsItsWholeMember",
                   [] { return kGzA + test::Gzip("WARC/1.1\r\nno colon\r\n\r\n\r\n" + kB) + test::Gzip(kC); },
                   {"R /a", "D@" + kGzN + " a line of the record head", "R /c"}},
        DamageCase{"WholeGzipCut",
                   [] {
                     const std::string g = test::Gzip(kA + kC + kB);
                     return g.substr(0, g.size() - 40);
                   },
                   {"R /a", "R /c", "R /b", "D@0 the gzip member is cut short"}}),
    [](const auto& p) { return p.param.name; });

// ---- payloads: decoding faults, limits and the sink ----

struct PayloadCase {
  std::string name;
  std::string http;
  std::size_t limit;
  std::string expected;  // the event line's tail
  std::string payload;   // "*": not checked
};

class WarcPayload : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(WarcPayload, IsDecodedOrSaysWhyNot) {
  const PayloadCase& c = GetParam();
  std::vector<std::string> payloads;
  ExpectEvents(ReadAll(Record("response", "/x", c.http) + kC, &payloads, c.limit),
               {"R /x|" + c.expected, "R /c|whole"});
  ASSERT_EQ(payloads.size(), 2u);
  if (c.payload != "*") {
    EXPECT_EQ(payloads[0], c.payload);
  }
}

const std::string kBig = std::string(5000, 'p') + "END";

// Listed by its name, not as a dump of its bytes.
void PrintTo(const PayloadCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(
    All, WarcPayload,
    ::testing::Values(
        PayloadCase{"GzipBroken",
                    test::Encoded("x", "gzip").replace(test::Encoded("x", "gzip").size() - 8, 4, "abcd"), 100,
                    "! the compressed body is damaged", "x"},
        PayloadCase{"OverTheLimit", test::TestServer::Response(200, kBig), 5000, "200 cut",
                    std::string(5000, 'p')},
        PayloadCase{"GzipOverTheLimit", test::Encoded(kBig, "gzip"), 4999, "200 cut", std::string(4999, 'p')},
        PayloadCase{"ExactlyTheLimit", test::TestServer::Response(200, kBig), kBig.size(), "200 whole", kBig},
        PayloadCase{"NotModifiedHasNone", "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", 100,
                    "304 whole", ""},
        PayloadCase{"HeadWithoutEnd", "HTTP/1.1 200 OK\r\nServer: x\r\n", 100,
                    "0 ! the record holds no readable HTTP response", ""},
        PayloadCase{"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", 100,
                    "0 ! the record holds no readable HTTP response", ""}),
    [](const auto& p) { return p.param.name; });

// The shared table of hostile answers, each archived as a response record: the same verdict as
// every other reader. An archive ends an answer where its record ends, as a clean close would.
class WarcPayloadTable : public ::testing::TestWithParam<test::HttpAnswer> {};

TEST_P(WarcPayloadTable, SameVerdictAsOnTheWire) {
  const test::HttpAnswer& a = GetParam();
  const std::string file = Record("response", "/x", a.bytes) + kC;
  TWarcReader reader(TWarcReader::MemorySource(file));
  TWarcRecord r;
  TWarcDamage d;
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record) << d.reason;
  std::string body;
  const TWarcPayloadResult p = reader.ReadPayload(body);
  EXPECT_EQ(p.complete, a.whole) << p.error;
  if (a.body != "*") {
    EXPECT_EQ(body, a.body);
  }
  if (!a.whole) {
    EXPECT_NE(p.error.find(a.reason), std::string::npos) << p.error;
  }
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record) << d.reason;  // the next record is intact
  EXPECT_EQ(r.targetUri, "/c");
}

INSTANTIATE_TEST_SUITE_P(Table, WarcPayloadTable, ::testing::ValuesIn(test::StoredHttpAnswers()),
                         [](const auto& p) { return p.param.name; });

TEST(WarcReader, SinkThatStopsEndsOnlyThePayload) {
  const std::string file = Record("response", "/x", test::Chunked(kBig, 100)) + kC;
  TWarcReader reader(TWarcReader::MemorySource(file));
  TWarcRecord r;
  TWarcDamage d;
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record) << d.reason;
  std::string got;
  const TWarcPayloadResult p = reader.StreamPayload([&](const char* data, std::size_t n) {
    got.append(data, n);
    return got.size() < 1000;
  });
  EXPECT_TRUE(p.stopped);
  EXPECT_FALSE(p.complete);
  EXPECT_EQ(p.bytes, got.size());
  EXPECT_EQ(got.size(), 1000u);
  ASSERT_EQ(reader.Next(r, d), TWarcReader::Step::Record) << d.reason;
  EXPECT_EQ(r.targetUri, "/c");
  EXPECT_EQ(reader.Next(r, d), TWarcReader::Step::End);
}

// ---- access points: a file gzipped whole entered in its middle ----

// 80 responses of 6-30 KB, text and random bytes mixed (so deflate writes blocks of both kinds).
std::vector<std::string> PointRecords() {
  std::vector<std::string> records;
  for (int i = 0; i < 80; ++i) {
    std::string body =
        "<html>" + std::to_string(i) + std::string(static_cast<std::size_t>(2000 + i * 97), 'a' + i % 26);
    body += i % 3 ? Random(static_cast<std::size_t>(4000 + i * 211), static_cast<unsigned>(i))
                  : std::string(20000, 'q');
    records.push_back(
        Record("response", "http://h/" + std::to_string(i), test::TestServer::Response(200, body)));
  }
  return records;
}

struct Seen {
  std::string uri;
  std::uint64_t offset, decodedOffset;
  std::string payload;
};

std::vector<Seen> ReadKeepingPoints(const std::string& file, TWarcAccessPoints& points) {
  TWarcReader reader(TWarcReader::MemorySource(file));
  reader.KeepAccessPoints(&points);
  std::vector<Seen> seen;
  TWarcRecord r;
  TWarcDamage d;
  for (TWarcReader::Step step; (step = reader.Next(r, d)) != TWarcReader::Step::End;) {
    EXPECT_EQ(step, TWarcReader::Step::Record) << d.reason;
    std::string body;
    if (r.httpBlock) {
      EXPECT_TRUE(reader.ReadPayload(body).complete);
    }
    seen.push_back({r.targetUri, r.offset, r.decodedOffset, body});
  }
  return seen;
}

struct PointCase {
  std::string name;
  std::uint64_t spacing;
  bool perRecord;
  std::size_t minPoints;  // a record-gzipped file (members shorter than the spacing) gets none
};
void PrintTo(const PointCase& c, std::ostream* os) { *os << c.name; }

class WarcAccessPointsTest : public ::testing::TestWithParam<PointCase> {};

// Entered at the point before it, every record reads as on the way through, and so does all
// that follows it up to the end of the file (the member's trailer is passed over).
TEST_P(WarcAccessPointsTest, EveryRecordReadsTheSameFromThePointBeforeIt) {
  const PointCase& c = GetParam();
  std::string file;
  for (const std::string& r : PointRecords()) file += c.perRecord ? test::Gzip(r) : r;
  if (!c.perRecord) file = test::Gzip(file) + test::Gzip(Meta("http://h/after", "x: y\r\n"));
  TWarcAccessPoints points(c.spacing);
  const std::vector<Seen> all = ReadKeepingPoints(file, points);
  ASSERT_EQ(all.size(), c.perRecord ? 80u : 81u);
  if (c.perRecord) {
    EXPECT_EQ(points.Count(), 0u);
    return;
  }
  EXPECT_GE(points.Count(), c.minPoints);
  EXPECT_LE(points.Bytes(), points.Count() * (32768 + sizeof(TWarcAccessPoint)));
  std::size_t entered = 0;
  for (std::size_t i = all.size() - 1; i-- > 0;) {  // backwards: no help from reading in order
    const TWarcAccessPoint* p = points.Before(0, all[i].decodedOffset);
    if (!p) continue;
    ++entered;
    const std::string_view from = std::string_view(file).substr(p->FirstByte());
    TWarcReader reader(TWarcReader::MemorySource(from));
    ASSERT_TRUE(reader.StartAt(*p, all[i].decodedOffset)) << i;
    std::vector<std::string> payloads;
    const std::vector<std::string> rest = ReadAll(reader, &payloads);
    ASSERT_EQ(rest.size(), all.size() - i) << i << ::testing::PrintToString(rest);
    EXPECT_EQ(rest[0], "R " + all[i].uri + " response@0 200 whole");
    EXPECT_EQ(rest.back(), "R http://h/after metadata@" + std::to_string(all.back().offset));
    for (std::size_t k = i; k + 1 < all.size(); ++k) EXPECT_EQ(payloads[k - i], all[k].payload) << k;
  }
  EXPECT_GE(entered, all.size() / 2);
  EXPECT_EQ(points.Before(all.back().offset, all.back().decodedOffset), nullptr) << "another member";
}

INSTANTIATE_TEST_SUITE_P(All, WarcAccessPointsTest,
                         ::testing::Values(PointCase{"WholeTinySpacing", 16 << 10, false, 40},
                                           PointCase{"WholeWideSpacing", 300 << 10, false, 2},
                                           PointCase{"RecordGzip", 64 << 10, true, 0}),
                         [](const auto& p) { return p.param.name; });

// A file that changed or broke after its points were kept is reported, never read forever.
TEST(WarcAccessPoints, DamageAfterThePointIsReported) {
  std::string file;
  for (const std::string& r : PointRecords()) file += r;
  file = test::Gzip(file);
  TWarcAccessPoints points(64 << 10);
  const std::vector<Seen> all = ReadKeepingPoints(file, points);
  ASSERT_GE(points.Count(), 3u);
  const TWarcAccessPoint p = *points.Before(0, all[40].decodedOffset);
  const struct {
    const char* name;
    std::function<std::string(std::string)> damage;
  } rows[] = {
      {"cut", [&](std::string f) { return f.substr(0, p.FirstByte() + 30000); }},
      {"cut inside the trailer", [](std::string f) { return f.substr(0, f.size() - 3); }},
      {"garbled",
       [&](std::string f) {
         for (std::size_t k = 0; k < 4000; ++k) f[p.FirstByte() + 5000 + k] = static_cast<char>(k * 7);
         return f;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string damaged = row.damage(file);
    TWarcReader reader(TWarcReader::MemorySource(std::string_view(damaged).substr(p.FirstByte())));
    reader.StartAt(p, all[40].decodedOffset);
    const std::vector<std::string> seen = ReadAll(reader);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const std::string& s) {
      return s.starts_with("D@") || s.find(" ! ") != std::string::npos;
    })) << ::testing::PrintToString(seen);
  }
}

}  // namespace
}  // namespace tavimo
