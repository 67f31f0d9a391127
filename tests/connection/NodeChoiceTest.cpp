// Node and protocol choice as scenario tables: which node and protocol each walk opens, which
// failure ends the choice, what the failure memory holds afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/common/Global.h"
#include "services/common/Store.h"
#include "tests/connection/NodeServiceDouble.h"

namespace tarnel::test {
namespace {

void signIn(std::vector<std::string> priority, std::int64_t liteInterval = 60) {
  Login login;
  login.user.id = "user-1";
  Other other;
  other.protocal_priority = std::move(priority);
  other.lite_update_interval = liteInterval;
  login.other = other;
  Global::setLoginInfo(login);
}

struct ChoiceCase {
  std::string name;
  std::vector<Node> nodes;
  std::vector<std::string> priority;  // the service's protocal_priority, in its order
  VPNProtocol chosen = VPNProtocol::AUTO;
  std::optional<std::size_t> selected;  // index into `nodes` of the user's node
  std::map<std::string, std::vector<std::string>> earlierFailures;  // node id -> codes, from before
  std::map<std::string, std::int64_t> refusals;                     // "node/code" -> service code
  std::int64_t clockOffset = 0;

  std::int64_t code = 0;  // 0: the choice succeeds
  std::string message;
  std::vector<std::string> opened;  // "node/code" as the service saw them, in order
  std::vector<std::string> failedNodes;
  VPNProtocol protocol = VPNProtocol::AUTO;  // when it succeeds

