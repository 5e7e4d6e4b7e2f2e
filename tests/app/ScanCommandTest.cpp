// tavimo-scan prints what the window lists: one set of local sites (plain and TLS, frames, a
// frame loop, a host that refuses) drives both the real window and the command.
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <QTreeWidget>

#include <nlohmann/json.hpp>

#include "app/ItemList.h"
#include "controls/FlatEdit.h"
#include "net/HttpCli.h"
#include "tests/app/FormFixture.h"
#include "tests/support/FirefoxEntryWriter.h"
#include "tests/support/Processes.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

struct Site {
  TestServer plain{TestServer::Files({
      {"/p.htm", TestServer::Response(200, "<embed src=\"a.swf\"> \"m/b.swf\" <iframe src=\"f.htm\">")},
      {"/f.htm", TestServer::Response(200, "\"c.swf?x=1\" 'd.swf' <iframe src=\"missing.htm\">")},
      {"/l1.htm", TestServer::Response(200, "\"one.swf\" <iframe src=\"l2.htm\">")},
      {"/l2.htm", TestServer::Response(200, "\"two.swf\" <iframe src=\"l1.htm\">")},
  })};
  TestServer tls{TestServer::Files({{"/s.htm", TestServer::Response(200, "\"secure.swf\"")}}),
                 Pki().goodCertPem, Pki().goodKeyPem};
  std::string refused = [] {
    int port;
    {
      TestServer gone(TestServer::Files({}));
      port = gone.Port();
    }
    return "http://127.0.0.1:" + std::to_string(port) + "/p.htm";
  }();
};

using Rows = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

struct CommandRun {
  int exitCode = -1;
  std::string out, err;
};

