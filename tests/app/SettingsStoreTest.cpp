#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "app/SettingsStore.h"
#include "platform/BackgroundPool.h"
#include "platform/Paths.h"
#include "tests/support/FakeRegistrySource.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string Ini() const { return home_ / "config/tavimo/info.ini"; }
  void WriteIni(const std::string& text) { test::WriteFile(Ini(), text); }
  TSettingsStore Load() {
    TSettingsStore s(SettingsFilePath(), registry_, controls_);
    s.LoadSettings();
    return s;
  }

  test::TempHome home_;
  FakeRegistrySource registry_;
  PlainSettingsControls controls_;
};

TEST_F(SettingsStoreTest, NoFileGivesEveryDefault) {
  TSettingsStore s = Load();
  EXPECT_TRUE(s.IsPreview);
  EXPECT_TRUE(s.AutoClose);
  EXPECT_EQ(s.DownloadMode, 0);
  EXPECT_EQ(s.DetectMode, 1);  // an absent DetectOption means "include cache"
  EXPECT_EQ(s.DownloadRoot, home_ / "Downloads/flash/");
  EXPECT_EQ(controls_.RootFieldText, home_ / "Downloads/flash/");
  EXPECT_EQ(controls_.Items, DefaultCategories());
  EXPECT_EQ(controls_.Index, 0);
}

TEST_F(SettingsStoreTest, EnsureDefaultRootCreatesOneFolder) {
  TSettingsStore s(SettingsFilePath(), registry_, controls_);
  s.EnsureDefaultRoot();  // no download folder: nothing is built below the home folder
  EXPECT_FALSE(test::FileExists(home_ / "Downloads"));
  test::WriteFile(home_ / "Downloads/.keep", "");
  s.EnsureDefaultRoot();
  EXPECT_TRUE(test::FileExists(home_ / "Downloads/flash"));
}

// A value with a line break would write lines of its own into the file: the save is refused
// with the file's error and the file on disk stays as it was.
TEST_F(SettingsStoreTest, ALineBreakInAValueNeverReachesTheFile) {
  const std::string before = "[classes]\nclassnum=1\nclass0=Music\n[other]\nkeep=1\n";
  for (const std::string bad : {"a\nb", "a\r\n[options]\r\nispreview=0", "\r", "x\n"}) {
    WriteIni(before);
    controls_.Items = {"--", bad};
    TSettingsStore s(SettingsFilePath(), registry_, controls_);
    EXPECT_THROW(s.SaveSettings(), EIniFileException);
    EXPECT_EQ(test::ReadFile(Ini()), before);
    EXPECT_TRUE(s.SettingsFile().PendingWrites().empty());
    controls_.Items = {"--"};
    s.SaveSettings();  // nothing of the refused save comes along with the next one
    EXPECT_EQ(Load().SettingsFile().ReadString("classes", "class1", "none"), "none");
  }
  TIniFile ini(Ini());
  EXPECT_THROW(ini.WriteString("a\nb", "k", "v"), EIniFileException);
  EXPECT_THROW(ini.WriteString("s", "k\r", "v"), EIniFileException);
}

TEST_F(SettingsStoreTest, OddIntegerFormsAndOptionNumbers) {
  WriteIni("[options]\nispreview=0x0\nautoclose=yes\nDownloadOption=0\nDetectOption=7\n");
  TSettingsStore s = Load();
  EXPECT_FALSE(s.IsPreview);  // 0x0 is zero
  EXPECT_TRUE(s.AutoClose);   // a word counts as absent
  EXPECT_EQ(s.DownloadMode, 0);
  EXPECT_EQ(s.DetectMode, 0);  // out of range: start value, not the absent-key value

  WriteIni("[OPTIONS]\nIsPreview=$0\nDOWNLOADOPTION=3\ndetectoption=0x3\n");
  TSettingsStore t = Load();
  EXPECT_FALSE(t.IsPreview);
  EXPECT_EQ(t.DownloadMode, 2);
  EXPECT_EQ(t.DetectMode, 2);
}

// Read from [limits], and from [options] where files written before [limits] keep it.
TEST_F(SettingsStoreTest, BackgroundThreadsSetThePoolsBound) {
  const struct {
    const char* text;
    int threads;
  } cases[] = {{"", BackgroundPool::kDefaultMaxThreads},
               {"[options]\nbackgroundthreads=8\n", 8},
               {"[options]\nbackgroundthreads=0\n", BackgroundPool::kMinThreads},
               {"[options]\nbackgroundthreads=many\n", BackgroundPool::kDefaultMaxThreads},
               {"[limits]\nbackgroundthreads=6\n[options]\nbackgroundthreads=8\n", 6},
               {"[limits]\nbackgroundthreads=-3\n", BackgroundPool::kMinThreads}};
  for (const auto& c : cases) {
    WriteIni(c.text);
    Load();
    EXPECT_EQ(BackgroundPool::MaxThreads(), c.threads) << c.text;
  }
  BackgroundPool::SetMaxThreads(BackgroundPool::kDefaultMaxThreads);
}