  // The scenario, written as a chain: Case("x").list({A}).order({"d"}).opens({"A/d"}).uses(...).
  explicit ChoiceCase(std::string n) : name(std::move(n)) {}
  ChoiceCase& list(std::vector<Node> v) { nodes = std::move(v); return *this; }
  ChoiceCase& order(std::vector<std::string> v) { priority = std::move(v); return *this; }
  ChoiceCase& user(VPNProtocol p) { chosen = p; return *this; }
  ChoiceCase& select(std::size_t i) { selected = i; return *this; }
  ChoiceCase& before(std::map<std::string, std::vector<std::string>> v) { earlierFailures = std::move(v); return *this; }
  ChoiceCase& refuse(std::map<std::string, std::int64_t> v) { refusals = std::move(v); return *this; }
  ChoiceCase& offset(std::int64_t ms) { clockOffset = ms; return *this; }
  ChoiceCase& opens(std::vector<std::string> v) { opened = std::move(v); return *this; }
  ChoiceCase& uses(VPNProtocol p) { protocol = p; return *this; }
  ChoiceCase& fails(std::int64_t c, std::string m) { code = c; message = std::move(m); return *this; }
  ChoiceCase& usedUp(std::vector<std::string> v) { failedNodes = std::move(v); return *this; }
};

using Case = ChoiceCase;
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class NodeChoice : public testing::TestWithParam<ChoiceCase> {
 protected:
  void TearDown() override { Global::setServerTimeOffset(0); }
};

TEST_P(NodeChoice, OpensTheExpectedNodesAndEndsAsExpected) {
  const ChoiceCase& c = GetParam();
  signIn(c.priority);
  Global::setServerTimeOffset(c.clockOffset);
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  world.service->answerNodes(c.nodes);
  world.service->refuseOpen(c.refusals);
  nodes.setCurrentProtocol(c.chosen);
  if (c.selected) nodes.setSelectedNode(c.nodes.at(*c.selected));
  for (const auto& [id, codes] : c.earlierFailures) {
    const auto node = std::find_if(c.nodes.begin(), c.nodes.end(), [&](const Node& n) { return n.node_id == id; });
    ASSERT_NE(node, c.nodes.end());
    nodes.setCurrentNode(*node);
    for (const auto& code : codes) {
      nodes.setCurrentProtocol(vpnProtocolFromRaw(code).value());
      nodes.markProtocolFailed();
    }
    nodes.setCurrentNode(std::nullopt);
    nodes.setCurrentProtocol(c.chosen);
  }
  nodes.setIsConnecting(true);

  const auto error = nodes.openNode();

  EXPECT_EQ(world.service->opened(), c.opened);
  if (c.code == 0) {
    ASSERT_EQ(error, nullptr) << error->errCode << " " << error->errMsg;
    ASSERT_TRUE(nodes.currentNode());
    const std::string last = c.opened.back();
    EXPECT_EQ(nodes.currentNode()->node_id, last.substr(0, last.find('/')));
    EXPECT_EQ(nodes.currentProtocol(), c.protocol);
    ASSERT_TRUE(nodes.openInfo());
    EXPECT_EQ(nodes.openInfo()->node.server, "srv-" + nodes.currentNode()->node_id);
  } else {
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errCode, c.code);
    EXPECT_EQ(error->errMsg, c.message);
  }
  if (c.code != 10003 && c.code != 10004) {
    EXPECT_EQ(nodes.failedNodes(), c.failedNodes);
  }
}

const Node A = makeNode("A", "d");
const Node B = makeNode("B", "f");
const Node C = makeNode("C", "g");

INSTANTIATE_TEST_SUITE_P(
    Table, NodeChoice,
    testing::Values(
        Case("auto_first_walk_takes_the_nodes_own_protocol").list({A, B}).order({"c", "d", "f"})
            .opens({"A/d"}).uses(VPNProtocol::VLESS_TLS),
        Case("auto_refusal_moves_to_the_next_node").list({A, B}).order({"c", "d", "f"}).refuse({{"A/d", 500}})
            .opens({"A/d", "B/f"}).uses(VPNProtocol::TROJAN_TLS),
        // The second walk: protocol order first (ours, not the service's), node order second.
        Case("auto_second_walk_protocol_order_before_node_order").list({A, B}).order({"b", "c"})
            .refuse({{"A/d", 500}, {"B/f", 500}, {"A/c", 500}})
            .opens({"A/d", "B/f", "A/c", "B/c"}).uses(VPNProtocol::TROJAN_WS),
        Case("auto_second_walk_then_vmess_after_every_trojan_ws").list({A, B}).order({"b", "c"})
            .refuse({{"A/d", 500}, {"B/f", 500}, {"A/c", 500}, {"B/c", 500}})
            .opens({"A/d", "B/f", "A/c", "B/c", "A/b"}).uses(VPNProtocol::VMESS_TLS),
        // A code this client does not know can never connect: the node is passed over, and
        // with nothing else the choice ends instead of opening it again and again.
        Case("unknown_node_protocol_is_no_candidate").list({makeNode("Z", "zz")}).order({"c"})
            .fails(10003, "are not node"),
        Case("empty_node_protocol_is_no_candidate").list({makeNode("Z", "")}).order({"d"})
            .fails(10003, "are not node"),
        Case("unknown_node_protocol_is_passed_over").list({makeNode("Z", "zz"), A}).order({"c", "d"})
            .opens({"A/d"}).uses(VPNProtocol::VLESS_TLS),
        Case("unknown_node_protocol_is_passed_over_for_the_users_node").list({makeNode("Z", "zz"), A})
            .order({"d"}).select(0).fails(10004, "unavailable node"),
        Case("user_protocol_skips_and_remembers_nodes_without_it").list({makeNode("A", "d", {"f"}), B})
            .order({"f"}).user(VPNProtocol::TROJAN_TLS)
            .opens({"B/f"}).usedUp({"A"}).uses(VPNProtocol::TROJAN_TLS),
        Case("10002_no_node_offers_the_user_protocol")
            .list({makeNode("A", "d", {"f"}), makeNode("B", "f", {"f"})}).order({"f"}).user(VPNProtocol::TROJAN_TLS)
            .fails(10002, "node unsupport protocol").usedUp({"A", "B"}),
        Case("10002_vmess_chosen_while_the_clock_is_off").list({makeNode("A", "b")}).order({"b"})
            .user(VPNProtocol::VMESS_TLS).offset(4000)
            .fails(10002, "node unsupport protocol").usedUp({"A"}),
        Case("clock_offset_never_chooses_vmess")
            .list({makeNode("A", "b"), makeNode("B", "ts"), makeNode("C", "d")}).order({"b", "ts", "d"}).offset(-2500)
            .opens({"C/d"}).uses(VPNProtocol::VLESS_TLS),
        Case("10003_every_candidate_refused").list({A, B}).order({}).refuse({{"A/d", 500}, {"B/f", 500}})
            .fails(10003, "are not node").opens({"A/d", "B/f"}),
        Case("10004_user_node_has_nothing_left").list({A}).order({}).select(0).before({{"A", {"d"}}})
            .fails(10004, "unavailable node"),
        Case("user_node_refused_hands_the_error_on").list({A, B}).order({"d", "f"}).select(0)
            .refuse({{"A/d", 3303}}).fails(3303, "refused 3303").opens({"A/d"}),
        Case("10005_from_3301_tries_no_other_node").list({A, B}).order({"d", "f"}).refuse({{"A/d", 3301}})
            .fails(10005, "refused 3301").opens({"A/d"}),
        Case("10005_from_3305").list({A, B}).order({"d", "f"}).refuse({{"A/d", 3305}})
            .fails(10005, "refused 3305").opens({"A/d"}),
        Case("10005_from_3306").list({A, B}).order({"d", "f"}).refuse({{"A/d", 3306}})
            .fails(10005, "refused 3306").opens({"A/d"}),
        Case("user_node_tries_its_other_protocols").list({A, B}).order({"c", "d"}).select(0)
            .before({{"A", {"d"}}}).opens({"A/c"}).uses(VPNProtocol::TROJAN_WS)),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

TEST(NodeChoiceOpen, SendsEmptyGameModeAndBalanceOne) {
  signIn({"d"});
  ControllerWithDouble world;
  world.service->answerNodes({A});
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->openNode(), nullptr);
  const auto calls = world.service->openCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].gameMode, "");
  EXPECT_EQ(calls[0].balance, 1);
}