CommandRun RunCommand(const QStringList& args, const std::string& caFile, const std::string& input = {},
                      const std::string& httpProxy = {}, const std::string& stdoutFile = {}) {
  QProcess p;
  if (!stdoutFile.empty()) p.setStandardOutputFile(QString::fromStdString(stdoutFile));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();  // the test's home
  env.insert("SSL_CERT_FILE", QString::fromStdString(caFile));
  env.remove("HTTP_PROXY");
  if (httpProxy.empty()) env.remove("http_proxy");
  else env.insert("http_proxy", QString::fromStdString(httpProxy));
  p.setProcessEnvironment(env);
  p.start(TAVIMO_SCAN, args);
  p.write(input.data(), static_cast<qint64>(input.size()));
  p.closeWriteChannel();
  p.waitForFinished(30000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Standard output carries movies only: every line is URL, tab, name (and, for a movie found
// in a cache or an archive, a tab and its source).
Rows TextRows(const std::string& out) {
  Rows rows;
  for (const std::string& line : SplitLines(out)) {
    const auto tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << "not a movie: " << line;
    if (tab == std::string::npos) continue;
    const auto second = line.find('\t', tab + 1);
    if (second != std::string::npos) {
      EXPECT_TRUE(line.substr(second) == "\tcache" || line.substr(second) == "\twarc") << line;
    }
    rows.emplace_back(line.substr(0, tab), line.substr(tab + 1, second - tab - 1));
  }
  return rows;
}

class ScanCommandTest : public FormTest {
 protected:
  ScanCommandTest() {
    WriteFile(caFile_, Pki().caCertPem);
    extraCaFile = caFile_;
  }
  Rows WindowRows(const std::string& address) {
    if (!form) Form();
    form->HttpCli2->InactivityTimeout = 5;
    form->edturl->setText(QString::fromStdString(address));
    form->butgoClick();
    Rows rows;
    for (int i = 0; i < form->Items->Count(); ++i)
      rows.emplace_back(form->Items->Url(i), form->Items->SaveAsName(i));
    return rows;
  }
  Site site_;
  std::string caFile_ = home / "ca.pem";
};

TEST_F(ScanCommandTest, PrintsWhatTheWindowListsForTheSamePages) {
  const std::string pages[] = {site_.plain.Url("/p.htm"), site_.plain.Url("/l1.htm"), site_.tls.Url("/s.htm"),
                               site_.refused};
  for (const std::string& page : pages) {
    const Rows window = WindowRows(page);
    const CommandRun run = RunCommand({QString::fromStdString(page)}, caFile_);
    EXPECT_EQ(TextRows(run.out), window) << page << "\n" << run.err;
    const bool failed = page == site_.refused || page == site_.plain.Url("/p.htm");  // a frame is missing
    EXPECT_EQ(run.exitCode, failed ? 1 : 0) << page << "\n" << run.out << run.err;
    // The failure is said on standard error, in the window's words.
    EXPECT_EQ(run.err, failed ? "tavimo-scan: " + page + ": " +
                                    (page == site_.refused ? "1 of 1 page failed: connection refused"
                                                           : "1 of 3 pages failed: 404 Not Found") +
                                    "\n"
                              : "");
  }
  EXPECT_FALSE(WindowRows(site_.plain.Url("/p.htm")).empty());
}

TEST_F(ScanCommandTest, StreamsJsonRecordsForAListFromStandardInput) {
  const std::string list = site_.plain.Url("/l1.htm") + "\n\n# a comment\n" + site_.refused + "\n" +
                           site_.tls.Url("/s.htm") + "\r\n";
  for (const char* jobs : {"1", "3"}) {
    const CommandRun run = RunCommand({"--urls-from", "-", "--json", "--jobs", jobs}, caFile_, list);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    std::map<std::string, std::vector<nlohmann::json>> byPage;
    for (const std::string& line : SplitLines(run.out)) {
      const auto record = nlohmann::json::parse(line);
      EXPECT_FALSE(record.contains("error")) << line;
      byPage[record["page"]].push_back(record);
    }
    for (const std::string& line : SplitLines(run.err)) {
      const auto record = nlohmann::json::parse(line);
      byPage[record["page"]].push_back(record);
    }
    ASSERT_EQ(byPage.size(), 3u) << run.out << run.err;
    const auto& loop = byPage[site_.plain.Url("/l1.htm")];
    ASSERT_EQ(loop.size(), 2u);  // the frame loop ends: each page once
    EXPECT_EQ(loop[0]["url"], site_.plain.Url("/one.swf"));
    EXPECT_EQ(loop[0]["pass"], 1);
    EXPECT_EQ(loop[1]["name"], "two.swf");
    EXPECT_EQ(loop[1]["pass"], 2);
    EXPECT_EQ(loop[1]["source"], "page");
    ASSERT_EQ(byPage[site_.refused].size(), 1u);
    EXPECT_EQ(byPage[site_.refused][0]["error"], "1 of 1 page failed: connection refused");
    EXPECT_EQ(byPage[site_.tls.Url("/s.htm")].at(0)["url"], site_.tls.Url("/secure.swf"));
  }
}

// A list file ends without a newline; a list that cannot be read is said, with no records.
TEST_F(ScanCommandTest, ReadsTheListFromAFile) {
  const std::string list = home / "pages.txt";
  WriteFile(list, "  # pages\n" + site_.tls.Url("/s.htm"));
  const CommandRun run = RunCommand({"--urls-from", QString::fromStdString(list)}, caFile_);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(TextRows(run.out), (Rows{{site_.tls.Url("/secure.swf"), "secure.swf"}}));
  const CommandRun missing = RunCommand({"--urls-from", QString::fromStdString(list + ".gone")}, caFile_);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "tavimo-scan: cannot read " + list + ".gone: No such file or directory\n");
}

// A list that is no list is an error with its reason, after the pages read before it: a
// folder, a read error, a line longer than the settings' bound (/dev/zero is one endless line).
TEST_F(ScanCommandTest, AListThatCannotBeReadWholeIsAnError) {
  std::filesystem::create_directories(std::filesystem::path(SettingsFilePath()).parent_path());
  WriteFile(SettingsFilePath(), "[options]\nurllinebytes=100\n");
  const std::string page = site_.tls.Url("/s.htm");
  const std::string list = home / "pages.txt";
  // Line 2 is a comment of exactly the bound (its CR not counted); line 4 passes it.
  WriteFile(list, page + "\r\n#" + std::string(99, 'x') + "\r\n" + page + "\n" + std::string(101, 'x') +
                      "\n" + page);
  const struct {
    std::string from, error;
    bool scanned;  // the first page was scanned before the error
  } rows[] = {
      {home.Path(), "cannot read " + home.Path() + ": it is a folder", false},
      {"/proc/self/mem", "cannot read /proc/self/mem: Input/output error", false},
      {"/dev/zero", "line 1 of /dev/zero is longer than 100 bytes, the most an address may have", false},
      {list, "line 4 of " + list + " is longer than 100 bytes, the most an address may have", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.from);
    const CommandRun run =
        RunCommand({"--detect", "page", "--urls-from", QString::fromStdString(row.from)}, caFile_);
    EXPECT_EQ(run.exitCode, 1);
    const Rows secure{{site_.tls.Url("/secure.swf"), "secure.swf"}};
    const Rows expected = row.scanned ? Rows{secure[0], secure[0]} : Rows{};
    EXPECT_EQ(TextRows(run.out), expected);
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(SplitLines(run.err).back(), "tavimo-scan: " + row.error);
  }
}

// Standard output that cannot be written fails the run and says so.
TEST_F(ScanCommandTest, AResultThatCannotBeWrittenFailsTheRun) {
  for (const QStringList& args :
       {QStringList{"--detect", "page", QString::fromStdString(site_.tls.Url("/s.htm"))},
        QStringList{"--json", "--detect", "page", QString::fromStdString(site_.tls.Url("/s.htm"))}}) {
    const CommandRun run = RunCommand(args, caFile_, {}, {}, "/dev/full");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.err, "tavimo-scan: cannot write the results to standard output: No space left on device\n");
  }
}

// An address without a scheme is an http address, as in the window; one that is not http or
// https is refused with the window's reason on standard error.
TEST_F(ScanCommandTest, TheAddressIsMadeUsableAsInTheWindow) {
  const std::string bare = site_.plain.Url("/l1.htm").substr(std::string("http://").size());
  const CommandRun run =
      RunCommand({"--detect", "page", QString::fromStdString(bare), "file:///etc/passwd"}, caFile_);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(TextRows(run.out), WindowRows(bare));
  EXPECT_EQ(TextRows(run.out).at(0).first, site_.plain.Url("/one.swf"));
  EXPECT_EQ(run.err, "tavimo-scan: file:///etc/passwd: Tavimo scans http and https pages\n");
}

// The pages of one scan are bounded as a whole (the limit scanbytes, from the file as earlier
// versions wrote it or from the command line): the bound stops the scan and is said.
TEST_F(ScanCommandTest, ThePagesOfOneScanAreBoundedAsAWhole) {
  TestServer server;
  std::string frames;
  for (int k = 0; k < 20; ++k) {
    frames += "<iframe src=\"f" + std::to_string(k) + ".htm\">";
    server.Put("/f" + std::to_string(k) + ".htm",
               "\"m" + std::to_string(k) + ".swf\"" + std::string(1000, ' '), "text/html");
  }
  server.Put("/p.htm", frames, "text/html");
  std::filesystem::create_directories(std::filesystem::path(SettingsFilePath()).parent_path());
  WriteFile(SettingsFilePath(), "[options]\nscanbytes=3000\n");
  for (const QStringList& limit : {QStringList{}, QStringList{"--limit", "scanbytes=3000"}}) {
    if (!limit.isEmpty()) WriteFile(SettingsFilePath(), "[limits]\nscanbytes=9000000\n");
    const std::size_t before = server.Requests().size();
    const CommandRun run =
        RunCommand(limit + QStringList{"--detect", "page", QString::fromStdString(server.Url("/p.htm"))},
                   caFile_);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_LT(server.Requests().size() - before, 6u);
    EXPECT_NE(run.err.find("stopped after 3000 bytes of pages, the most one scan keeps"), std::string::npos)
        << run.err;
  }
}

// A movie found in a browser's cache, not on the page, says so: a third column in text, the
// source in JSON; the rows are the window's with its default option (page and cache).
TEST_F(ScanCommandTest, CacheFindsSayTheirSource) {
  FirefoxEntry entry;
  entry.url = site_.plain.Url("/cached/c.swf");
  entry.body = "FWS cached";
  const std::string entries = CacheHomeFolder() + "/mozilla/firefox/p.default/cache2/entries";
  std::filesystem::create_directories(entries);
  ASSERT_FALSE(WriteFirefoxEntry(entries, entry).empty());
  const std::string page = site_.plain.Url("/l1.htm");
  const CommandRun text = RunCommand({"--detect", "cache", QString::fromStdString(page)}, caFile_);
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(SplitLines(text.out),
            (Lines{site_.plain.Url("/one.swf") + "\tone.swf", site_.plain.Url("/two.swf") + "\ttwo.swf",
                   entry.url + "\tc.swf\tcache"}));
  EXPECT_EQ(TextRows(text.out), WindowRows(page));
  const CommandRun json = RunCommand({"--json", "--detect", "cache", QString::fromStdString(page)}, caFile_);
  const Lines records = SplitLines(json.out);
  ASSERT_EQ(records.size(), 3u) << json.out;
  EXPECT_EQ(nlohmann::json::parse(records[2])["source"], "cache");
  EXPECT_EQ(nlohmann::json::parse(records[0])["source"], "page");
}

// The query rule is off by default and on for both with the settings key.
TEST_F(ScanCommandTest, TheQueryRuleFollowsTheSettingsFileInBoth) {
  TestServer server;
  server.Put("/q.htm", "<embed src=\"q.swf?xml=c.xml\"> 'g.swf#start' \"p.swf\"", "text/html");
  const std::string page = server.Url("/q.htm");
  for (const bool on : {false, true}) {
    form.reset();
    std::filesystem::create_directories(std::filesystem::path(SettingsFilePath()).parent_path());
    WriteFile(SettingsFilePath(), on ? "[options]\nswfwithquery=1\n" : "[options]\n");
    const Rows window = WindowRows(page);
    const Rows expected = on ? Rows{{server.Url("/g.swf#start"), "g.swf"},
                                    {server.Url("/q.swf?xml=c.xml"), "q.swf"},
                                    {server.Url("/p.swf"), "p.swf"}}
                             : Rows{{server.Url("/p.swf"), "p.swf"}};
    EXPECT_EQ(window, expected) << on;
    EXPECT_EQ(TextRows(RunCommand({QString::fromStdString(page)}, caFile_).out), window) << on;
  }
}

// A site archived by wget gives what the live site gives; its movies are listed from the
// archive with their records; a damaged record is reported and the rest is still read.
TEST_F(ScanCommandTest, ScansWebArchivesAsTheLiveSite) {
  TestServer server;
  server.Put("/w/index.htm", "<embed src=\"m/a.swf\"> <iframe src=\"f.htm\">", "text/html");
  server.Put("/w/f.htm", "<embed src='b.swf'>", "text/html");
  server.Put("/w/m/a.swf", "FWS movie a");
  server.Put("/w/b.swf", "FWS movie b");
  const std::string page = server.Url("/w/index.htm");
  const std::string warc = home / "site";
  QProcess wget;
  wget.setWorkingDirectory(QString::fromStdString(home.Path()));
  wget.start("wget", {"-q", "--no-proxy", "-r", "-l", "2", "--warc-file=" + QString::fromStdString(warc),
                      "-P", QString::fromStdString(home / "mirror"), QString::fromStdString(page),
                      QString::fromStdString(server.Url("/w/m/a.swf")),
                      QString::fromStdString(server.Url("/w/b.swf"))});
  ASSERT_TRUE(wget.waitForFinished(30000));
  const CommandRun live = RunCommand({"--detect", "page", QString::fromStdString(page)}, caFile_);
  ASSERT_EQ(live.exitCode, 0) << live.err;

  const CommandRun archived =
      RunCommand({"--json", "--warc", QString::fromStdString(warc + ".warc.gz")}, caFile_);
  EXPECT_EQ(archived.exitCode, 0) << archived.err;
  Rows fromPage, movies;
  std::istringstream lines(archived.out);
  for (std::string line; std::getline(lines, line);) {
    const auto r = nlohmann::json::parse(line);
    if (r["source"] == "warc") {
      movies.emplace_back(r["url"], r["name"]);
      EXPECT_GT(r["offset"].get<std::uint64_t>(), 0u);
    } else if (r["page"] == page) {
      fromPage.emplace_back(r["url"], r["name"]);
    }
  }
  EXPECT_EQ(fromPage, TextRows(live.out));
  EXPECT_EQ(movies, (Rows{{server.Url("/w/m/a.swf"), "a.swf"}, {server.Url("/w/b.swf"), "b.swf"}}));

  // The same records, one of them damaged: reported, and the others still listed.
  const std::string plain = home / "plain.warc";
  QProcess unzip;
  unzip.setStandardOutputFile(QString::fromStdString(plain));
  unzip.start("gzip", {"-dc", QString::fromStdString(warc + ".warc.gz")});
  ASSERT_TRUE(unzip.waitForFinished(10000));
  std::string bytes = ReadFile(plain);
  const auto movie = bytes.find("FWS movie a");
  ASSERT_NE(movie, std::string::npos);
  const auto length = bytes.find("Content-Length: ", bytes.rfind("Content-Type: application/http", movie));
  bytes.replace(length, 16, "Content-Lenxth: ");  // a record without its length
  WriteFile(plain, bytes);
  const CommandRun damaged = RunCommand({"--warc", QString::fromStdString(plain)}, caFile_);
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_NE(damaged.err.find("tavimo-scan: " + plain + "@"), std::string::npos) << damaged.err;
  const Lines movieLines = SplitLines(damaged.out);
  EXPECT_NE(std::find(movieLines.begin(), movieLines.end(), server.Url("/w/b.swf") + "\tb.swf\twarc"),
            movieLines.end())
      << damaged.out;
  TextRows(damaged.out);  // movies only
}

TEST_F(ScanCommandTest, EveryPageGoesThroughTheEnvironmentsProxy) {
  // The proxy answers for a host that does not exist; it sees the absolute address of each page.
  TestServer proxy([](Conn& c, const HttpRequestSeen& r) {
    c.Send(TestServer::Response(200, "\"" + r.target.substr(r.target.rfind('/') + 1) + ".swf\""));
    c.Close();
  });
  const CommandRun run =
      RunCommand({"--detect", "page", "http://site.invalid/a.htm", "http://site.invalid/b.htm"}, caFile_, {},
                 "http://127.0.0.1:" + std::to_string(proxy.Port()));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const Rows expected = {{"http://site.invalid/a.htm.swf", "a.htm.swf"},
                         {"http://site.invalid/b.htm.swf", "b.htm.swf"}};
  EXPECT_EQ(TextRows(run.out), expected);
  ASSERT_EQ(proxy.Requests().size(), 2u);
  EXPECT_EQ(proxy.Requests()[0].target, "http://site.invalid/a.htm");
  EXPECT_EQ(proxy.Requests()[1].target, "http://site.invalid/b.htm");
}

// The plain files of a folder, and their contents, sorted.
std::pair<std::vector<std::string>, std::vector<std::string>> FilesIn(const std::string& dir) {
  std::vector<std::string> names, contents;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    names.push_back(e.path().filename().string());
    contents.push_back(ReadFile(e.path().string()));
  }
  std::sort(names.begin(), names.end());
  std::sort(contents.begin(), contents.end());
  return {names, contents};
}

