#pragma once
// Records every event of a THttpCli as one short line, so a test can compare exact orders.
#include "net/HttpCli.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tavimo::test {

inline const char* StateName(THttpState s) {
  static const char* names[] = {"ready",         "notconnected",  "connected",   "dnslookup",
                                "dnslookupdone", "waitingheader", "waitingbody", "aborting"};
  return names[s];
}

struct EventLog {
  std::vector<std::string> events;
  std::string body;
  int requestDone = 0;
  std::uint16_t doneError = 0xFFFF;
  THttpRequest doneType = httpNone;

  EventLog() = default;
  explicit EventLog(THttpCli& c) { Attach(c); }
  void Attach(THttpCli& c) {
    c.OnStateChange = [this](THttpCli* s) {
      events.push_back(std::string("state ") + StateName(s->State()));
    };
    c.OnSessionConnected = [this](THttpCli*) { events.push_back("SessionConnected"); };
    c.OnRequestHeaderBegin = [this](THttpCli*) { events.push_back("RequestHeaderBegin"); };
    c.OnRequestHeaderEnd = [this](THttpCli*) { events.push_back("RequestHeaderEnd"); };
    c.OnCommand = [this](THttpCli*, std::string& s) { events.push_back("Command " + s); };
    c.OnHeaderBegin = [this](THttpCli*) { events.push_back("HeaderBegin"); };
    c.OnHeaderEnd = [this](THttpCli*) { events.push_back("HeaderEnd"); };
    c.OnHeaderData = [this](THttpCli*) { events.push_back("HeaderData"); };
    c.OnCookie = [this](THttpCli*, const std::string& d, bool&) { events.push_back("Cookie " + d); };
    c.OnDocBegin = [this](THttpCli*) { events.push_back("DocBegin"); };
    c.OnDocData = [this](THttpCli*, const char* b, std::int32_t n) {
      if (events.empty() || events.back() != "DocData") events.push_back("DocData");
      body.append(b, static_cast<std::size_t>(n));
    };
    c.OnDocEnd = [this](THttpCli*) { events.push_back("DocEnd"); };
    c.OnLocationChange = [this](THttpCli* s) { events.push_back("LocationChange " + s->Location()); };
    c.OnRequestDone = [this](THttpCli*, THttpRequest rq, std::uint16_t e) {
      events.push_back("RequestDone " + std::to_string(e));
      ++requestDone;
      doneError = e;
      doneType = rq;
    };
  }
  int Count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events) n += x == e;
    return n;
  }
};

// Runs Get and returns how long it took; a watchdog aborts a request that would hang the suite.
inline double TimedGet(THttpCli& c, int watchdogMs = 15000) {
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&c] { c.Abort(); });
  watchdog.start(watchdogMs);
  const auto t0 = std::chrono::steady_clock::now();
  c.Get();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Fires fn once, ms from now, from the event loop.
inline void After(int ms, std::function<void()> fn) { QTimer::singleShot(ms, std::move(fn)); }

}  // namespace tavimo::test

namespace tavimo::test {
// Lets the event loop run for a while (for things that must NOT happen).
inline void ProcessMessagesFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}
}  // namespace tavimo::test
