// Short programs the engine runs (desktop proxy settings): their end is waited for, not polled.
#include <gtest/gtest.h>

#include <chrono>

#include "core/engine/ProgramRunner.h"

namespace tarnel::test::engine {
namespace {

using namespace std::chrono_literals;
using helmsey::engine::runProgram;
using Clock = std::chrono::steady_clock;

TEST(ProgramRunner, AProgramThatClosesItsOutputEarlyIsWaitedForUntilItEnds) {
  struct Case {
    const char* name;
    const char* script;
    std::chrono::milliseconds timeout;
    std::optional<int> exitCode;  // none: the run fails
    const char* output;
    std::chrono::milliseconds atLeast;
  };
  // A run that waited for the time-out or for the program's own end (both 30 s where they are
  // not the awaited end) would take at least that long: the bound is the fault's own size.
  const auto below = 30s;
  const Case cases[] = {
      {"ends at once", "echo hi; exit 4", 30s, 4, "hi\n", 0ms},
      {"runs on after closing its output", "echo hi; exec >&-; sleep 0.3; exit 3", 30s, 3, "hi\n", 300ms},
      {"outlives the time-out after closing its output", "exec >&-; sleep 30", 300ms, std::nullopt, "", 300ms},
      {"outlives the time-out with its output open", "sleep 30", 300ms, std::nullopt, "", 300ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto started = Clock::now();
    const auto result = runProgram({"sh", "-c", c.script}, c.timeout);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    ASSERT_EQ(result.has_value(), c.exitCode.has_value());
    if (result) {
      EXPECT_EQ(result->exitCode, *c.exitCode);
      EXPECT_EQ(result->output, c.output);
    }
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, below);
  }
}

}  // namespace
}  // namespace tarnel::test::engine
