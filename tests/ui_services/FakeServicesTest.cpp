// The fakes carry a little logic of their own (answer order, gates, the library's rules for the
// user's choices and the region filter); other tests rely on it.
#include <gtest/gtest.h>

#include <thread>

#include "tests/ui_support/fakes/FakeServices.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;

TEST(FakeServicesTest, QueuedAnswersComeFirstThenTheStandingOneThenTheDefault) {
  FakeServices fakes;
  auto& script = fakes.account->script;
  EXPECT_EQ(fakes.account->login("a@b.test", "pw", 0, ""), nullptr);  // nothing scripted: success
  script.answer<ServiceError>("login", tarnel::APIErrorInfo::make(3303, "full"));
  script.enqueue<ServiceError>("login", nullptr);
  script.enqueue<ServiceError>("login", tarnel::APIErrorInfo::make(-1, "network error."));
  EXPECT_EQ(fakes.account->login("a@b.test", "pw", 0, ""), nullptr);
  EXPECT_EQ(fakes.account->login("a@b.test", "pw", 0, "")->errCode, -1);
  EXPECT_EQ(fakes.account->login("a@b.test", "pw", 1, "")->errCode, 3303);
  EXPECT_EQ(fakes.account->login("a@b.test", "pw", 1, "")->errCode, 3303);
  const auto calls = script.calls("login");
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[4], (FakeCall{"login", {"a@b.test", "pw", "1", ""}}));
}

TEST(FakeServicesTest, GatedCallsWaitAndEffectsRunInsideTheCall) {
  FakeServices fakes;
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  fakes.notices->script.gate("notices", gate);
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", tarnel::Notices{});
  bool effectRan = false;
  fakes.notices->script.onCall("notices", [&] { effectRan = true; });
  std::optional<tarnel::Notices> got;
  std::thread caller([&] { got = fakes.notices->notices(); });
  ASSERT_TRUE(fakes.notices->script.waitForCalls("notices", 1));
  ASSERT_TRUE(gate->waitForVisits(1));
  EXPECT_FALSE(effectRan);
  gate->open();
  caller.join();
  EXPECT_TRUE(effectRan);
  EXPECT_TRUE(got.has_value());
}

TEST(FakeServicesTest, ChoicesBehaveAsTheLibrarysDo) {
  FakeServices fakes;
  auto& nodes = *fakes.nodes;
  tarnel::Node picked;
  picked.node_id = "n-picked";
  tarnel::Node used;
  used.node_id = "n-used";
  nodes.setConnectionNode(used);
  EXPECT_EQ(nodes.currentNode()->node_id, "n-used");
  nodes.setSelectedNode(picked);
  EXPECT_EQ(nodes.currentNode()->node_id, "n-picked");
  nodes.setSelectedNode(std::nullopt);
  EXPECT_EQ(nodes.currentNode()->node_id, "n-used");

  nodes.setChosenProtocol(tarnel::VPNProtocol::VMESS_TLS);
  EXPECT_EQ(nodes.currentProtocol(), tarnel::VPNProtocol::VMESS_TLS);  // AUTO: the attempt's choice
  nodes.setCurrentProtocol(tarnel::VPNProtocol::TROJAN_TLS);
  EXPECT_EQ(nodes.currentProtocol(), tarnel::VPNProtocol::TROJAN_TLS);
  EXPECT_EQ(nodes.script.operations(),
            (std::vector<std::string>{"setSelectedNode", "setSelectedNode", "setCurrentProtocol"}));
}

TEST(FakeServicesTest, RegionFilterKeepsTaggedCountriesOfTheChosenRegion) {
  FakeServices fakes;
  auto country = [](const std::string& code, std::vector<std::int64_t> tags) {
    tarnel::Country c;
    c.country = code;
    c.tags = std::move(tags);
    return c;
  };
  const std::vector<tarnel::Country> all = {country("JP", {1}), country("DE", {1, 2}), country("US", {2})};
  tarnel::Tag two;
  two.id = 2;
  struct Case {
    std::string area;
    std::optional<tarnel::Tag> tag;
    std::vector<std::string> kept;
  };
  const std::vector<Case> cases = {
      {"", std::nullopt, {"JP", "DE", "US"}},
      {"", two, {"DE", "US"}},
      {"Europe", std::nullopt, {"DE"}},
      {"Asia", two, {}},
      {"Atlantis", std::nullopt, {"JP", "DE", "US"}},  // no such region: every region counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.area);
    fakes.nodes->setSelectedArea(c.area);
    std::vector<std::string> kept;
    for (const auto& k : fakes.nodes->filterCountries(all, c.tag)) kept.push_back(k.country);
    EXPECT_EQ(kept, c.kept);
  }
}

TEST(FakeServicesTest, EngineStopsAnswerAtOnceOrWhenReleased) {
  FakeServices fakes;
  auto& engine = *fakes.engine;
  std::vector<helmsey::VPNStatus> heard;
  engine.startVPN(tarnel::Config{}, true, false, false, [&](helmsey::VPNStatus s) { heard.push_back(s); });
  engine.emitStatus(helmsey::VPNStatus::connected);
  EXPECT_EQ(engine.status(), helmsey::VPNStatus::connected);
  int stops = 0;
  engine.holdStops(true);
  engine.stopVPN([&](helmsey::VPNStatus) { ++stops; });
  EXPECT_EQ(stops, 0);
  engine.emitStatus(helmsey::VPNStatus::connected);  // the stopped start hears nothing more
  engine.completeStops();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(heard, (std::vector<helmsey::VPNStatus>{helmsey::VPNStatus::connected}));
}

}  // namespace
}  // namespace lumora
