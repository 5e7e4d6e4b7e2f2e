#include "platform/BackgroundPool.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>

namespace tavimo {
namespace {

QThreadPool& pool();

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

}  // namespace

void BackgroundPool::SetMaxThreads(int count) { pool().setMaxThreadCount(std::max(count, kMinThreads)); }

int BackgroundPool::MaxThreads() { return pool().maxThreadCount(); }

void BackgroundPool::Start(std::function<void()> job) { pool().start(std::move(job)); }

bool BackgroundPool::WaitForIdle(int ms) { return pool().waitForDone(ms); }

}  // namespace tavimo
