// How soon the engine notices that its child listens: at once when the child says it started,
// within a short back-off when it says nothing.
#include <gtest/gtest.h>

#include <chrono>

#include "core/EngineEnvironment.h"
#include "core/engine/Engine.h"
#include "tests/engine/EngineTestKit.h"
#include "tests/support/LoopbackListener.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::VPNStatus;

TEST(Readiness, TheChildIsFoundListeningWhetherItTalksOrNot) {
  struct Case {
    const char* name;
    const char* script;  // the engine's program: waits, then runs v2ray
  };
  const Case cases[] = {
      {"it reports its start", "sleep 0.3\nexec v2ray \"$@\"\n"},
      {"it says nothing", "sleep 0.3\nexec v2ray \"$@\" >/dev/null 2>&1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackWorld world;
    auto environment = helmsey::engineEnvironment();
    environment.v2rayProgram = writeScript(world.directory() / "bin", "v2ray-wrapper", c.script);
    helmsey::setEngineEnvironment(environment);

    StatusRecorder session;
    const auto started = std::chrono::steady_clock::now();
    CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, false, false, session.callback());
    ASSERT_TRUE(session.waitFor(VPNStatus::connected));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 300ms);
    // Before the start time-out, which a check that waited for output alone would hit.
    EXPECT_LT(took, helmsey::engine::Engine::kStartTimeout);
    EXPECT_TRUE(acceptsConnections("127.0.0.1", CoreManager::httpPort()));

    StatusRecorder stop;
    CoreManager::stopVPN(stop.callback());
    ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  }
}

}  // namespace
}  // namespace tarnel::test::engine
