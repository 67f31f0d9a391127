// The connection state machine over the fake engine: what each path reports, in which order,
// what the engine is told, and that late events of an ended attempt change nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sstream>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "services/common/Store.h"
#include "tests/connection/ConnectionWorld.h"

namespace tarnel::test {
namespace {

using Events = std::vector<std::string>;
using helmsey::VPNStatus;

const Node A = makeNode("A", "d");
const Node B = makeNode("B", "f");

// --- settings and the configuration handed to the engine --------------------------------------

TEST(ConnectionSettings, FreshControllerDefaultsAndChainedSetters) {
  ConnectionWorld world({A});
  auto& c = *world.controller;
  const auto defaults = c.settings();
  EXPECT_EQ(defaults.dns, "auto");
  EXPECT_EQ(defaults.dnsStrategy, "UseIP");
  EXPECT_TRUE(defaults.isCheckConection);
  EXPECT_TRUE(defaults.reconnect);
  EXPECT_TRUE(defaults.systemProxy);
  EXPECT_FALSE(defaults.cmdProxy);
  EXPECT_FALSE(defaults.isTun);
  EXPECT_FALSE(defaults.isSmart);

  auto& chained = c.smartRoute(true).tunnel(false).autoReconnect(false).checkConnection(false).enableSystemProxy(false)
                      .enableCmdProxy(true).dnsServer("1.1.1.1").strategy("UseIPv4");
  EXPECT_EQ(&chained, &c);
  const auto changed = c.settings();
  EXPECT_TRUE(changed.isSmart);
  EXPECT_FALSE(changed.reconnect);
  EXPECT_FALSE(changed.isCheckConection);
  EXPECT_FALSE(changed.systemProxy);
  EXPECT_TRUE(changed.cmdProxy);
  EXPECT_EQ(changed.dns, "1.1.1.1");
  EXPECT_EQ(changed.dnsStrategy, "UseIPv4");
}

TEST(ConnectionSettings, EngineGetsTheConfigurationOfNodePortAndSettings) {
  ConnectionWorld world({B}, {"c", "f"});
  Domains domains;
  domains.unlock = {"unlock.example"};
  domains.proxy = {"always.example", "9.9.9.9"};
  Global::setDomains(domains);
  world.service->open = [](const NodeServiceDouble::OpenCall&) {
    Open open = openAnswerFor("B");
    open.node.host = "a1";
    open.node.domain = "z9";
    return NodeServiceDouble::OpenResult::success(open);
  };
  world.service->probe = [](const NodeServiceDouble::ProbeCall&) {
    return NodeServiceDouble::ProbeResult::success(std::map<std::string, std::int64_t>{{"203.0.113.9", 8443}});
  };
  world.nodes->setCurrentProtocol(VPNProtocol::TROJAN_WS);
  world.controller->checkConnection(false).smartRoute(true).autoReconnect(false).enableSystemProxy(false)
      .enableCmdProxy(true).dnsServer("8.8.4.4").strategy("UseIPv6");

  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));

  const auto starts = world.engine->starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_FALSE(starts[0].reconnect);
  EXPECT_FALSE(starts[0].systemProxy);
  EXPECT_TRUE(starts[0].commandLineProxy);
  const auto config = fromJson<Config>(json::dump(starts[0].configuration).value());
  ASSERT_TRUE(config);
  EXPECT_TRUE(config->isSmart);
  EXPECT_FALSE(config->isTun);
  EXPECT_EQ(config->unlock, std::vector<std::string>{"unlock.example"});
  EXPECT_EQ(config->alway, std::vector<std::string>{"always.example"});
  EXPECT_EQ(config->alwayIPs, std::vector<std::string>{"9.9.9.9"});
  EXPECT_EQ(config->servers, ConfigServer("203.0.113.9", 8443, Global::userUID()));
  EXPECT_EQ(config->protocol, "c");
  EXPECT_EQ(config->serverName, "a1-c.z9");
  EXPECT_EQ(config->dns, "8.8.4.4");
  EXPECT_EQ(config->dnsStrategy, "UseIPv6");
  EXPECT_EQ(starts[0].configuration.size(), 14u);
}

