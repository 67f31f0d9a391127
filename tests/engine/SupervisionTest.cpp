// How the engine supervises its child: the order and thread of statuses, stop and cancel, a
// child that dies, restarts with the reconnect flag, and starts it refuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>

#include "core/EngineEnvironment.h"
#include "core/engine/Engine.h"

#include "tests/engine/EngineTestKit.h"
#include "tests/support/LoopbackListener.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::VPNStatus;
using Statuses = std::vector<VPNStatus>;

// A node is not needed to listen: the engine is connected once its own proxies listen.
Json idleNodeConfig() { return tunnelConfig(9, "b", randomUuid()); }

pid_t onlyEngineChild() {
  const auto children = engineChildren();
  return children.size() == 1 ? children.front() : -1;
}

void settle() { std::this_thread::sleep_for(200ms); }

// The engine runs `program` in place of its proxy program from now on.
void useV2rayProgram(const std::filesystem::path& program) {
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.v2rayProgram = program;
  helmsey::setEngineEnvironment(environment);
}

TEST(Supervision, StatusesArriveInOrderOnTheEngineThreadAndStopAnswersOnce) {
  LoopbackWorld world;
  StatusRecorder session;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  EXPECT_EQ(CoreManager::status(), VPNStatus::connected);
  const pid_t child = onlyEngineChild();
  ASSERT_GT(child, 0);

  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  settle();
  EXPECT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected}));
  EXPECT_EQ(stop.statuses(), (Statuses{VPNStatus::disconnected}));
  EXPECT_EQ(CoreManager::status(), VPNStatus::disconnected);
  EXPECT_TRUE(processGone(child)) << "the stop answered before the child was reaped";

  auto threads = session.threads();
  const auto stopThreads = stop.threads();
  threads.insert(threads.end(), stopThreads.begin(), stopThreads.end());
  for (const auto& id : threads) {
    EXPECT_EQ(id, threads.front()) << "every status comes from the engine's one thread";
    EXPECT_NE(id, std::this_thread::get_id());
  }
}

TEST(Supervision, StopWhileIdleAnswersDisconnected) {
  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  settle();
  EXPECT_EQ(stop.statuses(), (Statuses{VPNStatus::disconnected}));
  EXPECT_EQ(CoreManager::status(), VPNStatus::disconnected);
}

TEST(Supervision, CancellingDuringStartLeavesNoChild) {
  LoopbackWorld world;
  // An engine that comes up only once the test lets it, so the cancel surely lands while it
  // starts, however slow the machine.
  const auto go = world.directory() / "go";
  useV2rayProgram(writeScript(world.directory() / "bin", "held-v2ray",
                              "while [ ! -e '" + go.string() + "' ]; do sleep 0.01; done\nexec v2ray \"$@\"\n"));

  StatusRecorder session;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, session.callback());
  EXPECT_EQ(CoreManager::status(), VPNStatus::connecting);
  pid_t child = -1;
  for (const auto until = std::chrono::steady_clock::now() + 30s; child <= 0 && std::chrono::steady_clock::now() < until;) {
    std::this_thread::sleep_for(5ms);
    child = onlyEngineChild();
  }
  ASSERT_GT(child, 0) << "the child never started";

  CoreManager::setStatus(VPNStatus::disconnected);
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected));
  EXPECT_TRUE(processGone(child));
  EXPECT_TRUE(engineChildren().empty());
  // Ended by the cancel, not by the start's time-out.
  EXPECT_NE(CoreManager::getLog(helmsey::LogType::core).find("start cancelled"), std::string::npos)
      << CoreManager::getLog(helmsey::LogType::core);
  std::ofstream(go) << "";  // a child still there would listen now
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::disconnected}));
  EXPECT_EQ(CoreManager::status(), VPNStatus::disconnected);
}

TEST(Supervision, ConnectedOnlyOnceBothProxiesListen) {
  LoopbackWorld world;
  useV2rayProgram(writeScript(world.directory() / "bin", "slow-v2ray", "sleep 0.5\nexec v2ray \"$@\"\n"));

  std::atomic<bool> listeningWhenConnected{false};
  StatusRecorder session;
  const auto record = session.callback();
  const auto started = std::chrono::steady_clock::now();
  CoreManager::startVPN(idleNodeConfig(), false, false, false, [&, record](VPNStatus status) {
    if (status == VPNStatus::connected) {
      listeningWhenConnected = acceptsConnections("127.0.0.1", CoreManager::httpPort()) &&
                               acceptsConnections("127.0.0.1", CoreManager::socksPort());
    }
    record(status);
  });
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 500ms);
  EXPECT_TRUE(listeningWhenConnected);
  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
}