TEST_F(SettingsStoreTest, FolderKeyPresentButEmptyChangesNothing) {
  controls_.RootFieldText = "laid out";
  WriteIni("[saveoption]\nfolder=\n");
  TSettingsStore s = Load();
  EXPECT_EQ(s.DownloadRoot, home_ / "Downloads/flash/");
  EXPECT_EQ(controls_.RootFieldText, "laid out");
  WriteIni("[saveoption]\nfolder=/srv/movies/\n");
  TSettingsStore t = Load();
  EXPECT_EQ(t.DownloadRoot, "/srv/movies/");
  EXPECT_EQ(controls_.RootFieldText, "/srv/movies/");
}

TEST_F(SettingsStoreTest, CategoriesAreTrimmedPaddedAndBounded) {
  WriteIni("[classes]\nclassnum=2\nclass0=  Music \t\n");
  Load();
  EXPECT_EQ(controls_.Items, (std::vector<std::string>{"Music", ""}));
  EXPECT_EQ(controls_.Index, 0);

  // A list longer than the bound (the "categories" limit) keeps its first entries; saving it
  // then keeps them too.
  std::string many = "[classes]\nclassnum=300\n";
  for (int i = 0; i < 300; ++i) many += "class" + std::to_string(i) + "=c" + std::to_string(i) + "\n";
  for (const auto& [count, bound] :
       std::vector<std::pair<int, int>>{{300, 10}, {300, 256}, {256, 256}, {257, 256}}) {
    WriteIni(std::string(many).replace(many.find("300"), 3, std::to_string(count)) +
             (bound == 256 ? "" : "[limits]\ncategories=" + std::to_string(bound) + "\n"));
    controls_.Items = DefaultCategories();
    TSettingsStore s(SettingsFilePath(), registry_, controls_);
    s.LoadSettings();
    EXPECT_EQ(s.MaxCategories, bound);
    ASSERT_EQ(controls_.Items.size(), static_cast<size_t>(std::min(count, bound))) << count;
    EXPECT_EQ(controls_.Items.back(), "c" + std::to_string(std::min(count, bound) - 1));
  }
  {
    TSettingsStore s = Load();
    s.SaveSettings();
  }
  controls_.Items.clear();
  Load();
  EXPECT_EQ(controls_.Items.size(), 256u);

  WriteIni("[classes]\nclassnum=-1\nclass0=x\n");
  controls_.Items = DefaultCategories();
  Load();
  EXPECT_EQ(controls_.Items, DefaultCategories());
}

TEST_F(SettingsStoreTest, SaveWritesTheKeysInOrderOnAFreshFile) {
  TSettingsStore s = Load();
  s.IsPreview = false;
  s.DownloadMode = 1;
  controls_.Items = {"--", "Cartoons"};
  s.SaveSettings();
  EXPECT_EQ(test::ReadFile(Ini()),
            "[saveoption]\r\nfolder=" + home_ / "Downloads/flash/" +
                "\r\n[classes]\r\nclass0=--\r\nclass1=Cartoons\r\nclassnum=2\r\n"
                "[options]\r\nispreview=0\r\nautoclose=1\r\nDownloadOption=2\r\nDetectOption=2\r\n");
}