TEST(NodeChoiceOpen, SuccessWithoutAnswerCountsAsRefusal) {
  signIn({});
  ControllerWithDouble world;
  world.service->answerNodes({A, B});
  world.service->open = [](const NodeServiceDouble::OpenCall& call) {
    if (call.nodeId == "A") return NodeServiceDouble::OpenResult::success();
    return NodeServiceDouble::OpenResult::success(openAnswerFor(call.nodeId));
  };
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->openNode(), nullptr);
  EXPECT_EQ(world.service->opened(), (std::vector<std::string>{"A/d", "B/f"}));
  EXPECT_EQ(world.controller->failedProtocol().at("A"), std::vector<std::string>{"d"});
}

// Refusals leave the node and protocol remembered, the stored current node empty, and the next
// node-list request leaves out the used-up nodes.
TEST(NodeChoiceOpen, RefusedNodeIsForgottenAsCurrentAndLeftOutOfTheNextList) {
  signIn({"d"});
  ControllerWithDouble world;
  world.service->answerNodes({A});
  world.service->refuseOpen({{"A/d", 500}});
  world.controller->setIsConnecting(true);
  const auto error = world.controller->openNode();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 10003);
  EXPECT_FALSE(world.controller->currentNode());
  EXPECT_EQ(Store::getValue(StoreKeys::CURRENT_NODE)->string(), "");
  // "d" was the only protocol of the order: A was used up, and the exhausted choice then started
  // with a clean memory and a stale list.
  EXPECT_TRUE(world.controller->failedNodes().empty());
  EXPECT_TRUE(world.controller->failedProtocol().empty());
  EXPECT_EQ(world.controller->updateTime(), 0);

  // The next attempt asks for a fresh list straight away.
  world.service->refuseOpen({});
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->openNode(), nullptr);
  EXPECT_EQ(world.service->nodeListCalls().size(), 2u);
}

TEST(NodeChoiceOpen, NodeListRequestLeavesOutUsedUpNodes) {
  signIn({"d"});
  ControllerWithDouble world;
  world.service->answerNodes({A, B});
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->pickConnectNode(), nullptr);
  world.controller->markProtocolFailed();  // A with "d": every protocol of the order failed
  ASSERT_EQ(world.controller->failedNodes(), std::vector<std::string>{"A"});
  world.controller->setCurrentNode(std::nullopt);
  world.controller->setCurrentCountry(std::nullopt);  // the location changed: the list is stale
  world.controller->markProtocolFailed();             // no node in play: nothing happens
  EXPECT_TRUE(world.controller->failedNodes().empty());
  world.controller->setCurrentNode(A);
  world.controller->markProtocolFailed();
  world.controller->setCurrentNode(std::nullopt);
  ASSERT_EQ(world.controller->pickConnectNode(), nullptr);
  EXPECT_EQ(world.service->nodeListCalls(), (std::vector<std::string>{"", "A"}));
}