TEST(Supervision, KilledChildWithoutReconnectGivesDisconnected) {
  LoopbackWorld world;
  StatusRecorder session;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  const pid_t child = onlyEngineChild();
  ASSERT_GT(child, 0);
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected));
  settle();
  EXPECT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected, VPNStatus::disconnected}));
  EXPECT_TRUE(processGone(child));
  EXPECT_TRUE(engineChildren().empty());
  EXPECT_NE(CoreManager::getLog(helmsey::LogType::core).find("signal 9"), std::string::npos);
}

TEST(Supervision, KilledChildWithReconnectIsRestartedAndCarriesTrafficAgain) {
  LoopbackWorld world;
  const std::string credential = randomUuid();
  const auto node = world.node("d", credential);
  StatusRecorder session;
  CoreManager::startVPN(tunnelConfig(node->port(), "d", credential), true, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  const pid_t first = onlyEngineChild();
  ASSERT_GT(first, 0);
  ASSERT_EQ(::kill(first, SIGKILL), 0);
  ASSERT_TRUE(session.waitFor(VPNStatus::connected, 30s, 2));
  const pid_t second = onlyEngineChild();
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  EXPECT_TRUE(processGone(first));
  EXPECT_EQ(session.statuses(),
            (Statuses{VPNStatus::connecting, VPNStatus::connected, VPNStatus::connecting, VPNStatus::connected}));
  const Fetch page = fetchThroughEngine(world.pageUrl("page.test"), Via::httpProxy, world.ca());
  EXPECT_TRUE(page.ok) << page.error;
}

TEST(Supervision, RestartsAreRateLimitedThenDisconnected) {
  LoopbackWorld world;
  StatusRecorder session;
  CoreManager::startVPN(idleNodeConfig(), true, false, false, session.callback());
  const int allowed = helmsey::engine::Engine::kRestartLimit;
  for (int round = 1; round <= allowed + 1; ++round) {
    ASSERT_TRUE(session.waitFor(VPNStatus::connected, 30s, round)) << "round " << round;
    const pid_t child = onlyEngineChild();
    ASSERT_GT(child, 0);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
  }
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected));
  const auto statuses = session.statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), VPNStatus::connected), allowed + 1);
  EXPECT_EQ(statuses.back(), VPNStatus::disconnected);
  EXPECT_TRUE(engineChildren().empty());
}

TEST(Supervision, NewStartEndsTheRunningConnectionFirst) {
  LoopbackWorld world;
  StatusRecorder first;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, first.callback());
  ASSERT_TRUE(first.waitFor(VPNStatus::connected));
  const pid_t firstChild = onlyEngineChild();

  StatusRecorder second;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, second.callback());
  ASSERT_TRUE(second.waitFor(VPNStatus::connected));
  // Both children would listen on the same ports (SO_REUSEPORT): the first must be gone.
  EXPECT_TRUE(processGone(firstChild));
  EXPECT_EQ(engineChildren().size(), 1u);
  EXPECT_EQ(first.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected, VPNStatus::disconnected}));
  EXPECT_EQ(second.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected}));
}

// A client that shares the engine (the diagnosis' trials) starts only after the newest start it
// knows of, and its stop ends only its own connection: a newer one, someone else's, stays up.
TEST(Supervision, NumberedStartsAndStopsNeverTouchSomeoneElsesNewerConnection) {
  LoopbackWorld world;
  const std::uint64_t before = CoreManager::newestConnection();
  StatusRecorder trial;
  const std::uint64_t own = CoreManager::startVPNAfter(before, idleNodeConfig(), false, false, false, trial.callback());
  ASSERT_EQ(own, before + 1);
  ASSERT_TRUE(trial.waitFor(VPNStatus::connected));

  // Someone else's start replaces it; a start after the old number is refused and starts nothing.
  StatusRecorder user;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, user.callback());
  ASSERT_TRUE(user.waitFor(VPNStatus::connected));
  EXPECT_EQ(CoreManager::newestConnection(), own + 1);
  StatusRecorder refused;
  EXPECT_EQ(CoreManager::startVPNAfter(own, idleNodeConfig(), false, false, false, refused.callback()), 0u);
  const pid_t userChild = onlyEngineChild();
  ASSERT_GT(userChild, 0);

  // The old connection's stop answers at once and leaves the newer one running.
  StatusRecorder stop;
  CoreManager::stopVPN(own, stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  settle();
  EXPECT_EQ(CoreManager::status(), VPNStatus::connected);
  EXPECT_EQ(onlyEngineChild(), userChild);
  EXPECT_EQ(user.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected}));
  EXPECT_TRUE(refused.statuses().empty());

  // The newest connection's own number stops it.
  StatusRecorder last;
  CoreManager::stopVPN(own + 1, last.callback());
  ASSERT_TRUE(last.waitFor(VPNStatus::disconnected));
  EXPECT_TRUE(processGone(userChild));
  EXPECT_EQ(CoreManager::status(), VPNStatus::disconnected);
}