TEST_F(SettingsStoreTest, SaveRoundTripsAndKeepsForeignSectionsAndStaleCategories) {
  WriteIni(
      "[window]\nleft=10\n[classes]\nclassnum=6\nclass0=a\nclass1=b\nclass2=c\nclass3=d\n"
      "class4=e\nclass5=f\n[options]\nfavourite=blue\n");
  TSettingsStore s = Load();
  ASSERT_EQ(controls_.Items.size(), 6u);
  controls_.Items.resize(4);
  s.AutoClose = false;
  s.DetectMode = 2;
  s.SaveSettings();
  const std::string text = test::ReadFile(Ini());
  EXPECT_NE(text.find("[window]\r\nleft=10\r\n"), std::string::npos);
  EXPECT_NE(text.find("favourite=blue"), std::string::npos);
  EXPECT_NE(text.find("class5=f"), std::string::npos);  // left behind, not read back
  EXPECT_NE(text.find("classnum=4"), std::string::npos);

  controls_.Items = DefaultCategories();
  TSettingsStore t = Load();
  EXPECT_EQ(controls_.Items, (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_FALSE(t.AutoClose);
  EXPECT_EQ(t.DetectMode, 2);
}

TEST_F(SettingsStoreTest, ADownloadOptionOfZeroIsWrittenBackAsOne) {
  WriteIni("[options]\nDownloadOption=0\n");
  Load().SaveSettings();
  EXPECT_NE(test::ReadFile(Ini()).find("DownloadOption=1\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, RootFieldTextIsNotSaved) {
  TSettingsStore s = Load();
  controls_.RootFieldText = "/typed/but/not/used/";
  s.SaveSettings();
  EXPECT_NE(test::ReadFile(Ini()).find("folder=" + home_ / "Downloads/flash/"), std::string::npos);
}

TEST_F(SettingsStoreTest, WriteErrorCarriesTheFileName) {
  test::WriteFile(home_ / "blocker", "");
  TSettingsStore s(home_ / "blocker/info.ini", registry_, controls_);
  s.LoadSettings();
  try {
    s.SaveSettings();
    FAIL();
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + home_ / "blocker/info.ini");
  }
}

TEST_F(SettingsStoreTest, SaveKilledBeforeTheRenameLeavesTheOldFile) {
  WriteIni("[options]\r\nispreview=1\r\n");
  const std::string before = test::ReadFile(Ini());
  pid_t pid = fork();
  if (pid == 0) {
    TSettingsStore s(SettingsFilePath(), registry_, controls_);
    s.LoadSettings();
    s.IsPreview = false;
    s.SettingsFile().SetBeforeReplaceHook([] { ::kill(::getpid(), SIGKILL); });
    s.SaveSettings();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(test::ReadFile(Ini()), before);
  TSettingsStore s = Load();
  EXPECT_TRUE(s.IsPreview);
}

class ProxySettingsTest : public SettingsStoreTest {
 protected:
  bool Read(TSettingsStore& s) { return s.ReadProxySettings(); }
};

TEST_F(ProxySettingsTest, SplitsAtTheLastColon) {
  TSettingsStore s(SettingsFilePath(), registry_, controls_);
  registry_.Set(kInternetSettingsKey, "ProxyEnable", std::int32_t(1));
  registry_.Set(kInternetSettingsKey, "ProxyServer", std::string("proxy.lan:3128"));
  EXPECT_TRUE(Read(s));
  EXPECT_EQ(s.ProxyHost, "proxy.lan");
  EXPECT_EQ(s.ProxyPort, "3128");

  registry_.Set(kInternetSettingsKey, "ProxyServer", std::string("http=a:80;ftp=b:21"));
  EXPECT_TRUE(Read(s));
  EXPECT_EQ(s.ProxyHost, "http=a:80;ftp=b");
  EXPECT_EQ(s.ProxyPort, "21");

  registry_.Set(kInternetSettingsKey, "ProxyServer", std::string("nocolon"));
  EXPECT_TRUE(Read(s));
  EXPECT_EQ(s.ProxyHost, "");
  EXPECT_EQ(s.ProxyPort, "nocolon");
}

TEST_F(ProxySettingsTest, DisabledOrEmptyLeavesTheLastValues) {
  TSettingsStore s(SettingsFilePath(), registry_, controls_);
  s.ProxyHost = "kept";
  s.ProxyPort = "1";
  registry_.Set(kInternetSettingsKey, "ProxyEnable", std::int32_t(0));
  registry_.Set(kInternetSettingsKey, "ProxyServer", RegBinary{});  // not read while disabled
  EXPECT_FALSE(Read(s));
  registry_.Set(kInternetSettingsKey, "ProxyEnable", std::int32_t(1));
  registry_.Set(kInternetSettingsKey, "ProxyServer", std::string(""));
  EXPECT_FALSE(Read(s));
  EXPECT_EQ(s.ProxyHost, "kept");
  EXPECT_EQ(s.ProxyPort, "1");
}

TEST_F(ProxySettingsTest, ReadErrorsNameTheValue) {
  TSettingsStore s(SettingsFilePath(), registry_, controls_);
  registry_.Set(kInternetSettingsKey, "Other", std::int32_t(0));
  try {
    Read(s);
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'ProxyEnable'");
  }
  registry_.Set(kInternetSettingsKey, "ProxyEnable", std::string("1"));
  try {
    Read(s);
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'ProxyEnable'");
  }
}

TEST_F(ProxySettingsTest, TheEnvironmentIsReadAtEveryCall) {
  EnvRegistrySource env;
  TSettingsStore s(SettingsFilePath(), env, controls_);
  EXPECT_FALSE(s.ReadProxySettings());
  test::ScopedEnv vars;
  vars.Set("http_proxy", "http://10.0.0.1:8080/");
  EXPECT_TRUE(s.ReadProxySettings());
  EXPECT_EQ(s.ProxyHost, "10.0.0.1");
  EXPECT_EQ(s.ProxyPort, "8080");
}

}  // namespace
}  // namespace tavimo
