#include <gtest/gtest.h>

#include <QCoreApplication>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/EventWait.h"

namespace tavimo {
namespace {

// Runs fn later on this thread, from the event loop, the way a message handler runs.
void Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      qApp, [fn = std::move(fn)] { DispatchGuarded(fn); }, Qt::QueuedConnection);
}

// The wait blocks in the event loop; an answer posted from another thread ends it.
TEST(EventWait, AnAnswerPostedFromAnotherThreadEndsTheWait) {
  bool answered = false;
  std::thread worker([&] { Post([&] { answered = true; }); });
  WaitUntil([&] { return answered; });
  worker.join();
  EXPECT_TRUE(answered);
}

// A handler that waits for its own answer: the inner wait ends first, then the outer one, and
// events keep their order meanwhile.
TEST(EventWait, NestedWaitsEndInnermostFirst) {
  std::vector<std::string> order;
  bool outer = false, inner = false;
  Post([&] {
    order.push_back("outer handler");
    Post([&] {
      inner = true;
      order.push_back("inner answer");
    });
    WaitUntil([&] { return inner; });
    order.push_back("inner wait ended");
    Post([&] {
      outer = true;
      order.push_back("outer answer");
    });
  });
  WaitUntil([&] { return outer; });
  order.push_back("outer wait ended");
  EXPECT_EQ(order, (std::vector<std::string>{"outer handler", "inner answer", "inner wait ended",
                                             "outer answer", "outer wait ended"}));
}

// A failing handler's exception leaves the wait that takes them (which ends there); a wait that
// does not take them reports it and goes on to its answer, also inside one that takes them; with
// no wait at all it is reported.
TEST(EventWait, AHandlersExceptionGoesWhereTheWaitSays) {
  std::vector<std::string> reported;
  SetUnhandledExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      reported.push_back(ex.what());
    }
  });
  const auto fail = [](const char* what) { return [what] { throw std::runtime_error(what); }; };
  std::string caught;
  const auto wait = [&](const std::function<bool()>& done, HandlerErrors errors) {
    caught.clear();
    try {
      WaitUntil(done, errors);
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  };

  Post(fail("taken"));
  wait([] { return false; }, HandlerErrors::ToWaitingCall);
  EXPECT_EQ(caught, "taken");
  EXPECT_TRUE(reported.empty());

  bool answered = false;
  Post(fail("reported"));
  Post([&] { answered = true; });
  wait([&] { return answered; }, HandlerErrors::ToErrorHandler);
  EXPECT_EQ(caught, "");
  EXPECT_EQ(reported, std::vector<std::string>{"reported"});

  Post([&] {
    bool inner = false;
    Post(fail("inner"));
    Post([&] { inner = true; });
    WaitUntil([&] { return inner; }, HandlerErrors::ToErrorHandler);
    Post(fail("outer"));
  });
  wait([] { return false; }, HandlerErrors::ToWaitingCall);
  EXPECT_EQ(caught, "outer");
  EXPECT_EQ(reported, (std::vector<std::string>{"reported", "inner"}));

  DispatchGuarded(fail("nobody waits"));
  EXPECT_EQ(reported.back(), "nobody waits");
  SetUnhandledExceptionHandler([](std::exception_ptr) {});
}

}  // namespace
}  // namespace tavimo
