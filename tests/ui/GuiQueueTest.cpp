// Results that workers bring back to the GUI thread while the program ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/ChildProcess.h"
#include "ui/base/Workers.h"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kInsideRun = "TARNEL_WORKER_AT_EXIT_RUN";

// The worker pool lets its tasks finish at exit, after the end of main; a task that ends then
// still posts its result. The run is made again in a process of its own, which ends while the
// task runs; a sanitizer build reports a result posted into a queue already gone.
TEST(GuiQueue, AResultPostedWhileTheProgramEndsFindsItsQueue) {
  if (!std::getenv(kInsideRun)) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto rerun = tarnel::test::runCommand(
        std::string(kInsideRun) + "=1 " + tarnel::test::shellQuote(self) +
        " --gtest_filter=GuiQueue.AResultPostedWhileTheProgramEndsFindsItsQueue 2>&1");
    EXPECT_EQ(rerun.exitCode, 0) << rerun.output;
    EXPECT_NE(rerun.output.find("the run ends"), std::string::npos) << rerun.output;
    return;
  }
  QObject context;
  bool first = false;
  // The first result makes the queue, after the pool: the queue's end then comes before the pool's.
  Workers::run(&context, [] { return 1; }, [&](int) { first = true; });
  while (!first) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  Workers::run(&context, [] {
    std::this_thread::sleep_for(300ms);
    return 2;
  }, [](int) {});
  std::fputs("the run ends\n", stdout);
  std::fflush(stdout);
  std::exit(0);  // static objects end while the task still runs
}

}  // namespace
}  // namespace lumora::test
