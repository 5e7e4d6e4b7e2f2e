#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace tavimo
