// A crash in one launch is handed over, once, at the next: the crashing launch is a child
// process of the test, the next launch is the test process itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>

#include "core/CoreManager.h"
#include "core/CrashCapture.h"
#include "core/engine/EnginePaths.h"
#include "tests/engine/EngineTestKit.h"

namespace tarnel::test::engine {
namespace {

using Lines = std::optional<std::vector<std::string>>;

struct Crash {
  const char* name;
  const char* signalName;
  void (*crash)();
  friend void PrintTo(const Crash& crash, std::ostream* out) { *out << crash.name; }
};

// Not null, so the sanitizers let the store happen and the fault is a real one.
// The address comes through a volatile so the optimiser cannot prove the store out of bounds.
volatile std::uintptr_t gInvalidAddress = 16;
void invalidWrite() { *reinterpret_cast<volatile int*>(gInvalidAddress) = 1; }
void callAbort() { std::abort(); }
void raiseBusError() { ::raise(SIGBUS); }

// Runs a launch that registers the crash capture and then crashes; gives its wait status.
int crashingLaunch(void (*crash)()) {
  const pid_t child = ::fork();
  if (child == 0) {
    helmsey::registerCrashHandle();
    crash();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

Lines handOver() {
  Lines received;
  int calls = 0;
  helmsey::crashHandle([&](Lines lines) {
    ++calls;
    received = std::move(lines);
  });
  EXPECT_LE(calls, 1);
  return received;
}

class CrashCapture : public testing::TestWithParam<Crash> {};

TEST_P(CrashCapture, CrashOfOneLaunchIsHandedOverOnceAtTheNext) {
  const int status = crashingLaunch(GetParam().crash);
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the launch did not crash";

  helmsey::registerCrashHandle();
  const Lines lines = handOver();
  ASSERT_TRUE(lines.has_value()) << "no crash handed over";
  ASSERT_GE(lines->size(), 5u);
  EXPECT_NE(lines->front().find(GetParam().signalName), std::string::npos) << lines->front();
  const auto backtrace = std::find(lines->begin(), lines->end(), "Backtrace:");
  ASSERT_NE(backtrace, lines->end());
  EXPECT_GE(std::distance(backtrace, lines->end()), 3) << "no frames after the backtrace header";
  EXPECT_NE((*lines)[backtrace - lines->begin() + 1].find("0x"), std::string::npos);

  EXPECT_FALSE(std::filesystem::exists(helmsey::engine::crashReportFile()));
  EXPECT_NE(helmsey::CoreManager::getLog(helmsey::LogType::crash).find(lines->front()), std::string::npos);
  EXPECT_FALSE(handOver().has_value()) << "the same crash was handed over twice";
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashCapture,
                         testing::Values(Crash{"InvalidWrite", "SIGSEGV", invalidWrite},
                                         Crash{"Abort", "SIGABRT", callAbort},
                                         Crash{"BusError", "SIGBUS", raiseBusError}),
                         [](const testing::TestParamInfo<Crash>& info) { return std::string(info.param.name); });

TEST(CrashCaptureQuiet, CleanLaunchesHandNothingOver) {
  const pid_t child = ::fork();
  if (child == 0) {
    helmsey::registerCrashHandle();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  helmsey::registerCrashHandle();
  EXPECT_FALSE(handOver().has_value());
  EXPECT_EQ(helmsey::CoreManager::getLog(helmsey::LogType::crash), "");
}

TEST(CrashCaptureQuiet, TwoCrashesBeforeTheHandOverAreBothKept) {
  crashingLaunch(callAbort);
  // The second launch registers (moving the first crash aside) and crashes before handing over.
  crashingLaunch(invalidWrite);
  helmsey::registerCrashHandle();
  const Lines lines = handOver();
  ASSERT_TRUE(lines.has_value());
  int crashes = 0;
  for (const auto& line : *lines) crashes += line.rfind("Crashed:", 0) == 0 ? 1 : 0;
  EXPECT_EQ(crashes, 2);
}

}  // namespace
}  // namespace tarnel::test::engine
