// The background pool with the name lookups on it: long jobs never keep a lookup waiting, and a
// lookup cancelled or destroyed while its job runs reports to nobody.
#include "platform/BackgroundPool.h"
#include "platform/HostLookup.h"
#include "compat/MessageWindow.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tavimo {
namespace {

constexpr unsigned kLookupDone = WM_USER + 2;

template <typename Cond>
bool WaitFor(Cond cond, int ms = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond() && std::chrono::steady_clock::now() < until)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return cond();
}

// Holds the jobs that wait on it (a long download, a slow resolver) until opened.
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int Waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

struct Message {
  unsigned msg;
  std::uintptr_t id;
  std::intptr_t lParam;
};

TEST(BackgroundPool, MaxThreadsIsASettingWithAFloor) {
  struct Case {
    int asked, expected;
  };
  for (const Case c : {Case{-1, BackgroundPool::kMinThreads}, Case{0, BackgroundPool::kMinThreads},
                       Case{1, BackgroundPool::kMinThreads}, Case{3, 3}, Case{200, 200}}) {
    BackgroundPool::SetMaxThreads(c.asked);
    EXPECT_EQ(BackgroundPool::MaxThreads(), c.expected) << c.asked;
  }
  BackgroundPool::SetMaxThreads(BackgroundPool::kDefaultMaxThreads);
}

// Downloads hold their thread for the whole transfer: with that many running, a lookup still
// gets a thread and answers while they go on.
class LookupBesideLongJobs : public ::testing::TestWithParam<int> {};

TEST_P(LookupBesideLongJobs, AnswersWhileTheyRun) {
  const int longJobs = GetParam();
  Gate gate;
  for (int i = 0; i < longJobs; ++i) BackgroundPool::Start([&gate] { gate.Wait(); });
  ASSERT_TRUE(WaitFor([&] { return gate.Waiting() == longJobs; }));

  std::vector<Message> got;
  MessageWindow window([&](unsigned m, std::uintptr_t w, std::intptr_t l) { got.push_back({m, w, l}); });
  HostLookup lookup(&window, kLookupDone);
  const std::uintptr_t id = lookup.Start("127.0.0.1");
  EXPECT_TRUE(WaitFor([&] { return !got.empty(); }));
  EXPECT_EQ(gate.Waiting(), longJobs);  // still running
  gate.Open();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, id);
  const auto answer = lookup.Finish(id);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->error, 0);
  EXPECT_EQ(answer->addresses, std::vector<std::string>{"127.0.0.1"});
  EXPECT_TRUE(BackgroundPool::WaitForIdle(5000));
}

INSTANTIATE_TEST_SUITE_P(Downloads, LookupBesideLongJobs, ::testing::Values(1, 8, 32),
                         [](const auto& p) { return std::to_string(p.param) + "Running"; });

// The answer of a request nobody waits for any more is dropped: after Cancel, after a newer
// Start, and when lookup and window are gone before the resolver returns.
TEST(BackgroundPool, AnAbandonedLookupReportsToNobody) {
  enum class Abandon { Cancel, Restart, Destroy };
  for (const Abandon how : {Abandon::Cancel, Abandon::Restart, Abandon::Destroy}) {
    SCOPED_TRACE(static_cast<int>(how));
    Gate gate;
    const HostResolver resolver = [&gate](const std::string& name) {
      HostAnswer a;
      if (name == "slow.test") gate.Wait();
      a.addresses = {name == "slow.test" ? "10.0.0.1" : "127.0.0.1"};
      return a;
    };
    std::vector<Message> got;
    auto window = std::make_unique<MessageWindow>([&](unsigned m, std::uintptr_t w, std::intptr_t l) {
      got.push_back({m, w, l});
    });
    auto lookup = std::make_unique<HostLookup>(window.get(), kLookupDone, resolver);
    const std::uintptr_t slow = lookup->Start("slow.test");
    ASSERT_TRUE(WaitFor([&] { return gate.Waiting() == 1; }));
    std::uintptr_t fast = 0;
    switch (how) {
      case Abandon::Cancel:
        EXPECT_TRUE(lookup->Cancel());
        EXPECT_EQ(lookup->Pending(), 0u);
        break;
      case Abandon::Restart:
        fast = lookup->Start("fast.test");
        EXPECT_NE(fast, slow);
        break;
      case Abandon::Destroy:
        lookup.reset();
        window.reset();
        break;
    }
    gate.Open();
    EXPECT_TRUE(BackgroundPool::WaitForIdle(5000));
    QCoreApplication::processEvents();
    if (how == Abandon::Restart) {
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].id, fast);
      EXPECT_FALSE(lookup->Finish(slow));
      const auto answer = lookup->Finish(fast);
      ASSERT_TRUE(answer);
      EXPECT_EQ(answer->addresses, std::vector<std::string>{"127.0.0.1"});
    } else {
      EXPECT_TRUE(got.empty());
      if (lookup) {
        EXPECT_FALSE(lookup->Finish(slow));
      }
    }
  }
}

}  // namespace
}  // namespace tavimo
