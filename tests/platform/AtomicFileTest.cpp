#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

size_t EntriesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporary) {
  test::TempDir dir;
  const std::string path = dir / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ASSERT_TRUE(WriteFileAtomically(path, "new content"));
  EXPECT_EQ(test::ReadFile(path), "new content");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, FailureBeforeRenameKeepsTheOldFile) {
  test::TempDir dir;
  const std::string path = dir / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  EXPECT_THROW(WriteFileAtomically(path, "new", [] { throw std::runtime_error("boom"); }),
               std::runtime_error);
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, ProcessKilledBetweenWriteAndRenameLeavesTheOldFile) {
  test::TempDir dir;
  const std::string path = dir / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  pid_t pid = fork();
  if (pid == 0) {
    WriteFileAtomically(path, std::string(1 << 20, 'n'), [] { ::kill(::getpid(), SIGKILL); });
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(test::ReadFile(path), "old");
}

TEST(AtomicFile, UnwritableFolderReportsFailure) {
  test::TempDir dir;
  EXPECT_FALSE(WriteFileAtomically(dir / "missing/f.txt", "x"));
}

// A download's file: invisible under its name until committed, gone when not, and with the
// mode a file the user saves should have (mkstemp's private 0600 would hide a movie from a
// web server or another user the folder is shared with).
TEST(PendingFile, CommitDiscardAndTheModeOfTheResult) {
  const struct {
    const char* name;
    const char* earlier;  // nullptr: no file of that name yet
    mode_t earlierMode;
    bool commit;
    const char* after;  // nullptr: no file afterwards
    mode_t mode;
  } cases[] = {
      {"new file committed", nullptr, 0, true, "body", 0644},
      {"earlier file replaced keeps its mode", "old", 0600, true, "body", 0600},
      {"earlier file kept when not committed", "old", 0640, false, "old", 0640},
      {"nothing left when not committed", nullptr, 0, false, nullptr, 0},
  };
  const mode_t oldMask = ::umask(022);
  for (const auto& c : cases) {
    test::TempDir dir;
    const std::string path = dir / "movie.swf";
    if (c.earlier) {
      test::WriteFile(path, c.earlier);
      ::chmod(path.c_str(), c.earlierMode);
    }
    {
      TPendingFile pending(path);
      ASSERT_TRUE(pending.Ok()) << c.name;
      EXPECT_NE(pending.TempName(), path);
      test::WriteFile(pending.TempName(), "body");
      EXPECT_EQ(test::FileExists(path) ? test::ReadFile(path) : "", c.earlier ? c.earlier : "") << c.name;
      if (c.commit) {
        EXPECT_TRUE(pending.Commit()) << c.name;
      }
    }
    EXPECT_EQ(EntriesIn(dir.Path()), c.after ? 1u : 0u) << c.name;
    if (!c.after) continue;
    EXPECT_EQ(test::ReadFile(path), c.after) << c.name;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.mode) << c.name;
  }
  ::umask(oldMask);
  // A target that is a folder (an empty save-as name) cannot be committed and leaves nothing.
  test::TempDir dir;
  TPendingFile pending(dir.Path() + "/");
  ASSERT_TRUE(pending.Ok());
  EXPECT_FALSE(pending.Commit());
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
}

}  // namespace
}  // namespace tavimo