// One run is one batch: movies of one name from several pages are all kept, also when
// several jobs save them at once; a failed one leaves its name to the next; the folder is made
// with its parents.
TEST_F(ScanCommandTest, OneRunOfPagesNeverOverwritesItsOwnMovies) {
  TestServer server;
  for (const char* page : {"/x/p.htm", "/y/p.htm", "/z/p.htm", "/w/p.htm"})
    server.Put(page, "\"movie.swf\"", "text/html");
  server.Put("/x/movie.swf", "FWS x");
  server.Put("/y/movie.swf", "FWS y");
  server.Put("/w/movie.swf", "FWS w");  // z/movie.swf is gone: 404
  auto run = [&](const std::string& dir, const char* jobs, std::initializer_list<const char*> pages) {
    QStringList args{"--detect",   "page", "--mode", "internet",
                     "--jobs",     jobs,   "--save", QString::fromStdString(dir),
                     "--category", "Games"};
    for (const char* page : pages) args << QString::fromStdString(server.Url(page));
    return RunCommand(args, caFile_);
  };
  const CommandRun one = run(home / "out/a", "1", {"/x/p.htm", "/z/p.htm", "/y/p.htm"});
  EXPECT_EQ(one.exitCode, 1) << one.err;
  EXPECT_NE(one.err.find("movie.swf: Download failed: 404 Not Found"), std::string::npos) << one.err;
  EXPECT_NE(one.err.find("saved as movie (2).swf"), std::string::npos) << one.err;
  EXPECT_EQ(ReadFile(home / "out/a/Games/movie.swf"), "FWS x");
  EXPECT_EQ(ReadFile(home / "out/a/Games/movie (2).swf"), "FWS y");
  EXPECT_EQ(FilesIn(home / "out/a/Games").first.size(), 2u);

  const CommandRun three = run(home / "out/b", "3", {"/x/p.htm", "/y/p.htm", "/w/p.htm"});
  EXPECT_EQ(three.exitCode, 0) << three.err;
  EXPECT_EQ(FilesIn(home / "out/b/Games"),
            std::make_pair(std::vector<std::string>{"movie (2).swf", "movie (3).swf", "movie.swf"},
                           std::vector<std::string>{"FWS w", "FWS x", "FWS y"}));
}