// --- the road of an attempt -------------------------------------------------------------------

TEST(ConnectionRoad, WithoutCheckReportsTheStepsAndConnected) {
  ConnectionWorld world({A});
  world.controller->checkConnection(false);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  std::this_thread::sleep_for(100ms);  // nothing else may follow
  EXPECT_EQ(world.recorder.events(), (Events{"connecting", "open_node", "check_port", "open_connect", "connected"}));
  EXPECT_FALSE(world.nodes->isConnecting());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::connected);
}

TEST(ConnectionRoad, FailingPortProbeAlternatesStepsUntilTheChoiceGivesUp) {
  ConnectionWorld world({A, B}, {});
  world.service->probe = [](const NodeServiceDouble::ProbeCall&) {
    return NodeServiceDouble::ProbeResult::failure(APIErrorInfo::make(0, "no answer"));
  };
  world.controller->openConnection();
  EXPECT_EQ(world.recorder.events(), (Events{"connecting", "open_node", "check_port", "open_node", "check_port",
                                             "open_node", "failed 10003"}));
  EXPECT_TRUE(world.engine->starts().empty());
  // The failure is reported while the attempt still counts as running, so the front acts on it.
  EXPECT_TRUE(world.nodes->isConnecting());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::failed);
}

TEST(ConnectionRoad, ProbeWithoutWinnerIsServerIsNil) {
  ConnectionWorld world({A});
  world.service->probe = [](const NodeServiceDouble::ProbeCall&) {
    return NodeServiceDouble::ProbeResult::success(std::map<std::string, std::int64_t>{});
  };
  world.controller->openConnection();
  EXPECT_EQ(world.recorder.events(), (Events{"connecting", "open_node", "check_port", "failed 10007"}));
  ASSERT_EQ(world.recorder.errors().size(), 1u);
  EXPECT_EQ(world.recorder.errors()[0]->errMsg, "server is nil");
  EXPECT_TRUE(world.engine->starts().empty());
}

TEST(ConnectionRoad, FirstPageAnsweringGivesConnectSuccess) {
  CheckPages pages;
  ConnectionWorld world({A});
  world.controller->tunnel(true);  // the pages are fetched directly, as in tunnel mode
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connect_success"));
  EXPECT_EQ(world.recorder.events(), (Events{"connecting", "open_node", "check_port", "open_connect", "connected",
                                             "check_availability", "connected", "connect_success"}));
  EXPECT_TRUE(world.engine->records().empty());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::connected);
}

TEST(ConnectionRoad, ThreeFailingPagesDropTheNodeAndTheNextNodeConnects) {
  CheckPages pages;
  pages.script({CheckPages::Answer::fail, CheckPages::Answer::fail, CheckPages::Answer::fail, CheckPages::Answer::ok});
  ConnectionWorld world({A, B});
  world.controller->tunnel(true);
  const auto started = std::chrono::steady_clock::now();
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connect_success"));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 3 * ConnectionController::kPagePause);

  EXPECT_EQ(world.recorder.events(),
            (Events{"connecting", "open_node", "check_port", "open_connect", "connected", "check_availability",
                    "connecting", "open_node", "check_port", "open_connect", "connected", "check_availability",
                    "connected", "connect_success"}));
  const auto records = world.engine->records();
  ASSERT_EQ(records.size(), 3u);
  const std::vector<std::string> urls = {pages.url("one"), pages.url("two"), pages.url("three")};
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].topic, LogTopic::ERROR_NODE_USABILITY);
    EXPECT_EQ(records[i].fields.at("node_id"), "A");
    EXPECT_EQ(records[i].fields.at("node_name"), "name-A");
    EXPECT_EQ(records[i].fields.at("protocol"), "d");
    EXPECT_EQ(records[i].fields.at("node_ip"), "srv-A");
    EXPECT_EQ(records[i].fields.at("err_code"), "530");
    EXPECT_EQ(records[i].fields.at("turn"), "relay-A-1,relay-A-2");
    EXPECT_EQ(records[i].fields.at("testUrl"), urls[i]);
  }
  EXPECT_EQ(world.service->released(), std::vector<std::string>{"A/d"});
  EXPECT_EQ(world.nodes->currentNode()->node_id, "B");
  EXPECT_EQ(world.nodes->failedProtocol().at("A"), std::vector<std::string>{"d"});
  // The old engine was stopped before the next one started.
  EXPECT_EQ(world.engine->commands(), (std::vector<std::string>{"start", "stop", "start"}));
}

