// The player page's private scheme only ever hands out the emulator's own files by plain name.
#include <gtest/gtest.h>

#include "platform/player/PlayerSchemeHandler.h"

namespace tavimo {
namespace {

TEST(PlayerSchemeHandler, ServesOnlyPlainFileNamesFromTheEmulatorFolder) {
  for (const char* name : {"ruffle.js", "core.ruffle.c80159b526e567babaf5.js",
                           "72a20ef1c0b8ceb37720.wasm", "LICENSE_MIT"}) {
    EXPECT_TRUE(PlayerSchemeHandler::IsPlainName(QString::fromLatin1(name))) << name;
  }
  for (const char* name : {"", ".", "..", "../package.json", "a/b.js", "..%2fx", ".hidden",
                           "a\\b", "ruffle.js?x=1", "/etc/passwd", "r\xc3\xa9.js"}) {
    EXPECT_FALSE(PlayerSchemeHandler::IsPlainName(QString::fromUtf8(name))) << name;
  }
}

TEST(PlayerSchemeHandler, ContentTypesTheEngineNeeds) {
  // WebAssembly must come as application/wasm or the engine refuses to compile it streaming.
  EXPECT_EQ(PlayerSchemeHandler::ContentType("826bb0938097485a2c9d.wasm"), "application/wasm");
  EXPECT_EQ(PlayerSchemeHandler::ContentType("ruffle.js"), "text/javascript");
  EXPECT_EQ(PlayerSchemeHandler::ContentType("7.swf"), "application/x-shockwave-flash");
  EXPECT_EQ(PlayerSchemeHandler::ContentType("ruffle.js.map"), "application/octet-stream");
}

TEST(PlayerSchemeHandler, EachMovieGetsANewAddress) {
  PlayerSchemeHandler handler(QStringLiteral("/nowhere"), nullptr);
  const QString first = handler.SetMovie("FWS1");
  const QString second = handler.SetMovie("FWS2");
  EXPECT_TRUE(first.startsWith("tavimo://player/movie/"));
  EXPECT_NE(first, second) << "a page must never get an older movie from a reused address";
}

}  // namespace
}  // namespace tavimo
