#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Autostart.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::TempHome;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

TEST(Autostart, ExecQuotesAndEscapesThePath) {
  struct Row {
    std::string program, exec;
  } rows[] = {
      {"/usr/bin/tavimo", R"("/usr/bin/tavimo" -mini)"},
      {"/opt/my apps/tavimo", R"("/opt/my apps/tavimo" -mini)"},
      {"/opt/100%/tavimo", R"("/opt/100%%/tavimo" -mini)"},
      {R"(/opt/a"b/tavimo)", R"("/opt/a\\"b/tavimo" -mini)"},
      {"/opt/$HOME`x`/tavimo", R"("/opt/\\$HOME\\`x\\`/tavimo" -mini)"},
      {R"(/opt/back\slash/tavimo)", R"("/opt/back\\\\slash/tavimo" -mini)"},
      {"/opt/line\nbreak/tavimo", ""},
      {"/opt/tab\there", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(AutostartExecLine(r.program), r.exec) << r.program;
}

TEST(Autostart, OnWritesAValidEntryOffRemovesIt) {
  TempHome home;
  std::string error;
  EXPECT_FALSE(AutostartEnabled());
  ASSERT_TRUE(SetAutostart(true, "/opt/my apps/$tavimo", error)) << error;
  ASSERT_EQ(AutostartEntryPath(), home / "config/autostart/tavimo.desktop");
  const std::string entry = test::ReadFile(AutostartEntryPath());
  EXPECT_NE(entry.find("Exec=\"/opt/my apps/\\\\$tavimo\" -mini\n"), std::string::npos) << entry;
  EXPECT_TRUE(AutostartEnabled());
  // The desktop's own validator accepts what was written.
  const std::string validate = "desktop-file-validate '" + AutostartEntryPath() + "'";
  if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
    EXPECT_EQ(std::system(validate.c_str()), 0);
  }

  // Turned off in the desktop's own settings: the entry stays but is not run.
  test::WriteFile(AutostartEntryPath(), entry + "Hidden=true\n");
  EXPECT_FALSE(AutostartEnabled());

  ASSERT_TRUE(SetAutostart(false, "", error)) << error;
  EXPECT_FALSE(Exists(AutostartEntryPath()));
  EXPECT_TRUE(SetAutostart(false, "", error));  // nothing to remove is not a failure
}

// desktop-file-validate judges the entry as the desktop loads it: silence means accepted
// (a file that is not UTF-8 is only warned about, yet the desktop drops it).
std::string DesktopObjections(const std::string& entryPath) {
  const std::string command = "desktop-file-validate '" + entryPath + "' 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "cannot run desktop-file-validate";
  std::string said;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe)) said += buf;
  const int status = ::pclose(pipe);
  return status == 0 || !said.empty() ? said : "desktop-file-validate failed";
}

// Every program path either gives an entry the desktop accepts and that runs that very path,
// or is refused with a reason and leaves no entry; the judge agrees that what the old writer
// made of a refused path would not load.
TEST(Autostart, AnEntryIsWrittenOnlyWhenTheDesktopWouldRunIt) {
  ASSERT_EQ(std::system("command -v desktop-file-validate >/dev/null"), 0) << "desktop-file-utils is missing";
  const struct {
    std::string program;
    bool written;
    std::string naiveExec;  // the old writer's Exec for a refused path
  } rows[] = {
      {"/usr/bin/tavimo", true, ""},
      {"/opt/100%/tavimo", true, ""},
      {"/opt/%f %u/tavimo", true, ""},
      {R"(/opt/a"b$c`d\e/ta'vimo)", true, ""},
      {"/opt/Caf\xC3\xA9 (1)/tavimo", true, ""},
      {"/opt/Caf\xE9/tavimo", false, "\"/opt/Caf\xE9/tavimo\" -mini"},
      {"/opt/cut\xC3/tavimo", false, "\"/opt/cut\xC3/tavimo\" -mini"},
      {"/opt/\xED\xA0\x80/tavimo", false, "\"/opt/\xED\xA0\x80/tavimo\" -mini"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.program);
    TempHome home;
    std::string error;
    EXPECT_EQ(SetAutostart(true, r.program, error), r.written) << error;
    if (!r.written) {
      EXPECT_NE(error.find("not UTF-8"), std::string::npos) << error;
      EXPECT_FALSE(Exists(AutostartEntryPath()));
      const std::string naive = home / "naive.desktop";
      test::WriteFile(naive, "[Desktop Entry]\nType=Application\nName=Tavimo\nExec=" + r.naiveExec + "\n");
      EXPECT_NE(DesktopObjections(naive).find("UTF-8"), std::string::npos);
      continue;
    }
    const std::string entry = test::ReadFile(AutostartEntryPath());
    EXPECT_EQ(DesktopObjections(AutostartEntryPath()), "") << entry;
    std::vector<std::string> argv;
    std::string why;
    ASSERT_TRUE(DesktopEntryCommand(entry, argv, why)) << why;
    EXPECT_EQ(argv, (std::vector<std::string>{r.program, "-mini"}));
  }
  // The reader refuses what the desktop refuses.
  for (const char* exec :
       {R"("/opt/100%/tavimo" -mini)", R"("/opt/a\\\"b -mini)", R"(/opt/a$b -mini)", R"("/opt/\q" -mini)"}) {
    std::vector<std::string> argv;
    std::string why;
    EXPECT_FALSE(DesktopEntryCommand(std::string("[Desktop Entry]\nExec=") + exec + "\n", argv, why)) << exec;
    EXPECT_FALSE(why.empty());
  }
}

TEST(Autostart, FailuresAreSaidAndLeaveNothing) {
  TempHome home;
  std::string error;
  EXPECT_FALSE(SetAutostart(true, "/opt/line\nbreak", error));
  EXPECT_NE(error.find("cannot be written"), std::string::npos);
  EXPECT_FALSE(Exists(home / "config/autostart"));

  test::WriteFile(home / "config/autostart", "a file where the folder should be");
  error.clear();
  EXPECT_FALSE(SetAutostart(true, "/usr/bin/tavimo", error));
  EXPECT_NE(error.find("could not write its start-up entry"), std::string::npos) << error;
  EXPECT_FALSE(AutostartEnabled());
}

}  // namespace
}  // namespace tavimo