// A node the user selected stays selected; its other protocols are tried, then it is reported
// unavailable instead of being tried the same way for ever.
TEST(ConnectionRoad, SelectedNodeWhosePagesNeverLoadEndsAsUnavailable) {
  CheckPages pages;
  pages.script({CheckPages::Answer::fail});
  ConnectionWorld world({A, B}, {"d", "f"});
  world.nodes->setSelectedNode(A);
  world.controller->tunnel(true);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("failed 10004"));
  EXPECT_EQ(world.service->opened(), (std::vector<std::string>{"A/d", "A/f"}));
  EXPECT_EQ(world.nodes->selectedNode()->node_id, "A");
  EXPECT_EQ(world.engine->records().size(), 6u);
}

TEST(ConnectionRoad, UserStartedConnectForgetsEarlierFailures) {
  ConnectionWorld world({A, B}, {"d"});
  world.controller->checkConnection(false);
  world.nodes->setCurrentNode(A);
  world.nodes->setCurrentProtocol(VPNProtocol::VLESS_TLS);
  world.nodes->markProtocolFailed();  // A is used up from an earlier outage
  world.nodes->setCurrentProtocol(VPNProtocol::AUTO);
  ASSERT_EQ(world.nodes->failedProtocol().at("A"), std::vector<std::string>{"d"});
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  EXPECT_EQ(world.service->opened(), std::vector<std::string>{"A/d"});
}

// --- engine statuses ---------------------------------------------------------------------------

struct EngineCase {
  const char* name;
  FakeEngine::OnStart onStart;
  Events events;
  bool connecting;  // NodeController's flag afterwards
};

void PrintTo(const EngineCase& c, std::ostream* os) { *os << c.name; }

class EngineStatus : public testing::TestWithParam<EngineCase> {};

TEST_P(EngineStatus, StatusDuringTheStartIsReportedAsTheTableSays) {
  const EngineCase& c = GetParam();
  ConnectionWorld world({A});
  world.engine->setOnStart(c.onStart);
  world.controller->checkConnection(false);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor(c.events.back()));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(world.recorder.events(), c.events);
  EXPECT_EQ(world.nodes->isConnecting(), c.connecting);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineStatus,
    testing::Values(
        EngineCase{"connected", FakeEngine::OnStart::connect,
                   {"connecting", "open_node", "check_port", "open_connect", "connected"}, false},
        EngineCase{"disconnected", FakeEngine::OnStart::fail,
                   {"connecting", "open_node", "check_port", "open_connect", "disconnected"}, false},
        EngineCase{"user_canceled", FakeEngine::OnStart::userCancel,
                   {"connecting", "open_node", "check_port", "open_connect", "disconnected", "failed 10008"}, true},
        // A refusal, or a desktop that would not use the connection, is a failure the user sees.
        EngineCase{"engine_refused", FakeEngine::OnStart::refuse,
                   {"connecting", "open_node", "check_port", "open_connect", "disconnected", "failed 10006"}, false},
        EngineCase{"system_proxy_not_set", FakeEngine::OnStart::noDesktop,
                   {"connecting", "open_node", "check_port", "open_connect", "disconnected", "failed 10006"}, false}),
    [](const testing::TestParamInfo<EngineCase>& info) { return std::string(info.param.name); });

