// The window sets its components up from the settings' [limits].
#include <filesystem>

#include "detect/PageScan.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/BackgroundPool.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using WindowLimitsTest = FormTest;

// Every limit of the file reaches the component it bounds (a key that moved from [options]
// through its old spelling too).
TEST_F(WindowLimitsTest, TheFilesLimitsReachTheComponents) {
  std::filesystem::create_directories(std::filesystem::path(SettingsFilePath()).parent_path());
  WriteFile(SettingsFilePath(),
            "[limits]\npages=7\npagebytes=7001\nscanbytes=7002\nheadbytes=7003\ncachebytes=7004\n"
            "clientidleseconds=71\nclientrequestseconds=72\ngetterconnectseconds=73\ngetterstallseconds=74\n"
            "categories=75\nbackgroundthreads=76\nredirects=3\n[options]\nmoviebytes=7005\n");
  TFrmTavimo& f = Form();
  const std::pair<long long, long long> set[] = {
      {f.PageScan().MaxPages, 7},
      {f.PageScan().MaxPageBytes, 7001},
      {f.PageScan().MaxScanBytes, 7002},
      {static_cast<long long>(f.HttpCli1->MaxHeaderBytes), 7003},
      {static_cast<long long>(f.HttpCli2->MaxHeaderBytes), 7003},
      {static_cast<long long>(f.httpgetfile->MaxHeaderBytes), 7003},
      {f.httpgetfile->CacheLimitBytes, 7004},
      {f.HttpCli1->MaxRelocations, 3},
      {f.HttpCli2->MaxRelocations, 3},
      {f.HttpCli1->InactivityTimeout, 71},
      {f.HttpCli2->InactivityTimeout, 71},
      {f.HttpCli1->RequestTimeout, 72},
      {f.HttpCli2->RequestTimeout, 72},
      {f.httpgetfile->ConnectTimeout, 73},
      {f.httpgetfile->StallTimeout, 74},
      {f.Settings().MaxCategories, 75},
      {BackgroundPool::MaxThreads(), 76},
      {f.httpgetfile->MaxMovieBytes, 7005},
      {f.CacheStore->MaxMovieBytes, 7005},
  };
  for (std::size_t i = 0; i < std::size(set); ++i) EXPECT_EQ(set[i].first, set[i].second) << "row " << i;
  BackgroundPool::SetMaxThreads(BackgroundPool::kDefaultMaxThreads);
}

}  // namespace
}  // namespace tavimo::test
