#pragma once
// Asynchronous name lookup: getaddrinfo (IPv4) on a thread of the background pool, the answer
// posted to a message window as msg with wParam = request id and the Winsock error in the high
// word of lParam. A cancelled request's answer is dropped, also when the worker is still running.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavimo {

class MessageWindow;

struct HostAnswer {
  int error = 0;                       // Winsock code, 0 on success
  std::vector<std::string> addresses;  // dotted IPv4, in the resolver's order
};

// Blocking lookup through the system's getaddrinfo (what the worker runs by default).
HostAnswer LookupHost(const std::string& name);

// Answers lookups instead of the system (a test's names, a slow resolver); it runs on a pool
// thread. Empty: the system's getaddrinfo.
using HostResolver = std::function<HostAnswer(const std::string& name)>;

class HostLookup {
 public:
  HostLookup(MessageWindow* window, unsigned msg, HostResolver resolver = {});
  ~HostLookup();  // cancels a pending request
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // Starts a request (cancelling a pending one); returns its id, never 0.
  std::uintptr_t Start(const std::string& name);
  // Drops the pending request's answer; false when nothing was pending.
  bool Cancel();
  std::uintptr_t Pending() const;
  // Called when the message arrives: the answer of request id if it is the pending one
  // (then nothing is pending any more), else nullptr.
  std::unique_ptr<HostAnswer> Finish(std::uintptr_t id);

 private:
  struct Request;
  MessageWindow* window_;
  unsigned msg_;
  HostResolver resolver_;
  std::shared_ptr<Request> pending_;
};

}  // namespace tavimo