// The same for web archives: the movies of every archive of a run are one batch; "--" is the
// folder itself, as for pages.
TEST_F(ScanCommandTest, OneRunOfArchivesNeverOverwritesItsOwnMovies) {
  auto record = [](const std::string& uri, const std::string& body) {
    const std::string http =
        TestServer::Response(200, body, "Content-Type: application/x-shockwave-flash\r\n");
    return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
           "\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: " +
           std::to_string(http.size()) + "\r\n\r\n" + http + "\r\n\r\n";
  };
  WriteFile(home / "a.warc",
            record("http://s/x/movie.swf", "FWS x") + record("http://s/y/movie.swf", "FWS y"));
  WriteFile(home / "b.warc", record("http://s/z/movie.swf", "FWS z"));
  const std::string dir = home / "archived";
  const CommandRun run =
      RunCommand({"--save", QString::fromStdString(dir), "--category", "--", "--warc",
                  QString::fromStdString(home / "a.warc"), QString::fromStdString(home / "b.warc")},
                 caFile_);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(FilesIn(dir),
            std::make_pair(std::vector<std::string>{"movie (2).swf", "movie (3).swf", "movie.swf"},
                           std::vector<std::string>{"FWS x", "FWS y", "FWS z"}));
  EXPECT_EQ(ReadFile(dir + "/movie (3).swf"), "FWS z");
  EXPECT_FALSE(FileExists(dir + "/--"));
}

