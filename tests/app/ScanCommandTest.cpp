// tavimo-scan prints what the window lists: one set of local sites (plain and TLS, frames, a
// frame loop, a host that refuses) drives both the real window and the command.
#include <QProcess>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <QTreeWidget>

#include <nlohmann/json.hpp>

#include "app/ItemList.h"
#include "controls/FlatEdit.h"
#include "net/HttpCli.h"
#include "tests/app/FormFixture.h"
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

struct CommandRun {
  int exitCode = -1;
  std::string out, err;
};

CommandRun RunCommand(const QStringList& args, const std::string& caFile, const std::string& input = {},
                      const std::string& httpProxy = {}) {
  QProcess p;
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

Rows TextRows(const std::string& out) {
  Rows rows;
  size_t pos = 0;
  while (pos < out.size()) {
    const size_t end = out.find('\n', pos);
    const std::string line = out.substr(pos, end - pos);
    pos = end == std::string::npos ? out.size() : end + 1;
    const auto tab = line.find('\t');
    if (tab != std::string::npos && line.compare(tab + 1, 6, "error:") != 0) {
      rows.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
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
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      const auto record = nlohmann::json::parse(line);
      byPage[record["page"]].push_back(record);
    }
    ASSERT_EQ(byPage.size(), 3u) << run.out;
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
  EXPECT_EQ(missing.err, "tavimo-scan: cannot read " + list + ".gone\n");
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
  EXPECT_NE(damaged.out.find("error: "), std::string::npos) << damaged.out;
  EXPECT_NE(damaged.out.find(server.Url("/w/b.swf") + "\tb.swf"), std::string::npos) << damaged.out;
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

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  return names;
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
        for (const std::string& name : FilesIn(dir))
          if (name.ends_with(".part")) return true;
        return false;
      });
      EXPECT_TRUE(partWritten);
      ::kill(static_cast<pid_t>(scan.processId()), signo);
      ASSERT_TRUE(scan.waitForFinished(10000));
      EXPECT_EQ(scan.exitStatus(), QProcess::CrashExit);
      EXPECT_EQ(FilesIn(dir), std::vector<std::string>{});
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
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"small.swf"}) << mode;
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
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"small.swf"});
}

TEST_F(ScanCommandTest, BadUsageSaysWhyAndExitsWithTwo) {
  for (const QStringList& args :
       {QStringList{}, QStringList{"--jobs", "0", "http://x/"}, QStringList{"--detect", "all"},
        QStringList{"--frobnicate"}, QStringList{"--category", "Games", "http://x/"}}) {
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
