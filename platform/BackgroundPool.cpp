#include "platform/BackgroundPool.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <openssl/crypto.h>

#include <algorithm>
#include <deque>
#include <mutex>

namespace tavimo {
namespace {

// Made on first use. The jobs are waited for when the application object goes (before the
// statics they may use are destroyed), or at static destruction without one; see the header.
class PoolHolder {
 public:
  PoolHolder() : pool_(new QThreadPool) {
    pool_->setMaxThreadCount(BackgroundPool::kDefaultMaxThreads);
    if (QCoreApplication::instance()) qAddPostRoutine(&PoolHolder::atExit);
  }
  ~PoolHolder() {
    if (!finish()) return;
    delete pool_;
  }
  PoolHolder(const PoolHolder&) = delete;
  PoolHolder& operator=(const PoolHolder&) = delete;
  QThreadPool& pool() { return *pool_; }

 private:
  static void atExit();
  // Waits once; false when jobs still run after the bound: the threads are then left to the
  // ending process (deleting the pool would wait for them without end).
  bool finish() {
    if (!waited_) {
      waited_ = true;
      idle_ = pool_->waitForDone(BackgroundPool::kExitWaitMs);
    }
    return idle_;
  }

  QThreadPool* pool_;
  bool waited_ = false;
  bool idle_ = false;
};

PoolHolder& holder() {
  static PoolHolder h;
  return h;
}

void PoolHolder::atExit() { holder().finish(); }

QThreadPool& pool() { return holder().pool(); }

// The jobs pass through a queue of our own under a std::mutex rather than inside Qt's runnables:
// Qt hands runnables over with its own futex locks, which ThreadSanitizer cannot see, so a
// sanitized build would take every job's captured state for a race.
std::mutex jobsMutex;
std::deque<std::function<void()>> jobs;

void runOne() {
  std::function<void()> job;
  {
    std::lock_guard lock(jobsMutex);
    job = std::move(jobs.front());
    jobs.pop_front();
  }
  job();
  // A pool thread may sit idle past the program's end, so it hands back what OpenSSL keeps per
  // thread (the downloads' TLS) after every job instead of at its own end.
  OPENSSL_thread_stop();
}

}  // namespace

void BackgroundPool::SetMaxThreads(int count) { pool().setMaxThreadCount(std::max(count, kMinThreads)); }

int BackgroundPool::MaxThreads() { return pool().maxThreadCount(); }

void BackgroundPool::Start(std::function<void()> job) {
  {
    std::lock_guard lock(jobsMutex);
    jobs.push_back(std::move(job));
  }
  pool().start(&runOne);  // one runnable per job: each takes the oldest waiting
}

bool BackgroundPool::WaitForIdle(int ms) { return pool().waitForDone(ms); }

}  // namespace tavimo