// Ctrl+C during a save leaves no part of the movie, whichever client was saving it.
TEST_F(ScanCommandTest, AnInterruptedSaveLeavesNoPartialFile) {
  TestServer server([](Conn& c, const HttpRequestSeen& r) {
    if (r.target == "/p.htm") {
      c.Send(TestServer::Response(200, "<embed src=\"m.swf\">", "Content-Type: text/html\r\n"));
      return;
    }
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(100000, 'x'));
    c.Stall(std::chrono::seconds(20));
  });
  for (const int signo : {SIGINT, SIGTERM}) {
    for (const char* mode : {"cache", "internet"}) {
      SCOPED_TRACE(std::string(mode) + " " + strsignal(signo));
      const std::string dir = home / (std::string("save-") + mode + std::to_string(signo));
      std::filesystem::create_directories(dir);
      QProcess scan;
      scan.start(TAVIMO_SCAN, {"--detect", "page", "--mode", mode, "--save", QString::fromStdString(dir),
                               QString::fromStdString(server.Url("/p.htm"))});
      ASSERT_TRUE(scan.waitForStarted(10000));
      const bool partWritten = WaitFor([&] {
        for (const auto& e : std::filesystem::directory_iterator(dir))
          if (e.path().filename().string().ends_with(".part")) return true;
        return false;
      });
      EXPECT_TRUE(partWritten);
      ::kill(static_cast<pid_t>(scan.processId()), signo);
      ASSERT_TRUE(scan.waitForFinished(10000));
      EXPECT_EQ(scan.exitStatus(), QProcess::CrashExit);
      EXPECT_EQ(FilesIn(dir).first, std::vector<std::string>{});
    }
  }
}

