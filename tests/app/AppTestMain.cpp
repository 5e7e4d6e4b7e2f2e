// The suites of the main window run inside the program's own application object, so an
// exception that escapes a handler meets the same notify() as in the program.
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {

AppDialogs& ApplicationDialogs() {
  static AppDialogs dialogs;
  return dialogs;
}

}  // namespace tavimo::test

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  tavimo::TApplication app(argc, argv, &tavimo::test::ApplicationDialogs());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
