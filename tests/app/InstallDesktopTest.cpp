// The build installed into a temporary prefix, as a packager or `make install` does: the files
// land where the installed program looks for them, the program starts from there, and the
// desktop entry, AppStream metadata and manual pages pass their tools.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11Windows.h"

namespace tavimo {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string output;
};

// Runs a shell command; its exit status and what it wrote on stdout and stderr.
RunResult Shell(const std::string& command) {
  RunResult r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buf{};
  size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) r.output.append(buf.data(), n);
  const int wait = ::pclose(pipe);
  r.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
  return r;
}

bool HaveTool(const std::string& tool) { return Shell("command -v " + tool).status == 0; }

// A manual page as plain text at a fixed width, whatever terminal the suite runs in.
RunResult ManText(const std::string& path) {
  return Shell("MANWIDTH=80 MAN_KEEP_FORMATTING= man -E UTF-8 -P cat -l '" + path + "'");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The width and height recorded in a PNG file's header; {0, 0} when it is not a PNG.
std::pair<int, int> PngSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[24] = {};
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return {0, 0};
  if (std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(h + 12, "IHDR", 4) != 0) return {0, 0};
  auto be32 = [&](int at) { return (h[at] << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3]; };
  return {be32(16), be32(20)};
}

// Shown top-level windows of the installed program, found by its window class.
bool TavimoWindowShown(Display* dpy) {
  for (Window w : test::ViewableTopLevels(dpy)) {
    if (test::WindowClass(dpy, w) == "TFrmTavimo") return true;
  }
  return false;
}

// One install per suite: copying the web player's files is the slow part.
class InstallDesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new test::TempDir;
    install_ =
        new RunResult(Shell(std::string("'" TAVIMO_CMAKE "' --install '" TAVIMO_BUILD_DIR "' --prefix '") +
                            prefix_->Path() + "'"));
  }
  static void TearDownTestSuite() {
    delete install_;
    delete prefix_;
  }
  void SetUp() override { ASSERT_EQ(install_->status, 0) << install_->output; }

  static std::string Installed(const std::string& relative) { return prefix_->Path() + "/" + relative; }

  static test::TempDir* prefix_;
  static RunResult* install_;
};

test::TempDir* InstallDesktopTest::prefix_ = nullptr;
RunResult* InstallDesktopTest::install_ = nullptr;

TEST_F(InstallDesktopTest, FilesLandWhereTheInstalledProgramLooks) {
  // Paths relative to the prefix, as the program derives them from <prefix>/bin/tavimo.
  const char* files[] = {
      "bin/tavimo",
      TAVIMO_DATAROOTDIR "/doc/tavimo/help.html",
      TAVIMO_DATADIR "/applications/tavimo.desktop",
      TAVIMO_DATADIR "/metainfo/io.github.tavimo.Tavimo.metainfo.xml",
      TAVIMO_MANDIR "/man1/tavimo.1",
      TAVIMO_MANDIR "/man1/tavimo-scan.1",
#ifdef TAVIMO_WITH_SCAN
      "bin/tavimo-scan",
#endif
#ifdef TAVIMO_WITH_PLAYER
      TAVIMO_LIBDIR "/tavimo/libtavimo_player.so",
      TAVIMO_DATADIR "/tavimo/ruffle/ruffle.js",
#endif
  };
  for (const char* f : files) EXPECT_TRUE(fs::is_regular_file(Installed(f))) << f;
  EXPECT_EQ(::access(Installed("bin/tavimo").c_str(), X_OK), 0);
  // The launcher icons are real pictures of their size.
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string dir = std::to_string(size) + "x" + std::to_string(size);
    const auto [w, h] = PngSize(Installed(TAVIMO_DATADIR "/icons/hicolor/" + dir + "/apps/tavimo.png"));
    EXPECT_EQ(w, size) << dir;
    EXPECT_EQ(h, size) << dir;
  }
}

TEST_F(InstallDesktopTest, InstalledProgramStartsWithItsWindow) {
  test::TempHome home;
  test::ScopedEnv env;
  if (::geteuid() == 0) env.Set("QTWEBENGINE_DISABLE_SANDBOX", "1");
  const test::XDisplay display;
  Display* dpy = display.get();
  ASSERT_NE(dpy, nullptr) << "no X display";

  const pid_t pid = test::Spawn({Installed("bin/tavimo")});
  EXPECT_TRUE(test::WaitFor([&] { return TavimoWindowShown(dpy); }, 15s));
  EXPECT_EQ(test::WaitExit(pid, 0ms), -1) << "the installed program ended by itself";
  test::KillAndReap(pid);
}