struct RefusedStart {
  const char* name;
  std::function<void(Json&)> spoil;
  const char* logged;
  friend void PrintTo(const RefusedStart& start, std::ostream* out) { *out << start.name; }
};

class RefusedStarts : public testing::TestWithParam<RefusedStart> {};

TEST_P(RefusedStarts, EndDisconnectedWithTheReasonLoggedAndNoChild) {
  LoopbackWorld world;
  Json config = idleNodeConfig();
  GetParam().spoil(config);
  StatusRecorder session;
  CoreManager::startVPN(config, false, false, false, session.callback());
  // Refused at once: an engine that waited for its start's time-out instead would take that long.
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected, helmsey::engine::Engine::kStartTimeout));
  EXPECT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::disconnected}));
  EXPECT_NE(CoreManager::getLog(helmsey::LogType::core).find(GetParam().logged), std::string::npos)
      << CoreManager::getLog(helmsey::LogType::core);
  EXPECT_TRUE(engineChildren().empty());
  EXPECT_EQ(CoreManager::status(), VPNStatus::disconnected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedStarts,
    testing::Values(
        RefusedStart{"TunnelModeWithoutSpindrift", [](Json& c) { c["isTun"] = true; }, "Spindrift cannot be reached"},
        RefusedStart{"EmptyDictionary", [](Json& c) { c = Json::object(); }, "names no server"},
        RefusedStart{"UnknownProtocol", [](Json& c) { c["protocol"] = "x"; }, "unknown protocol \"x\""},
        RefusedStart{"AutoProtocol", [](Json& c) { c["protocol"] = ""; }, "unknown protocol \"\""},
        RefusedStart{"CredentialNotUuid", [](Json& c) { c["servers"]["password"] = "secret"; }, "not a UUID"},
        RefusedStart{"PortAsText", [](Json& c) { c["servers"]["port"] = "443"; }, "integer \"port\""},
        RefusedStart{"PortOutOfRange", [](Json& c) { c["servers"]["port"] = 70000; }, "out of range"},
        RefusedStart{"UnknownDns", [](Json& c) { c["dns"] = "my-dns"; }, "unknown DNS choice"},
        RefusedStart{"UnknownStrategy", [](Json& c) { c["dnsStrategy"] = "PreferIPv6"; }, "unknown DNS strategy"},
        RefusedStart{"ListOfNumbers", [](Json& c) { c["direct"] = Json::array({1, 2}); }, "\"direct\" holds"},
        RefusedStart{"SmartAsText", [](Json& c) { c["isSmart"] = "yes"; }, "\"isSmart\" is not a boolean"}),
    [](const testing::TestParamInfo<RefusedStart>& info) { return std::string(info.param.name); });

TEST(Supervision, EngineThatCannotRunEndsDisconnected) {
  LoopbackWorld world;
  useV2rayProgram(world.directory() / "missing-v2ray");
  StatusRecorder session;
  CoreManager::startVPN(idleNodeConfig(), false, false, false, session.callback());
  // Both end as they fail, not at the start's time-out.
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected, helmsey::engine::Engine::kStartTimeout));
  EXPECT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::disconnected}));

  // One that starts and dies at once, before it listens: no restart even with the flag.
  useV2rayProgram(writeScript(world.directory() / "bin", "dying-v2ray", "exit 23\n"));
  StatusRecorder dying;
  CoreManager::startVPN(idleNodeConfig(), true, false, false, dying.callback());
  ASSERT_TRUE(dying.waitFor(VPNStatus::disconnected, helmsey::engine::Engine::kStartTimeout));
  settle();
  EXPECT_EQ(dying.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::disconnected}));
  EXPECT_NE(CoreManager::getLog(helmsey::LogType::core).find("exit code 23"), std::string::npos);
}

}  // namespace
}  // namespace tarnel::test::engine
