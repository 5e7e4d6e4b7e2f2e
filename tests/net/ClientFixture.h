#pragma once
// One page client against one test server, for the HTTP client suites: Serve() scripts the
// server, Fetch() runs a Get of a path with the client set up as the test needs, and log_ holds
// every event of the client.
#include "net/HttpCli.h"
#include "tests/net/EventLog.h"
#include "tests/support/TestServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace tavimo::test {

class ClientFixture : public ::testing::Test {
 protected:
  // Every connection runs `script` with its index; the request is the script's to read.
  void Serve(TestServer::Script script) {
    server_.reset();
    server_ = std::make_unique<TestServer>(std::move(script));
  }
  // Every connection runs `answer` once the request has been read.
  void ServeAnswer(std::function<void(Conn&)> answer) {
    Serve([answer = std::move(answer)](Conn& c, int) {
      if (!c.ReadHead().empty()) answer(c);
    });
  }
  // A Get of `path` on the server after `configure` has set the client up (limits, services,
  // events); returns how long it took (a watchdog aborts a request that would hang the suite).
  double Fetch(const std::string& path, const std::function<void(THttpCli&)>& configure = {}) {
    cli_.URL = server_->Url(path);
    if (configure) configure(cli_);
    return TimedGet(cli_);
  }

  std::unique_ptr<TestServer> server_;
  THttpCli cli_;
  EventLog log_{cli_};
};

}  // namespace tavimo::test
