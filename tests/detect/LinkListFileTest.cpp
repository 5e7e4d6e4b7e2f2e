#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "detect/LinkExtractor.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(LinkListFile, OneLinkPerLineEachEndedByCrLf) {
  test::TempDir dir;
  const std::string path = dir / "swf.txt";
  ExtractSwfLinks("'b.swf' 'a.swf' 'c.swf' 'c.SWF'", "http://h/", path);
  EXPECT_EQ(test::ReadFile(path), "http://h/a.swf\r\nhttp://h/b.swf\r\nhttp://h/c.swf\r\n");
  // Replaced whole by a shorter list, then by an empty one (0 bytes, but present).
  ExtractSwfLinks("'z.swf'", "http://h/", path);
  EXPECT_EQ(test::ReadFile(path), "http://h/z.swf\r\n");
  ExtractSwfLinks("no movies here", "http://h/", path);
  EXPECT_TRUE(test::FileExists(path));
  EXPECT_EQ(test::ReadFile(path), "");
  // The fullscreen entry may be empty: one empty line.
  ExtractSwfLinks("fullscreen=\"yes\"", "http://h/", path);
  EXPECT_EQ(test::ReadFile(path), "\r\n");
}

TEST(LinkListFile, DefaultPathIsInTheRuntimeFolder) {
  test::TempHome home;
  ExtractSwfLinks("'a.swf'", "http://h");
  EXPECT_EQ(LinkListFilePath(), home / "runtime/tavimo/swf.txt");
  EXPECT_EQ(test::ReadFile(home / "runtime/tavimo/swf.txt"), "http://h/a.swf\r\n");
}

TEST(LinkListFile, FailureNamesFileAndReasonAndKeepsTheOldList) {
  test::TempDir dir;
  test::WriteFile(dir / "plain", "x");
  try {
    ExtractSwfLinks("'a.swf'", "h", dir / "plain/swf.txt");
    ADD_FAILURE() << "no exception";
  } catch (const ELinkListError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + (dir / "plain/swf.txt") + ": Not a directory");
  }

  // A folder the writer may not write to; root drops to "nobody" in a child to feel that.
  const std::string path = dir / "swf.txt";
  ExtractSwfLinks("'old.swf'", "http://h/", path);
  const pid_t pid = fork();
  if (pid == 0) {
    const bool root = geteuid() == 0;
    if (root ? setuid(65534) != 0 : chmod(dir.Path().c_str(), 0500) != 0) _exit(3);
    try {
      ExtractSwfLinks("'new.swf'", "http://h/", path);
    } catch (const ELinkListError& e) {
      _exit(std::string(e.what()) == "Cannot create file " + path + ": Permission denied" ? 0 : 2);
    }
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no exception, 2: wrong text, 3: set-up failed";
  EXPECT_EQ(test::ReadFile(path), "http://h/old.swf\r\n");
}

}  // namespace
}  // namespace tavimo
