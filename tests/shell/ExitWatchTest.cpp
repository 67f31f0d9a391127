#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "ui/shell/ExitWatch.h"

namespace lumora::test {
namespace {

std::vector<std::string> seenByEarlierHandler;

void earlierHandler(QtMsgType, const QMessageLogContext&, const QString& message) {
  seenByEarlierHandler.push_back(message.toStdString());
}

// Qt's X11 platform announces the broken display connection in two wordings (its event processing
// and its Xlib I/O error handler) before it ends the process; only those leave, and every message
// still reaches the handler that was there before, which gets its place back when the watch goes.
TEST(ExitWatch, TheDisplaysEndLeavesAtOnceAndOtherMessagesPassThrough) {
  seenByEarlierHandler.clear();
  const QtMessageHandler before = qInstallMessageHandler(earlierHandler);
  std::vector<std::pair<int, std::string>> left;
  {
    ExitWatch watch([&](int code, const std::string& why) { left.emplace_back(code, why); });
    qWarning("QXcbConnection: XCB error: 3 (BadWindow)");
    qWarning("The X11 connection broke (error 1). Did the X11 server die?");
    qWarning("The X11 connection broke: I/O error (code 1)");
    qDebug("The X11 connection broke, said as a debug line");
  }
  qWarning("The X11 connection broke (error 1). Did the X11 server die?");  // the watch is gone
  qInstallMessageHandler(before);

  ASSERT_EQ(left.size(), 2u);
  for (const auto& [code, why] : left) {
    EXPECT_EQ(code, 1);
    EXPECT_NE(why.find("the display went away"), std::string::npos) << why;
  }
  EXPECT_NE(left[1].second.find("I/O error"), std::string::npos) << left[1].second;
  EXPECT_EQ(seenByEarlierHandler.size(), 5u) << "the messages did not all reach the earlier handler";
}

// Any exit() while the watch is armed reaches it with the status, before the other exit handlers;
// once the watch is gone an exit is the program's own again.
TEST(ExitWatch, AnExitWhileArmedLeavesThroughItWithTheStatus) {
  tarnel::test::TempDir dir;
  const auto heard = dir.path() / "heard";
  struct Case {
    bool armed;
    int status;
    int expectedCode;
    std::string expectedHeard;
  };
  for (const Case& c : {Case{true, 7, 42, "7"}, Case{false, 5, 5, ""}}) {
    std::filesystem::remove(heard);
    const auto result = tarnel::test::runInChild([&]() -> std::string {
      // Past the watch, the child ends with the status without running the exit handlers of a
      // process it was forked from.
      if (!c.armed) ::on_exit([](int status, void*) { ::_exit(status); }, nullptr);
      {
        ExitWatch watch([&](int code, const std::string&) {
          std::ofstream(heard) << code;
          ::_exit(42);
        });
        if (c.armed) std::exit(c.status);
      }
      std::exit(c.status);
    });
    SCOPED_TRACE(c.armed ? "armed" : "gone");
    EXPECT_EQ(result.exitCode, c.expectedCode);
    std::ifstream in(heard);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), c.expectedHeard);
  }
}

}  // namespace
}  // namespace lumora::test
