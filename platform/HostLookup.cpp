#include "platform/HostLookup.h"

#include "platform/BackgroundPool.h"
#include "compat/MessageWindow.h"
#include "compat/WinsockErrors.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tavimo {
namespace {

std::uintptr_t nextId() {
  static std::atomic<std::uintptr_t> counter{0};
  return ++counter;
}

}  // namespace

struct HostLookup::Request {
  std::mutex mutex;
  bool cancelled = false;
  bool done = false;
  MessageWindow* window = nullptr;
  unsigned msg = 0;
  std::uintptr_t id = 0;
  HostAnswer answer;
};

HostAnswer LookupHost(const std::string& name) {
  HostAnswer result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  errno = 0;
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (rc != 0) {
    result.error = WinsockFromGai(rc, errno);
    return result;
  }
  for (addrinfo* ai = list; ai && result.addresses.size() < 256; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN];
    const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
    ::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
    result.addresses.emplace_back(text);
  }
  ::freeaddrinfo(list);
  if (result.addresses.empty()) result.error = WSANO_DATA;
  return result;
}

HostLookup::HostLookup(MessageWindow* window, unsigned msg, HostResolver resolver)
    : window_(window), msg_(msg), resolver_(std::move(resolver)) {}

HostLookup::~HostLookup() { Cancel(); }

std::uintptr_t HostLookup::Start(const std::string& name) {
  Cancel();
  auto request = std::make_shared<Request>();
  request->window = window_;
  request->msg = msg_;
  request->id = nextId();
  pending_ = request;
  // getaddrinfo cannot be interrupted: a cancelled request runs on to its end and posts nothing.
  BackgroundPool::Start([request, name, resolver = resolver_] {
    HostAnswer answer = resolver ? resolver(name) : LookupHost(name);
    std::lock_guard lock(request->mutex);
    request->answer = std::move(answer);
    request->done = true;
    // Posting under the lock: Cancel (which the owner runs before destroying the window)
    // cannot slip in between the check and the post.
    if (!request->cancelled) {
      request->window->post(request->msg, request->id,
                            static_cast<std::intptr_t>(request->answer.error) << 16);
    }
  });
  return request->id;
}

bool HostLookup::Cancel() {
  if (!pending_) return false;
  {
    std::lock_guard lock(pending_->mutex);
    pending_->cancelled = true;
  }
  pending_.reset();
  return true;
}

std::uintptr_t HostLookup::Pending() const { return pending_ ? pending_->id : 0; }

std::unique_ptr<HostAnswer> HostLookup::Finish(std::uintptr_t id) {
  if (!pending_ || pending_->id != id) return nullptr;
  std::unique_ptr<HostAnswer> answer;
  {
    std::lock_guard lock(pending_->mutex);
    if (!pending_->done) return nullptr;
    answer = std::make_unique<HostAnswer>(std::move(pending_->answer));
  }
  pending_.reset();
  return answer;
}

}  // namespace tavimo
