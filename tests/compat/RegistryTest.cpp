#include <gtest/gtest.h>

#include "compat/Registry.h"
#include "tests/support/FakeRegistrySource.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(Registry, IntegerReadsReportAbsentAndWrongTypeWithTheValueName) {
  FakeRegistrySource src;
  src.Set(kInternetSettingsKey, "ProxyServer", std::string("h:1"));
  TRegistry reg(src);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kInternetSettingsKey));
  try {
    reg.ReadInteger("ProxyEnable");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'ProxyEnable'");
  }
  try {
    reg.ReadInteger("ProxyServer");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'ProxyServer'");
  }
}

TEST(Registry, StringReadsGiveEmptyWhenAbsentAndFailOnWrongType) {
  FakeRegistrySource src;
  src.Set(kTavimoKey, "helppath", std::int32_t(3));
  TRegistry reg(src);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\software\\TAVIMO"));  // names match in any case
  EXPECT_THROW(reg.ReadString("helppath"), ERegistryException);
  EXPECT_EQ(reg.ReadString("other"), "");
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\nowhere"));
}

TEST(Registry, EnvironmentProxyBecomesTheBrowserSettings) {
  test::ScopedEnv env;
  env.Unset("http_proxy");
  env.Unset("HTTP_PROXY");
  EnvRegistrySource src;
  TRegistry reg(src);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kInternetSettingsKey));
  EXPECT_EQ(reg.ReadInteger("ProxyEnable"), 0);
  EXPECT_EQ(reg.ReadString("ProxyServer"), "");

  env.Set("HTTP_PROXY", "http://user:pw@proxy.lan:3128/");
  EXPECT_EQ(reg.ReadInteger("ProxyEnable"), 1);
  EXPECT_EQ(reg.ReadString("ProxyServer"), "proxy.lan:3128");

  env.Set("http_proxy", "cache:8080");  // the lower-case name wins
  EXPECT_EQ(reg.ReadString("ProxyServer"), "cache:8080");
  env.Set("http_proxy", "");  // empty counts as unset
  EXPECT_EQ(reg.ReadString("ProxyServer"), "proxy.lan:3128");
}

}  // namespace
}  // namespace tavimo