TEST(NodeChoiceList, ListThatStaysEmptyIsAskedForThreeTimesThenFails) {
  signIn({"d"});
  ControllerWithDouble world;
  world.controller->setIsConnecting(true);
  const auto started = std::chrono::steady_clock::now();
  const auto error = world.controller->pickConnectNode();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 10003);
  EXPECT_EQ(error->errMsg, "are not node");
  EXPECT_EQ(world.service->nodeListCalls().size(), 3u);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 2 * NodeController::kEmptyListPause);
}

TEST(NodeChoiceList, ListThatArrivesOnTheSecondRequestIsUsed) {
  signIn({"d"});
  ControllerWithDouble world;
  int calls = 0;
  world.service->nodeList = [&calls](const std::string&) {
    return NodeServiceDouble::NodeListAnswer{nullptr, ++calls == 1 ? std::vector<Node>{} : std::vector<Node>{A}};
  };
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->pickConnectNode(), nullptr);
  EXPECT_EQ(world.controller->currentNode()->node_id, "A");
}

TEST(NodeChoiceList, NodeListErrorIsHandedOn) {
  signIn({"d"});
  ControllerWithDouble world;
  world.service->nodeList = [](const std::string&) {
    return NodeServiceDouble::NodeListAnswer{APIErrorInfo::make(-1, "network error."), {}};
  };
  world.controller->setIsConnecting(true);
  const auto error = world.controller->openNode();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, -1);
  EXPECT_EQ(error->errMsg, "network error.");
  EXPECT_TRUE(world.service->opened().empty());
}

// A node that stopped being a candidate is passed over where the walk resumes.
TEST(NodeChoiceList, WalkResumesWhereTheLastChoiceStood) {
  signIn({});
  ControllerWithDouble world;
  world.service->answerNodes({A, B, C});
  world.controller->setIsConnecting(true);
  world.service->refuseOpen({{"A/d", 500}});
  ASSERT_EQ(world.controller->openNode(), nullptr);
  EXPECT_EQ(world.controller->nodeIndex(), 1u);
  world.controller->clearFailures("A");
  world.controller->setCurrentNode(std::nullopt);
  ASSERT_EQ(world.controller->pickConnectNode(), nullptr);
  EXPECT_EQ(world.controller->currentNode()->node_id, "B");  // not A again, though A comes first
}

// --- cancellation --------------------------------------------------------------------------

struct CancelCase {
  const char* name;
  const char* during;  // "list", "open", "probe"
  bool newAttempt;      // another attempt begins instead of a plain stop
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class NodeChoiceCancel : public testing::TestWithParam<CancelCase> {};

TEST_P(NodeChoiceCancel, AnswersAbandonedAndChangesNothing) {
  const CancelCase& c = GetParam();
  signIn({"d"});
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  const std::string during = c.during;
  auto stop = [&] { nodes.setIsConnecting(c.newAttempt); };
  world.service->nodeList = [&](const std::string&) {
    if (during == "list") stop();
    return NodeServiceDouble::NodeListAnswer{nullptr, {A}};
  };
  world.service->open = [&](const NodeServiceDouble::OpenCall& call) {
    if (during == "open") stop();
    return NodeServiceDouble::OpenResult::success(openAnswerFor(call.nodeId));
  };
  world.service->probe = [&](const NodeServiceDouble::ProbeCall&) {
    if (during == "probe") stop();
    return NodeServiceDouble::ProbeResult::success(std::map<std::string, std::int64_t>{{"srv-A", 8443}});
  };
  nodes.setIsConnecting(true);

  auto error = nodes.openNode();
  if (during == "probe") {
    ASSERT_EQ(error, nullptr);
    error = nodes.checkPort();
  }
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 10001);
  EXPECT_EQ(error->errMsg, "");
  EXPECT_TRUE(nodes.fastServer().empty());
  if (during == "open") {
    EXPECT_FALSE(nodes.openInfo());
  }
  EXPECT_TRUE(nodes.failedProtocol().empty() || nodes.failedProtocol().at("A").empty());
  EXPECT_EQ(nodes.isConnecting(), c.newAttempt);
}