TEST_F(InstallDesktopTest, DesktopFilesPassTheirValidators) {
  struct Case {
    const char* tool;
    const char* command;
    const char* file;
  };
  const Case cases[] = {
      {"desktop-file-validate", "desktop-file-validate", TAVIMO_DATADIR "/applications/tavimo.desktop"},
      {"appstreamcli", "appstreamcli validate --no-net",
       TAVIMO_DATADIR "/metainfo/io.github.tavimo.Tavimo.metainfo.xml"},
  };
  for (const Case& c : cases) {
    if (!HaveTool(c.tool)) GTEST_SKIP() << c.tool << " is not installed (scripts/setup.sh installs it)";
  }
  for (const Case& c : cases) {
    const RunResult r = Shell(std::string(c.command) + " '" + Installed(c.file) + "'");
    EXPECT_EQ(r.status, 0) << c.file << ":\n" << r.output;
  }
}

// The manual pages as `man` shows them: every usual section there, no complaint from groff, and
// a NAME line that whatis/apropos can index.
TEST_F(InstallDesktopTest, ManualPagesRender) {
  if (!HaveTool("man") || !HaveTool("lexgrog")) {
    GTEST_SKIP() << "man-db is not installed (scripts/setup.sh installs it)";
  }
  const std::vector<std::string> common = {"NAME",  "SYNOPSIS",    "DESCRIPTION", "OPTIONS",
                                           "FILES", "ENVIRONMENT", "SEE ALSO"};
  struct Case {
    const char* page;
    std::vector<std::string> sections;
  };
  const Case cases[] = {
      {"tavimo.1", {"HOT KEYS", "TRAY ICON", "TROUBLESHOOTING"}},
      {"tavimo-scan.1", {"EXIT STATUS", "EXAMPLES"}},
  };
  for (const Case& c : cases) {
    const std::string path = Installed(TAVIMO_MANDIR "/man1/") + c.page;
    const RunResult r = ManText(path);
    EXPECT_EQ(r.status, 0) << c.page << ":\n" << r.output;
    std::vector<std::string> sections = common;
    sections.insert(sections.end(), c.sections.begin(), c.sections.end());
    for (const std::string& section : sections) {
      EXPECT_NE(r.output.find("\n" + section + "\n"), std::string::npos) << c.page << " lacks " << section;
    }
    const RunResult warnings = Shell("man --warnings -E UTF-8 -l '" + path + "' 2>&1 >/dev/null | cat");
    EXPECT_EQ(warnings.output, "") << c.page;
    const RunResult whatis = Shell("lexgrog '" + path + "'");
    EXPECT_EQ(whatis.status, 0) << whatis.output;
    EXPECT_NE(whatis.output.find(std::string(c.page, std::strlen(c.page) - 2) + " - "), std::string::npos)
        << whatis.output;
  }
}

#ifdef TAVIMO_BUILD_HELP
// The help page installed is the one the build made, which a program run from the build tree opens.
TEST_F(InstallDesktopTest, HelpPageIsTheGeneratedOne) {
  const std::string installed = ReadFile(Installed(TAVIMO_DATAROOTDIR "/doc/tavimo/help.html"));
  EXPECT_EQ(installed, ReadFile(TAVIMO_BUILD_HELP));
  EXPECT_NE(installed.find("id=\"about\""), std::string::npos) << "the banner opens help.html#about";
}
#endif

#ifdef TAVIMO_WITH_SCAN
// Every option tavimo-scan accepts is described in its manual page and in the help page, so the
// manual cannot fall behind the command.
TEST_F(InstallDesktopTest, ScanOptionsAreAllDocumented) {
  if (!HaveTool("man")) GTEST_SKIP() << "man is not installed (scripts/setup.sh installs man-db)";
  const RunResult usage = Shell("'" + Installed("bin/tavimo-scan") + "' --help");
  ASSERT_EQ(usage.status, 0) << usage.output;
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  const auto& text = usage.output;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  ASSERT_GE(options.size(), 9u) << usage.output;
  const std::string manText = ManText(Installed(TAVIMO_MANDIR "/man1/tavimo-scan.1")).output;
  const std::string helpPage = ReadFile(Installed(TAVIMO_DATAROOTDIR "/doc/tavimo/help.html"));
  for (const std::string& o : options) {
    EXPECT_NE(manText.find(o), std::string::npos) << o << " is not in tavimo-scan(1)";
    EXPECT_NE(helpPage.find(o), std::string::npos) << o << " is not in the help page";
  }
}
#endif

}  // namespace
}  // namespace tavimo