// The settings file's movie limit bounds what movies are saved as, from a page (either client)
// or from an archive: a body that inflates past it is said and leaves nothing.
TEST_F(ScanCommandTest, SavedMoviesStayWithinTheSettingsFilesMovieLimit) {
  WriteFile(home / "config/tavimo/info.ini", "[options]\nmoviebytes=10000\n");
  TestServer server(TestServer::Files({
      {"/p.htm", TestServer::Response(200, "'small.swf' 'big.swf'", "Content-Type: text/html\r\n")},
      {"/small.swf", TestServer::Response(200, "FWS small movie")},
      {"/big.swf", Encoded(std::string(1 << 20, '\0'), "gzip")},
  }));
  for (const char* mode : {"cache", "internet"}) {
    const std::string dir = home / (std::string("page-") + mode);
    const CommandRun run =
        RunCommand({"--detect", "page", "--mode", mode, "--save", QString::fromStdString(dir),
                    QString::fromStdString(server.Url("/p.htm"))},
                   caFile_);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("big.swf: Download failed: the movie is larger than 10000 bytes"),
              std::string::npos)
        << mode << ": " << run.err;
    EXPECT_EQ(FilesIn(dir).first, std::vector<std::string>{"small.swf"}) << mode;
  }

  const auto record = [](const std::string& uri, const std::string& http) {
    return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
           "\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: " +
           std::to_string(http.size()) + "\r\n\r\n" + http + "\r\n\r\n";
  };
  const std::string warc = home / "a.warc.gz";
  WriteFile(warc, Gzip(record("http://s/small.swf", TestServer::Response(200, "FWS small movie")) +
                       record("http://s/big.swf", Encoded(std::string(1 << 20, '\0'), "gzip"))));
  const std::string dir = home / "saved";
  const CommandRun run =
      RunCommand({"--warc", QString::fromStdString(warc), "--save", QString::fromStdString(dir)}, caFile_);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("big.swf: Download failed: the movie is larger than 10000 bytes"), std::string::npos)
      << run.err;
  EXPECT_EQ(FilesIn(dir).first, std::vector<std::string>{"small.swf"});
}

TEST_F(ScanCommandTest, BadUsageSaysWhyAndExitsWithTwo) {
  // Addresses beside --warc would not be scanned: refused rather than dropped.
  for (const QStringList& args :
       {QStringList{}, QStringList{"--jobs", "0", "http://x/"}, QStringList{"--detect", "all"},
        QStringList{"--frobnicate"}, QStringList{"--category", "Games", "http://x/"},
        QStringList{"--save", "/tmp", "--category", "../x", "http://x/"},
        QStringList{"--save", "/tmp", "--category", "..", "--warc", "a.warc"},
        QStringList{"http://x/", "--warc", "a.warc"}, QStringList{"--urls-from", "-", "--warc", "a.warc"},
        QStringList{"--limit", "nosuch=1", "http://x/"}, QStringList{"--limit", "pages=0", "http://x/"},
        QStringList{"http://x/", "--limit"}}) {
    const CommandRun run = RunCommand(args, caFile_);
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
    EXPECT_NE(run.err.find("usage: tavimo-scan"), std::string::npos);
  }
  const CommandRun help = RunCommand({"--help"}, caFile_);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--urls-from"), std::string::npos);
}

}  // namespace
}  // namespace tavimo::test
