#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporary) {
  test::TempDir dir;
  const std::string path = dir / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ASSERT_TRUE(WriteFileAtomically(path, "new content"));
  EXPECT_EQ(test::ReadFile(path), "new content");
  EXPECT_EQ(test::EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, FailureBeforeRenameKeepsTheOldFile) {
  test::TempDir dir;
  const std::string path = dir / "f.txt";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  EXPECT_THROW(WriteFileAtomically(path, "new", [] { throw std::runtime_error("boom"); }),
               std::runtime_error);
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::EntriesIn(dir.Path()), 1u);
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
      ASSERT_TRUE(pending.Write("bo", 2) && pending.Write("dy", 2));
      EXPECT_EQ(test::FileExists(path) ? test::ReadFile(path) : "", c.earlier ? c.earlier : "") << c.name;
      if (c.commit) {
        EXPECT_TRUE(pending.Commit()) << c.name;
      }
    }
    EXPECT_EQ(test::EntriesIn(dir.Path()), c.after ? 1u : 0u) << c.name;
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
  EXPECT_EQ(test::EntriesIn(dir.Path()), 0u);
}

// A producer that fails after part of the body, or a sink that cannot write: the save fails
// with the reason, the earlier file stays and no temporary file is left.
TEST(PendingFile, AFailedSaveKeepsTheEarlierFileAndLeavesNothing) {
  const struct {
    const char* name;
    bool earlier;
    std::function<bool(const ByteSink&, std::string&)> produce;
    const char* reason;
  } cases[] = {
      {"producer fails midway, earlier file", true,
       [](const ByteSink& sink, std::string& why) {
         sink(std::string(100000, 'x').data(), 100000);  // past the buffer: on disk already
         why = "the cached body is damaged";
         return false;
       },
       "damaged"},
      {"producer fails midway, no earlier file", false,
       [](const ByteSink& sink, std::string& why) {
         sink("part", 4);
         why = "cut";
         return false;
       },
       "cut"},
      {"producer throws", true,
       [](const ByteSink& sink, std::string&) -> bool {
         sink("part", 4);
         throw std::runtime_error("boom");
       },
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string path = dir / "movie.swf";
    if (c.earlier) test::WriteFile(path, "earlier");
    std::string error;
    if (!c.reason) {
      EXPECT_THROW(SaveStreamAs(path, c.produce, error), std::runtime_error);
    } else {
      EXPECT_FALSE(SaveStreamAs(path, c.produce, error));
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_EQ(test::EntriesIn(dir.Path()), c.earlier ? 1u : 0u);
    if (c.earlier) {
      EXPECT_EQ(test::ReadFile(path), "earlier");
    }
  }
  // A full disk: the sink says so and the save names the cause.
  std::string error;
  EXPECT_FALSE(SaveStreamAs(
      "/dev/full/x", [](const ByteSink& sink, std::string&) { return sink("x", 1); }, error));
  EXPECT_FALSE(error.empty());
}

// The files still pending when the process ends are removed: by RemovePendingFiles (what the
// exit runs) and by a termination signal in a program that asked for it, which then ends as
// the signal would have.
TEST(PendingFile, AnEndingProcessRemovesItsPendingFiles) {
  {
    test::TempDir dir;
    test::WriteFile(dir / "movie.swf", "earlier");
    TPendingFile pending(dir / "movie.swf");
    ASSERT_TRUE(pending.Write("part", 4));
    ASSERT_EQ(test::EntriesIn(dir.Path()), 2u);
    RemovePendingFiles();
    EXPECT_EQ(test::EntriesIn(dir.Path()), 1u);
    EXPECT_FALSE(pending.Commit());  // its file is gone: nothing replaces the earlier one
    EXPECT_EQ(test::ReadFile(dir / "movie.swf"), "earlier");
  }
  // 0: the program returns from main (the window closed, the session ended) with a download
  // still under way on another thread.
  for (const int signo : {0, SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signo ? strsignal(signo) : "exit");
    test::TempDir dir;
    const pid_t pid = fork();
    if (pid == 0) {
      RemovePendingFilesOnTermination();
      std::atomic<bool> started{false};
      std::thread([&dir, &started] {
        TPendingFile a(dir / "a.swf");
        a.Write(std::string(200000, 'a').data(), 200000);
        started = true;
        ::pause();
      }).detach();
      TPendingFile b(dir / "b.swf");
      while (!started) std::this_thread::yield();
      if (signo) ::raise(signo);
      std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (signo) {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), signo);
    } else {
      ASSERT_TRUE(WIFEXITED(status));
    }
    EXPECT_EQ(test::EntriesIn(dir.Path()), 0u);
  }
}

}  // namespace
}  // namespace tavimo