TEST(EngineFailure, EachEngineFailureHasItsOwnMessageAndLeavesThePhaseFailed) {
  for (const auto& [onStart, message] :
       {std::pair{FakeEngine::OnStart::refuse, APIErrorText::engineRefused},
        std::pair{FakeEngine::OnStart::noDesktop, APIErrorText::systemProxyNotSet}}) {
    ConnectionWorld world({A});
    world.engine->setOnStart(onStart);
    world.controller->checkConnection(false);
    world.controller->openConnection();
    ASSERT_TRUE(world.recorder.waitFor("failed 10006"));
    ASSERT_FALSE(world.recorder.errors().empty());
    EXPECT_EQ(world.recorder.errors().back()->errMsg, message);
    EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::failed);
    // A plain end without a failure reason stays a bare disconnected.
    world.engine->setOnStart(FakeEngine::OnStart::fail);
    world.recorder.clear();
    world.controller->openConnection();
    ASSERT_TRUE(world.recorder.waitFor("disconnected"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(world.recorder.events().back(), "disconnected");
  }
}

TEST(EngineStatusOutsideAttempt, DropAfterConnectedIsReportedAndTheSilentFailureStays) {
  ConnectionWorld world({A});
  world.controller->checkConnection(false);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  world.recorder.clear();
  world.engine->emit(VPNStatus::connecting);  // the engine restarts itself
  world.engine->emit(VPNStatus::connected);
  world.engine->emit(VPNStatus::disconnected);  // and then gives up
  ASSERT_TRUE(world.recorder.waitFor("failed 10001", 3));
  EXPECT_EQ(world.recorder.events(),
            (Events{"connecting", "failed 10001", "connected", "failed 10001", "disconnected", "failed 10001"}));
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::idle);
  EXPECT_EQ(world.recorder.errors().back()->errMsg, "");
}

TEST(EngineStatusOutsideAttempt, StatusOfAnOlderAttemptChangesNothing) {
  ConnectionWorld world({A, B});
  world.engine->setOnStart(FakeEngine::OnStart::hold);
  world.controller->checkConnection(false);
  world.controller->openConnection();
  world.controller->disconnect();
  world.engine->setOnStart(FakeEngine::OnStart::connect);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  world.recorder.clear();

  world.engine->emitLate(0, VPNStatus::disconnected);
  world.engine->emitLate(0, VPNStatus::connected);
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(world.recorder.events().empty());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::connected);
}

// --- disconnect ------------------------------------------------------------------------------

struct DisconnectCase {
  const char* name;
  const char* during;  // "open", "probe", "start", "check", "connected"
  Events after;        // reported once the disconnect and the blocked call are through
  std::vector<std::string> commands;  // what the engine was told
  std::vector<std::string> released;
};

void PrintTo(const DisconnectCase& c, std::ostream* os) { *os << c.name; }

class DisconnectIn : public testing::TestWithParam<DisconnectCase> {};

TEST_P(DisconnectIn, LeavesNoEngineEndsDisconnectedAndLateResultsChangeNothing) {
  const DisconnectCase& c = GetParam();
  const std::string during = c.during;
  CheckPages pages;
  Gate gate;
  gate.close();
  ConnectionWorld world({A, B});
  world.controller->tunnel(true);
  if (during == "open") {
    world.service->open = [&](const NodeServiceDouble::OpenCall& call) {
      gate.pass();
      return NodeServiceDouble::OpenResult::success(openAnswerFor(call.nodeId));
    };
  } else if (during == "probe") {
    world.service->probe = [&](const NodeServiceDouble::ProbeCall& call) {
      gate.pass();
      return NodeServiceDouble::ProbeResult::success(std::map<std::string, std::int64_t>{{call.hosts.at(0), 443}});
    };
  } else if (during == "start") {
    world.engine->setOnStart(FakeEngine::OnStart::hold);
  } else if (during == "check") {
    pages.script({CheckPages::Answer::block});
  }

  std::thread attempt([&] { world.controller->openConnection(); });
  if (during == "open" || during == "probe") {
    ASSERT_TRUE(gate.waitForVisits(1));
  } else if (during == "start") {
    ASSERT_TRUE(world.engine->waitForStarts(1));
  } else if (during == "check") {
    ASSERT_TRUE(pages.waitForRequests(1));
  }
  // The step under way was reported before the work that is now held; its delivery runs on the
  // controller's own thread and may still be on its way.
  const std::map<std::string, std::string> stepUnderWay{{"open", "open_node"},
                                                        {"probe", "check_port"},
                                                        {"start", "open_connect"},
                                                        {"check", "check_availability"},
                                                        {"connected", "connect_success"}};
  ASSERT_TRUE(world.recorder.waitFor(stepUnderWay.at(during)));
  world.recorder.clear();

  world.controller->disconnect();
  EXPECT_FALSE(world.engine->running());
  EXPECT_FALSE(world.nodes->isConnecting());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::idle);
  ASSERT_FALSE(world.recorder.events().empty());
  EXPECT_EQ(world.recorder.events().back(), "disconnected");

  // What was still under way finishes now; it must not start anything or report success.
  gate.open();
  pages.release();
  attempt.join();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(world.recorder.events(), c.after);
  EXPECT_FALSE(world.engine->running());
  EXPECT_EQ(world.engine->commands(), c.commands);
  EXPECT_EQ(world.service->released(), c.released);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DisconnectIn,
    testing::Values(
        DisconnectCase{"opening_the_node", "open", {"disconnected", "failed 10001"}, {"cancel"}, {}},
        DisconnectCase{"probing_ports", "probe", {"disconnected", "failed 10001"}, {"cancel"}, {}},
        DisconnectCase{"engine_starting", "start", {"disconnected"}, {"start", "cancel", "stop"}, {}},
        DisconnectCase{"checking_pages", "check", {"disconnecting", "disconnected"}, {"start", "stop"}, {"A/d"}},
        DisconnectCase{"connected", "connected", {"disconnecting", "disconnected"}, {"start", "stop"}, {"A/d"}}),
    [](const testing::TestParamInfo<DisconnectCase>& info) { return std::string(info.param.name); });

