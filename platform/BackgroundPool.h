#pragma once
// The program's one pool of threads for work that blocks: name lookups (getaddrinfo) and
// downloads (one libcurl transfer each). Every job reports back through an object that outlives
// it or that it was told to stop by (a cancelled lookup posts nothing, a stopped download ends at
// its next block and raises nothing), so no job ever reaches a destroyed owner.
//
// Program exit: the pool waits for the jobs still running. By then their owners have stopped
// them: a download ends at its next progress check (well under a second), a lookup whose answer
// nobody wants any more ends when its getaddrinfo returns, which the resolver itself bounds
// (resolv.conf `timeout` x `attempts`, 5 s x 2 per name server by default). Should a job still
// run after kExitWaitMs (a resolver that ignores its own limits) the pool is left to the ending
// process rather than holding the exit up for ever.
#include <functional>

namespace tavimo {

class BackgroundPool {
 public:
  // Most threads at once, the backgroundthreads limit of the settings (SetMaxThreads). A download holds its
  // thread for its whole transfer, a lookup only for its getaddrinfo; 64 is far more than the downloads the
  // program ever runs together, so long downloads never leave a name lookup waiting in the queue.
  static constexpr int kDefaultMaxThreads = 64;
  static constexpr int kMinThreads = 2;
  static constexpr int kExitWaitMs = 30000;

  // Values below kMinThreads are raised to it. Jobs already queued keep their place.
  static void SetMaxThreads(int count);
  static int MaxThreads();
  // Runs job on a pool thread, at once or when a thread is free. job must not throw.
  static void Start(std::function<void()> job);
  // Blocks until no job runs or is queued, or ms passed (-1: no bound); true when idle.
  static bool WaitForIdle(int ms);
};

}  // namespace tavimo
