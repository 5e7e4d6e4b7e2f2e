#include <gtest/gtest.h>

#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::TempHome;

TEST(Paths, FollowTheXdgVariables) {
  TempHome home;
  EXPECT_EQ(SettingsFilePath(), home / "config/tavimo/info.ini");
  EXPECT_EQ(LinkListFilePath(), home / "runtime/tavimo/swf.txt");
  EXPECT_EQ(InstanceLockPath(), home / "runtime/tavimo.lock");
  EXPECT_EQ(DefaultDownloadRoot(), home / "Downloads/flash/");
  EXPECT_EQ(DefaultRootFolder(), home / "Downloads/flash");
}

TEST(Paths, FallBackWhenVariablesAreMissingOrRelative) {
  TempHome home;
  ScopedEnv env;
  env.Unset("XDG_RUNTIME_DIR");
  env.Set("XDG_CONFIG_HOME", "relative/config");  // not absolute: ignored
  EXPECT_EQ(SettingsFilePath(), home / ".config/tavimo/info.ini");
  EXPECT_EQ(LinkListFilePath(), home / "cache/tavimo/swf.txt");
  EXPECT_EQ(InstanceLockPath(), "/tmp/tavimo-" + std::to_string(::getuid()) + ".lock");
}

TEST(Paths, DownloadFolderComesFromUserDirs) {
  TempHome home;
  test::WriteFile(home / "config/user-dirs.dirs",
                  "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched/\"\n");
  EXPECT_EQ(DefaultDownloadRoot(), home / "Fetched/flash/");
  test::WriteFile(home / "config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"/srv/dl\"\n");
  EXPECT_EQ(DefaultDownloadRoot(), "/srv/dl/flash/");
}

TEST(Paths, EnsureFolderCreatesParentsAndAcceptsExisting) {
  TempDir dir;
  EXPECT_TRUE(EnsureFolder(dir / "a/b/c"));
  EXPECT_TRUE(EnsureFolder(dir / "a/b/c"));
  test::WriteFile(dir / "file", "x");
  EXPECT_FALSE(EnsureFolder(dir / "file"));
}

TEST(InstanceLockTest, SecondHolderIsToldItIsRunningUntilTheFirstEnds) {
  TempDir dir;
  const std::string path = dir / "tavimo.lock";
  auto first = std::make_unique<InstanceLock>();
  EXPECT_EQ(first->Acquire(path), InstanceLock::Outcome::Acquired);
  InstanceLock second;
  EXPECT_EQ(second.Acquire(path), InstanceLock::Outcome::AlreadyRunning);
  first.reset();
  EXPECT_EQ(second.Acquire(path), InstanceLock::Outcome::Acquired);
}

TEST(InstanceLockTest, UnopenablePathFailsWithoutClaimingARunningCopy) {
  TempDir dir;
  InstanceLock lock;
  EXPECT_EQ(lock.Acquire(dir / "missing/folder/tavimo.lock"), InstanceLock::Outcome::Failed);
}

}  // namespace
}  // namespace tavimo