INSTANTIATE_TEST_SUITE_P(Table, NodeChoiceCancel,
                         testing::Values(CancelCase{"stopped_during_list", "list", false},
                                         CancelCase{"stopped_during_open", "open", false},
                                         CancelCase{"stopped_during_probe", "probe", false},
                                         CancelCase{"superseded_during_list", "list", true},
                                         CancelCase{"superseded_during_open", "open", true},
                                         CancelCase{"superseded_during_probe", "probe", true}),
                         [](const testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

// --- used-up nodes -------------------------------------------------------------------------

struct UsedUpCase {
  const char* name;
  std::vector<std::string> priority;
  std::vector<std::string> unsupported;
  std::vector<std::string> failures;
  bool usedUp;
};

void PrintTo(const UsedUpCase& c, std::ostream* os) { *os << c.name; }

class NodeUsedUp : public testing::TestWithParam<UsedUpCase> {};

TEST_P(NodeUsedUp, NodeIsUsedUpWhenEveryProtocolOfTheOrderIsRuledOut) {
  const UsedUpCase& c = GetParam();
  signIn(c.priority);
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  nodes.setCurrentNode(makeNode("N", "d", c.unsupported));
  for (const auto& code : c.failures) {
    nodes.setCurrentProtocol(vpnProtocolFromRaw(code).value());
    nodes.markProtocolFailed();
  }
  EXPECT_EQ(nodes.failedProtocol().at("N"), c.failures);
  EXPECT_EQ(nodes.failedNodes(), c.usedUp ? std::vector<std::string>{"N"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, NodeUsedUp,
    testing::Values(UsedUpCase{"both_failed", {"c", "b"}, {}, {"c", "b"}, true},
                    UsedUpCase{"one_failed_one_unsupported", {"c", "b"}, {"b"}, {"c"}, true},
                    UsedUpCase{"one_of_two_failed", {"c", "b"}, {}, {"c"}, false},
                    // Sets, not joined texts: a protocol outside the order or a repeated failure
                    // does not keep a node in play forever.
                    UsedUpCase{"unsupported_outside_the_order", {"c", "b"}, {"b", "g"}, {"c"}, true},
                    UsedUpCase{"repeated_failure", {"c", "b"}, {}, {"c", "c", "b"}, true},
                    UsedUpCase{"repeated_failure_of_one", {"c", "b"}, {}, {"c", "c"}, false},
                    UsedUpCase{"no_order_never_used_up", {}, {}, {"d", "f"}, false}),
    [](const testing::TestParamInfo<UsedUpCase>& info) { return std::string(info.param.name); });

// --- port check ----------------------------------------------------------------------------

struct PortCase {
  const char* name;
  VPNProtocol protocol;
  std::optional<std::string> relayHosts;  // none: the open answer has no relay entry
  std::vector<std::string> hosts;          // probed; empty: nothing is probed
  std::string domain;
  std::vector<std::int64_t> ports;
};

void PrintTo(const PortCase& c, std::ostream* os) { *os << c.name; }

class PortCheck : public testing::TestWithParam<PortCase> {};

TEST_P(PortCheck, ProbesTheHostsDomainAndPortsOfTheProtocol) {
  const PortCase& c = GetParam();
  signIn({"b", "ts", "d", "e", "f", "g", "c"});
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  world.service->answerNodes({makeNode("A", std::string(rawValue(c.protocol)))});
  world.service->open = [&](const NodeServiceDouble::OpenCall& call) {
    Open open = openAnswerFor(call.nodeId);
    if (c.relayHosts) {
      open.turn->server = *c.relayHosts;
    } else {
      open.turn.reset();
    }
    return NodeServiceDouble::OpenResult::success(open);
  };
  nodes.setIsConnecting(true);
  ASSERT_EQ(nodes.openNode(), nullptr);
  ASSERT_EQ(nodes.currentProtocol(), c.protocol);

  const auto error = nodes.checkPort();

  const auto probes = world.service->probeCalls();
  if (c.hosts.empty()) {
    EXPECT_TRUE(probes.empty());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errCode, -1);
    ASSERT_EQ(world.service->records().size(), 1u);
    EXPECT_EQ(world.service->records()[0].fields.at("port"), "443");
    EXPECT_FALSE(nodes.currentNode());
    return;
  }
  ASSERT_EQ(error, nullptr);
  ASSERT_EQ(probes.size(), 1u);
  EXPECT_EQ(probes[0].hosts, c.hosts);
  EXPECT_EQ(probes[0].domain, c.domain);
  EXPECT_EQ(probes[0].ports, c.ports);
  EXPECT_EQ(nodes.fastServer(), (std::map<std::string, std::int64_t>{{c.hosts.front(), 443}}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortCheck,
    testing::Values(PortCase{"vless_tls_probes_the_node_server", VPNProtocol::VLESS_TLS, "r1", {"srv-A"},
                             "hA-a.nodes.test", {}},
                    PortCase{"vmess_tls_probes_the_node_server", VPNProtocol::VMESS_TLS, std::nullopt, {"srv-A"},
                             "hA-a.nodes.test", {}},
                    PortCase{"trojan_ws_probes_relays_on_443", VPNProtocol::TROJAN_WS, "r1,,r2,", {"r1", "r2"},
                             "hA-c.nodes.test", {443}},
                    PortCase{"vmess_turn_probes_the_relays", VPNProtocol::VMESS_TURN, "r1,r2", {"r1", "r2"},
                             "hA-a.nodes.test", {}},
                    PortCase{"relay_without_relay_data_fails_cleanly", VPNProtocol::TROJAN_TURN, std::nullopt, {},
                             "", {}},
                    PortCase{"relay_with_empty_relay_list_fails_cleanly", VPNProtocol::VLESS_TURN, ",,", {}, "",
                             {}}),
    [](const testing::TestParamInfo<PortCase>& info) { return std::string(info.param.name); });

TEST(PortCheckFailure, LogsTheFailingRequestRemembersTheProtocolAndDropsTheNode) {
  signIn({"d", "f"});
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  world.service->answerNodes({A, B});
  world.service->probe = [](const NodeServiceDouble::ProbeCall&) {
    auto request = std::make_shared<NetworkRequest>("https://10.1.2.3:8443/test", HttpMethod::GET, std::nullopt,
                                                     std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    return NodeServiceDouble::ProbeResult::failure(APIErrorInfo::make(0, "timed out"), request);
  };
  nodes.setIsConnecting(true);
  ASSERT_EQ(nodes.openNode(), nullptr);
  const auto error = nodes.checkPort();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->errCode, 0);
  EXPECT_EQ(error->errMsg, "timed out");

  const auto records = world.service->records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].topic, LogTopic::ERROR_NODE_PORT_CHECK);
  EXPECT_EQ(records[0].fields, (std::map<std::string, std::string>{{"node_id", "A"},
                                                                    {"node_name", "name-A"},
                                                                    {"protocol", "d"},
                                                                    {"node_ip", "10.1.2.3"},
                                                                    {"port", "8443"},
                                                                    {"err_code", "0"},
                                                                    {"err_msg", "timed out"}}));
  EXPECT_EQ(nodes.failedProtocol().at("A"), std::vector<std::string>{"d"});
  EXPECT_FALSE(nodes.currentNode());

  // Back in the open step, the next choice is the next node.
  world.service->probe = [](const NodeServiceDouble::ProbeCall& call) {
    return NodeServiceDouble::ProbeResult::success(std::map<std::string, std::int64_t>{{call.hosts.at(0), 443}});
  };
  ASSERT_EQ(nodes.openNode(), nullptr);
  EXPECT_EQ(nodes.currentNode()->node_id, "B");
  EXPECT_EQ(nodes.checkPort(), nullptr);
}

TEST(PortCheckFailure, FailureWithoutRequestLogsNoAddressAndPort443) {
  signIn({"d"});
  ControllerWithDouble world;
  world.service->answerNodes({A});
  world.service->probe = [](const NodeServiceDouble::ProbeCall&) {
    return NodeServiceDouble::ProbeResult::failure(APIErrorInfo::make(-1, ""));
  };
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->openNode(), nullptr);
  ASSERT_NE(world.controller->checkPort(), nullptr);
  const auto records = world.service->records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].fields.at("node_ip"), "");
  EXPECT_EQ(records[0].fields.at("port"), "443");
  EXPECT_EQ(records[0].fields.at("err_code"), "-1");
}

// --- release -------------------------------------------------------------------------------

TEST(NodeRelease, ReleasesTheNodeInPlayWithItsProtocolAndNothingWithoutOne) {
  signIn({"d"});
  ControllerWithDouble world;
  world.controller->closeNode();
  EXPECT_TRUE(world.service->released().empty());

  world.service->answerNodes({A});
  world.controller->setIsConnecting(true);
  ASSERT_EQ(world.controller->openNode(), nullptr);
  world.controller->closeNode();
  EXPECT_EQ(world.service->released(), std::vector<std::string>{"A/d"});
}

}  // namespace
}  // namespace tarnel::test
