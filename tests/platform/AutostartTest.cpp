#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

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
