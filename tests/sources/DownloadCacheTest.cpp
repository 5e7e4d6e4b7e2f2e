#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <unistd.h>

#include "sources/cache/DownloadCache.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

// The download cache keeps a body under a fresh name of its own until it is whole: a file
// planted where a fixed name used to be (here a hard link to a file of the user's) is neither
// written through nor removed, whether the body is linked or, across file systems, copied.
TEST(DownloadCacheStore, NeverWritesThroughAPlantedName) {
  for (const bool acrossFileSystems : {false, true}) {
    SCOPED_TRACE(acrossFileSystems ? "copied" : "linked");
    test::TempDir dir;
    std::optional<test::TempDir> shm;
    std::string saved = dir / "movie.swf";
    if (acrossFileSystems) {
      if (!std::filesystem::is_directory("/dev/shm")) continue;
      test::ScopedEnv env;
      env.Set("TMPDIR", "/dev/shm");
      shm.emplace();
      saved = *shm / "movie.swf";
    }
    const std::string folder = dir / "cache";
    test::WriteFile(saved, "first body");
    std::string error;
    ASSERT_TRUE(StoreDownload(folder, "http://h/m.swf", "HTTP/1.1 200 OK\r\n", saved, 1 << 20, error))
        << error;
    std::string body;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() == ".body") body = e.path().string();
    }
    ASSERT_FALSE(body.empty());
    test::WriteFile(dir / "precious", "precious");
    ASSERT_EQ(::link((dir / "precious").c_str(), (body + ".part").c_str()), 0);

    test::WriteFile(saved, "second body");
    ASSERT_TRUE(StoreDownload(folder, "http://h/m.swf", "HTTP/1.1 200 OK\r\n", saved, 1 << 20, error))
        << error;
    EXPECT_EQ(test::ReadFile(dir / "precious"), "precious");
    EXPECT_EQ(test::ReadFile(body + ".part"), "precious");
    EXPECT_EQ(test::ReadFile(body), "second body");
    EXPECT_EQ(test::EntriesIn(folder), 3u) << [&] {
      std::string names;
      for (const auto& e : std::filesystem::directory_iterator(folder))
        names += e.path().filename().string() + " ";
      return names;
    }();  // entry, body and the planted name: nothing of ours left
  }
}

}  // namespace
}  // namespace tavimo