TEST(Disconnect, ClosedConnectionForgetsTheCurrentNode) {
  ConnectionWorld world({A});
  world.controller->checkConnection(false);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  ASSERT_EQ(Store::getValue(StoreKeys::CURRENT_NODE)->string().value_or("").empty(), false);
  world.controller->disconnect();
  EXPECT_FALSE(world.nodes->currentNode());
  EXPECT_EQ(Store::getValue(StoreKeys::CURRENT_NODE)->string(), "");
}

TEST(Disconnect, WhileIdleStopsTheEngineAndEndsDisconnected) {
  ConnectionWorld world({A});
  world.controller->disconnect();
  EXPECT_EQ(world.recorder.events(), (Events{"disconnecting", "disconnected"}));
  EXPECT_TRUE(world.service->released().empty());  // nothing was opened, nothing is released
}

// A newer attempt replaced the one that was cancelled: the old one's result is dropped, and the
// newer one goes on undisturbed.
TEST(Disconnect, SupersededAttemptReportsNothing) {
  Gate gate;
  gate.close();
  ConnectionWorld world({A, B});
  world.controller->checkConnection(false);
  std::atomic<int> opens{0};
  world.service->open = [&](const NodeServiceDouble::OpenCall& call) {
    if (opens++ == 0) gate.pass();
    return NodeServiceDouble::OpenResult::success(openAnswerFor(call.nodeId));
  };
  std::thread first([&] { world.controller->openConnection(); });
  ASSERT_TRUE(gate.waitForVisits(1));
  world.controller->disconnect();
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  gate.open();
  first.join();
  std::this_thread::sleep_for(200ms);
  const auto events = world.recorder.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "failed 10001"), 0);
  EXPECT_EQ(events.back(), "connected");
  EXPECT_EQ(world.engine->starts().size(), 1u);
  EXPECT_TRUE(world.nodes->openInfo());
}

// A connect that starts while disconnect() waits for a slow node release is left alone: its
// engine keeps running, its node stays current, and the old disconnect reports nothing more.
TEST(Disconnect, OvertakenByANewConnectLeavesTheNewAttemptAlone) {
  Gate gate;
  gate.close();
  ConnectionWorld world({A, B});
  world.controller->checkConnection(false);
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  std::atomic<int> releases{0};
  world.service->release = [&] {
    if (releases++ == 0) gate.pass();
  };
  std::thread closing([&] { world.controller->disconnect(); });
  ASSERT_TRUE(gate.waitForVisits(1));
  world.recorder.clear();
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  gate.open();
  closing.join();
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(world.engine->running()) << "the disconnect stopped the newer connection's engine";
  EXPECT_EQ(world.engine->commands(), (Events{"start", "start"}));
  EXPECT_TRUE(world.nodes->currentNode()) << "the disconnect forgot the newer connection's node";
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::connected);
  EXPECT_EQ(world.recorder.events().back(), "connected");
}

