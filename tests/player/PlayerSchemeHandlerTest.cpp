// The player page's private scheme only ever hands out the emulator's own files by plain name.
#include <gtest/gtest.h>

#include "player/module/PlayerSchemeHandler.h"

namespace tavimo {
namespace {

TEST(PlayerSchemeHandler, ServesOnlyPlainFileNamesFromTheEmulatorFolder) {
  for (const char* name :
       {"ruffle.js", "core.ruffle.c80159b526e567babaf5.js", "72a20ef1c0b8ceb37720.wasm", "LICENSE_MIT"}) {
    EXPECT_TRUE(PlayerSchemeHandler::IsPlainName(QString::fromLatin1(name))) << name;
  }
  for (const char* name : {"", ".", "..", "../package.json", "a/b.js", "..%2fx", ".hidden", "a\\b",
                           "ruffle.js?x=1", "/etc/passwd", "r\xc3\xa9.js"}) {
    EXPECT_FALSE(PlayerSchemeHandler::IsPlainName(QString::fromUtf8(name))) << name;
  }
}

}  // namespace
}  // namespace tavimo
