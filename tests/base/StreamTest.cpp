#include <gtest/gtest.h>

#include "base/Stream.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(MemoryStream, WritesReadsAndSeeksLikeAFile) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  s.SetPosition(6);
  s.WriteBuffer("W", 1);
  s.Seek(0, SeekOrigin::End);
  s.WriteBuffer("!", 1);
  EXPECT_EQ(s.View(), "hello World!");
  s.SetPosition(0);
  char buf[5];
  EXPECT_EQ(s.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  s.Seek(-1, SeekOrigin::End);
  EXPECT_EQ(s.Read(buf, 5), 1);
  s.SetSize(5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.View(), "hello");
}

TEST(FileStream, CreateFailsWithTheFileNameInTheMessage) {
  test::TempDir dir;
  const std::string bad = dir / "no/such/folder/a.swf";
  try {
    TFileStream f(bad, TFileStream::Mode::Create);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + bad);
  }
  {
    TFileStream f(dir / "a.bin", TFileStream::Mode::Create);
    f.WriteBuffer("abc", 3);
    EXPECT_EQ(f.Size(), 3);
  }
  EXPECT_EQ(test::ReadFile(dir / "a.bin"), "abc");
}

}  // namespace
}  // namespace tavimo