// Every phase change is one log line naming both phases and the reason.
TEST(ConnectionPhases, EachTransitionIsLoggedWithItsReason) {
  ConnectionWorld world({A});
  world.controller->checkConnection(false);
  testing::internal::CaptureStdout();
  world.controller->openConnection();
  world.recorder.waitFor("connected");
  world.controller->disconnect();
  const std::string out = testing::internal::GetCapturedStdout();
  std::vector<std::string> transitions;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find("connection ");
    if (at != std::string::npos && line.find(" -> ", at) != std::string::npos) transitions.push_back(line.substr(at));
  }
  const std::vector<std::string> expected{"idle -> opening: attempt", "opening -> starting: engine started",
                                          "starting -> connected: engine connected",
                                          "connected -> disconnecting: disconnect requested",
                                          "disconnecting -> idle: disconnect done"};
  ASSERT_EQ(transitions.size(), expected.size()) << out;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NE(transitions[i].find(expected[i]), std::string::npos) << transitions[i];
  }
}

// --- switch listener -------------------------------------------------------------------------

TEST(SwitchListen, NeedsAnOpenedNodeAndSendsItsParameters) {
  ConnectionWorld world({A});
  EXPECT_FALSE(world.controller->startSwitchListen());
  EXPECT_TRUE(world.engine->switchOptions().empty());

  Domains domains;
  domains.switch_domain = {"console.example"};
  Global::setDomains(domains);
  world.controller->checkConnection(false).dnsServer("9.9.9.9");
  world.controller->openConnection();
  ASSERT_TRUE(world.recorder.waitFor("connected"));
  EXPECT_TRUE(world.controller->startSwitchListen());
  const auto options = world.engine->switchOptions();
  ASSERT_EQ(options.size(), 1u);
  EXPECT_EQ(options[0]["unlock"], Json::array({"console.example"}));
  EXPECT_EQ(options[0]["servers"]["address"], "srv-A");
  EXPECT_EQ(options[0]["servers"]["port"], 443);
  EXPECT_EQ(options[0]["servers"]["password"], Global::userUID());
  EXPECT_EQ(options[0]["protocol"], "d");
  EXPECT_EQ(options[0]["serverName"], "hA-d.nodes.test");
  EXPECT_EQ(options[0]["dns"], "9.9.9.9");
  world.controller->stopSwitchListen();
  EXPECT_EQ(world.engine->commands().back(), "stop switch");
}

// --- the user side during an attempt -----------------------------------------------------------

// Run under ThreadSanitizer: the settings and callbacks change while attempts run and end.
TEST(ConnectionThreads, SettersDuringAttemptsAreSafe) {
  CheckPages pages;
  ConnectionWorld world({A, B});
  world.controller->tunnel(true);
  std::atomic<bool> done{false};
  std::thread user([&] {
    bool flag = false;
    while (!done) {
      flag = !flag;
      world.controller->smartRoute(flag).checkConnection(flag).autoReconnect(flag).enableSystemProxy(flag)
          .enableCmdProxy(flag).dnsServer(flag ? "auto" : "1.1.1.1").strategy(flag ? "UseIP" : "UseIPv4");
      world.controller->onStep([](ConnectStep) {});
      world.recorder.attach(*world.controller);
      (void)world.controller->settings();
      (void)world.nodes->currentNode();
      (void)world.nodes->isConnecting();
      world.nodes->setCurrentProtocol(flag ? VPNProtocol::AUTO : VPNProtocol::VLESS_TLS);
    }
  });
  for (int i = 0; i < 10; ++i) {
    std::thread attempt([&] { world.controller->openConnection(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * i));
    world.controller->disconnect();
    attempt.join();
  }
  done = true;
  user.join();
  world.controller->disconnect();
  EXPECT_FALSE(world.engine->running());
  EXPECT_EQ(world.controller->phase(), ConnectionController::Phase::idle);
}

}  // namespace
}  // namespace tarnel::test
