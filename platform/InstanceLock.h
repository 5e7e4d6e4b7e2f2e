#pragma once
// The single-instance lock: an exclusive flock held for the life of the first instance.
// The kernel drops it when the process ends, however it ends.
#include <string>

namespace tavimo {

class InstanceLock {
 public:
  enum class Outcome { Acquired, AlreadyRunning, Failed };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries once, never waits. Failed (the file cannot be opened) counts as a first instance
  // for the caller, so two copies may then run side by side.
  Outcome Acquire(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace tavimo
