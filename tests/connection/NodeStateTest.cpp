// The node controller's kept state: stored choices across instances, the node list's freshness,
// the routing rule lists, the per-country list, and the region filter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "services/common/Global.h"
#include "services/common/Store.h"
#include "services/connection/AreaFilter.h"
#include "tests/connection/NodeServiceDouble.h"

namespace tarnel::test {
namespace {

using namespace std::chrono;

constexpr std::int64_t kMinute = 60'000;

// The wall clock of Global, set by the test.
class TestClock {
 public:
  explicit TestClock(std::int64_t startMs) : now_(startMs) {
    Global::setClockForTesting([this] { return system_clock::time_point(milliseconds(now_.load())); });
  }
  ~TestClock() { Global::setClockForTesting({}); }
  void set(std::int64_t ms) { now_ = ms; }
  std::int64_t now() const { return now_; }

 private:
  std::atomic<std::int64_t> now_;
};

void signIn(std::optional<Other> other) {
  Login login;
  login.user.id = "user-1";
  login.other = std::move(other);
  Global::setLoginInfo(login);
}

Other otherWithInterval(std::int64_t minutes) {
  Other other;
  other.lite_update_interval = minutes;
  return other;
}

// --- freshness -----------------------------------------------------------------------------

struct FreshCase {
  const char* name;
  std::optional<Other> other;
  std::int64_t ageMs;
  bool fresh;
};

void PrintTo(const FreshCase& c, std::ostream* os) { *os << c.name; }

class NodeListFreshness : public testing::TestWithParam<FreshCase> {};

TEST_P(NodeListFreshness, CachedListIsUsedUpToTheIntervalAndNotOneMillisecondLonger) {
  const FreshCase& c = GetParam();
  TestClock clock(1'700'000'000'000);
  signIn(c.other);
  ControllerWithDouble world;
  world.controller->nodesFetched({makeNode("A", "d"), makeNode("B", "f")});
  EXPECT_EQ(Store::getValue(StoreKeys::NODE_UPDATE_TIME)->integer(), clock.now());
  clock.set(clock.now() + c.ageMs);
  EXPECT_EQ(world.controller->getNodes().size(), c.fresh ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NodeListFreshness,
    testing::Values(FreshCase{"no_settings_six_minutes", std::nullopt, 6 * kMinute, true},
                    FreshCase{"no_settings_six_minutes_and_1ms", std::nullopt, 6 * kMinute + 1, false},
                    FreshCase{"ten_minute_interval_at_the_limit", otherWithInterval(10), 10 * kMinute, true},
                    FreshCase{"ten_minute_interval_1ms_past", otherWithInterval(10), 10 * kMinute + 1, false},
                    FreshCase{"zero_interval_same_millisecond", otherWithInterval(0), 0, true},
                    FreshCase{"zero_interval_1ms_later", otherWithInterval(0), 1, false}),
    [](const testing::TestParamInfo<FreshCase>& info) { return std::string(info.param.name); });

TEST(NodeList, FirstReadWithoutStoredTimeStampsNowAndGivesTheEmptyList) {
  TestClock clock(1'700'000'000'000);
  signIn(std::nullopt);
  ControllerWithDouble world;
  EXPECT_TRUE(world.controller->getNodes().empty());
  EXPECT_EQ(world.controller->updateTime(), clock.now());
  EXPECT_EQ(Store::getValue(StoreKeys::NODE_UPDATE_TIME)->integer(), clock.now());
}

TEST(NodeList, TimeOfAnEarlierRunCountsByItsAge) {
  TestClock clock(1'700'000'000'000);
  signIn(std::nullopt);
  Store::setValue(StoreKeys::NODE_UPDATE_TIME, clock.now() - 7 * kMinute);
  ControllerWithDouble world;
  EXPECT_TRUE(world.controller->getNodes().empty());
  EXPECT_EQ(world.controller->updateTime(), clock.now() - 7 * kMinute);
}

TEST(NodeList, SelectedOrCurrentNodeIsTheWholeListWhateverItsAge) {
  TestClock clock(1'700'000'000'000);
  signIn(std::nullopt);
  ControllerWithDouble world;
  auto& nodes = *world.controller;
  nodes.nodesFetched({makeNode("A", "d"), makeNode("B", "f")});
  clock.set(clock.now() + 60 * kMinute);

  nodes.setCurrentNode(makeNode("B", "f"));
  auto list = nodes.getNodes();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].node_id, "B");

  nodes.setSelectedNode(makeNode("S", "c"));
  list = nodes.getNodes();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].node_id, "S");
  EXPECT_EQ(nodes.nodeIndex(), 0u);
}

TEST(NodeList, NewCountryOrTagEmptiesTheListUntilTheNextFetch) {
  signIn(otherWithInterval(30));
  for (int which = 0; which < 2; ++which) {
    ControllerWithDouble world;
    auto& nodes = *world.controller;
    nodes.nodesFetched({makeNode("A", "d")});
    ASSERT_EQ(nodes.getNodes().size(), 1u);
    if (which == 0) {
      nodes.setCurrentCountry(Country{"JP", "Japan", {}, 1});
    } else {
      nodes.setCurrentTag(Tag{7, "games", "", "", 0});
    }
    EXPECT_TRUE(nodes.getNodes().empty());
    nodes.nodesFetched({makeNode("A", "d")});
    EXPECT_EQ(nodes.getNodes().size(), 1u);
  }
}

TEST(NodeList, CachedListIsFilteredToTheChosenRegion) {
  signIn(otherWithInterval(30));
  ControllerWithDouble world;
  world.controller->nodesFetched(
      {makeNode("A", "d", {}, "JP"), makeNode("B", "d", {}, "DE"), makeNode("C", "d", {}, "TR")});
  AreaFilter::setSelectedArea("Europe");
  const auto list = world.controller->getNodes();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].node_id, "B");
  EXPECT_EQ(list[1].node_id, "C");
}

// --- stored choices ------------------------------------------------------------------------

TEST(NodeChoices, SurviveANewInstanceOnTheSameStore) {
  const Node current = makeNode("cur", "d");
  const Node selected = makeNode("sel", "f", {"c"}, "DE");
  const Country country{"DE", "Germany", {3, 4}, 2};
  const Tag tag{4, "stream", "i.png", "n.png", 1};
  {
    ControllerWithDouble first;
    first.controller->setCurrentNode(current);
    first.controller->setSelectedNode(selected);
    first.controller->setCurrentCountry(country);
    first.controller->setCurrentTag(tag);
    first.controller->setCurrentProtocol(VPNProtocol::VLESS_TURN);
  }
  ControllerWithDouble second;
  auto& nodes = *second.controller;
  ASSERT_TRUE(nodes.selectedNode());
  EXPECT_EQ(toJson(*nodes.selectedNode()), toJson(selected));
  ASSERT_TRUE(nodes.currentNode());  // the selected node wins
  EXPECT_EQ(nodes.currentNode()->node_id, "sel");
  nodes.setSelectedNode(std::nullopt);
  ASSERT_TRUE(nodes.currentNode());
  EXPECT_EQ(toJson(*nodes.currentNode()), toJson(current));
  ASSERT_TRUE(nodes.currentCountry());
  EXPECT_EQ(toJson(*nodes.currentCountry()), toJson(country));
  ASSERT_TRUE(nodes.currentTag());
  EXPECT_EQ(toJson(*nodes.currentTag()), toJson(tag));
  EXPECT_EQ(nodes.currentProtocol(), VPNProtocol::VLESS_TURN);
  EXPECT_EQ(Store::getValue(StoreKeys::SELECTED_PROTOCOL)->string(), "e");
}

TEST(NodeChoices, NothingIsStoredAsTheEmptyTextAndRestoresAsNothing) {
  {
    ControllerWithDouble first;
    first.controller->setCurrentNode(makeNode("cur", "d"));
    first.controller->setCurrentNode(std::nullopt);
    first.controller->setCurrentTag(std::nullopt);
    first.controller->setCurrentProtocol(VPNProtocol::AUTO);
  }
  EXPECT_EQ(Store::getValue(StoreKeys::CURRENT_NODE)->string(), "");
  EXPECT_EQ(Store::getValue(StoreKeys::CURRENT_TAG)->string(), "");
  EXPECT_EQ(Store::getValue(StoreKeys::SELECTED_PROTOCOL)->string(), "");
  ControllerWithDouble second;
  EXPECT_FALSE(second.controller->currentNode());
  EXPECT_FALSE(second.controller->currentTag());
  // Under automatic choice the protocol read is the one chosen for the attempt.
  EXPECT_EQ(second.controller->currentProtocol(), VPNProtocol::TROJAN_WS);
}

TEST(NodeChoices, UnreadableStoredValuesRestoreAsNothing) {
  Store::setValue(StoreKeys::CURRENT_NODE, std::string("{not json"));
  Store::setValue(StoreKeys::CURRENT_COUNTRY, std::string("{\"country\":\"DE\"}"));
  Store::setValue(StoreKeys::SELECTED_PROTOCOL, std::string("zz"));
  Store::setValue(StoreKeys::SELECTED_NODE, std::int64_t{5});
  ControllerWithDouble world;
  EXPECT_FALSE(world.controller->currentNode());
  EXPECT_FALSE(world.controller->currentCountry());
  EXPECT_EQ(world.controller->currentProtocol(), VPNProtocol::TROJAN_WS);
}

TEST(NodeChoices, SettersForgetUsedUpNodesAndSelectingANodeRestartsTheWalk) {
  Login login;
  Other other;
  other.protocal_priority = {"d"};
  login.other = other;
  Global::setLoginInfo(login);
  using Setter = std::function<void(NodeController&)>;
  const std::vector<std::pair<const char*, Setter>> setters = {
      {"country", [](NodeController& n) { n.setCurrentCountry(std::nullopt); }},
      {"tag", [](NodeController& n) { n.setCurrentTag(std::nullopt); }},
      {"protocol", [](NodeController& n) { n.setCurrentProtocol(VPNProtocol::AUTO); }},
      {"selected node", [](NodeController& n) { n.setSelectedNode(std::nullopt); }},
  };
  for (const auto& [name, set] : setters) {
    ControllerWithDouble world;
    world.controller->setCurrentNode(makeNode("A", "d"));
    world.controller->setCurrentProtocol(VPNProtocol::VLESS_TLS);
    world.controller->markProtocolFailed();
    ASSERT_EQ(world.controller->failedNodes(), std::vector<std::string>{"A"}) << name;
    set(*world.controller);
    EXPECT_TRUE(world.controller->failedNodes().empty()) << name;
    // Protocol failures stay: they are per node and protocol, not per location.
    EXPECT_EQ(world.controller->failedProtocol().at("A"), std::vector<std::string>{"d"}) << name;
  }
}

// --- rule lists ----------------------------------------------------------------------------

TEST(RuleLists, EntriesAreSortedByPatternAndDomainsGoToTheirIdnaForm) {
  Domains domains;
  domains.direct_domain_g0 = {"raw entry!", "g0.example"};
  domains.direct_domain_g1 = {"g1.example"};
  domains.proxy = {"proxy.example.com", "8.8.8.8", "not a rule"};
  Global::setDomains(domains);
  ProxyRule rule;
  rule.direct = {"example.com",      "bücher.de", "10.0.0.1", "a_b.com", "2001:db8::1", "2001:0db8:0:0:0:0:0:1",
                 "Mixed.Case.ORG",   "999.1.1.1", "localhost"};
  rule.proxy = {"xn--bcher-kva.de", "-bad.com", "1.1.1.1"};
  rule.block = {"ads.example.com", "1.2.3.4", "ads.example.com"};
  Global::setProxyRule(rule);
  ControllerWithDouble world;
  const auto& n = *world.controller;

  using List = std::vector<std::string>;
  // The service's direct lists are taken whole; the user's entries are tested and encoded.
  EXPECT_EQ(n.directDomains(),
            (List{"raw entry!", "g0.example", "g1.example", "example.com", "xn--bcher-kva.de", "mixed.case.org"}));
  EXPECT_EQ(n.directIPs(), (List{"10.0.0.1", "2001:db8::1", "2001:0db8:0:0:0:0:0:1"}));
  EXPECT_EQ(n.blockDomains(), (List{"ads.example.com", "ads.example.com"}));
  EXPECT_EQ(n.blockIps(), (List{"1.2.3.4"}));
  // A name the engine refuses (a label starting with a hyphen) is left out like any other refusal.
  EXPECT_EQ(n.proxyDomains(), (List{"proxy.example.com", "xn--bcher-kva.de"}));
  EXPECT_EQ(n.proxyIPs(), (List{"8.8.8.8", "1.1.1.1"}));
}

// --- per-country list ----------------------------------------------------------------------

Node classicNode(const std::string& id, const std::string& country, std::int64_t enabled,
                 std::optional<std::vector<std::int64_t>> tags, std::optional<std::int64_t> uptime) {
  Node node = makeNode(id, "d", {}, country);
  node.enabled = enabled;
  node.tags = std::move(tags);
  node.uptime = uptime;
  return node;
}

std::vector<std::string> idsOf(const std::vector<Node>& nodes) {
  std::vector<std::string> ids;
  for (const auto& node : nodes) ids.push_back(node.node_id);
  return ids;
}

TEST(NodesByCountry, FiltersSortsByUptimeAndRefreshesWhenDue) {
  TestClock clock(1'700'000'000'000);
  Other other;
  other.node_updated_at = "v1";
  other.load_refresh_interval = 5;
  signIn(other);
  ControllerWithDouble world;
  world.service->classicNodes = {
      classicNode("N1", "JP", 2, std::vector<std::int64_t>{1}, 30), classicNode("N2", "JP", 2, std::nullopt, 10),
      classicNode("N3", "JP", 1, std::vector<std::int64_t>{1}, 1),  classicNode("N4", "KR", 2, std::vector<std::int64_t>{1}, 1),
      classicNode("N5", "JP", 2, std::vector<std::int64_t>{2}, std::nullopt)};
  world.service->uptime = [](const std::string&) { return std::optional<NodeUpTime>(NodeUpTime{{{"N1", 1}, {"N2", 50}}}); };
  auto& nodes = *world.controller;

  using Ids = std::vector<std::string>;
  EXPECT_EQ(idsOf(nodes.getNodesByCountry("JP", -1)), (Ids{"N5", "N2", "N1"}));
  EXPECT_EQ(idsOf(nodes.getNodesByCountry("JP", 1)), (Ids{"N1"}));  // a node without tags is dropped
  EXPECT_EQ(world.service->classicCalls(), 1);                      // the stored list of version v1
  EXPECT_TRUE(world.service->uptimeCalls().empty());

  clock.set(clock.now() + 5 * kMinute);
  EXPECT_EQ(idsOf(nodes.getNodesByCountry("JP", -1)), (Ids{"N5", "N1", "N2"}));
  EXPECT_EQ(world.service->uptimeCalls(), Ids{"JP"});
  clock.set(clock.now() + 5 * kMinute - 1);
  nodes.getNodesByCountry("JP", -1);
  EXPECT_EQ(world.service->uptimeCalls().size(), 1u);

  // A new version of the list is fetched again.
  other.node_updated_at = "v2";
  signIn(other);
  nodes.getNodesByCountry("JP", -1);
  EXPECT_EQ(world.service->classicCalls(), 2);
}

TEST(NodesByCountry, WithoutServerSettingsAsksNothingAndGivesNothing) {
  signIn(std::nullopt);
  ControllerWithDouble world;
  world.service->classicNodes = {classicNode("N1", "JP", 2, std::nullopt, 1)};
  EXPECT_TRUE(world.controller->getNodesByCountry("JP", -1).empty());
  EXPECT_EQ(world.service->classicCalls(), 0);
}

// --- region filter -------------------------------------------------------------------------

Country country(const std::string& code, std::vector<std::int64_t> tags = {}) {
  return Country{code, code + "-name", std::move(tags), 0};
}

struct AreaCase {
  const char* name;
  std::optional<std::string> area;  // none: nothing stored
  std::optional<std::int64_t> tag;
  std::vector<std::string> kept;
};

void PrintTo(const AreaCase& c, std::ostream* os) { *os << c.name; }

class AreaFiltering : public testing::TestWithParam<AreaCase> {};

TEST_P(AreaFiltering, KeepsTheCountriesOfTheTagAndRegion) {
  const AreaCase& c = GetParam();
  if (c.area) AreaFilter::setSelectedArea(*c.area);
  const std::vector<Country> countries = {country("SG", {1}), country("TH", {2}), country("JP", {1}),
                                          country("TR", {1}), country("RU", {1}), country("UA", {2}),
                                          country("EG", {1}), country("XX", {1})};
  std::optional<Tag> tag;
  if (c.tag) tag = Tag{*c.tag, "t", "", "", 0};
  std::vector<std::string> kept;
  for (const auto& kept_country : AreaFilter::filter(countries, tag)) kept.push_back(kept_country.country);
  EXPECT_EQ(kept, c.kept);

  std::vector<Node> nodes;
  for (const auto& each : countries) nodes.push_back(makeNode("n" + each.country, "d", {}, each.country));
  std::vector<std::string> keptNodes;
  for (const auto& node : AreaFilter::filterNodes(nodes)) keptNodes.push_back(node.country);
  if (!c.tag) {
    EXPECT_EQ(keptNodes, c.kept);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AreaFiltering,
    testing::Values(
        AreaCase{"nothing_stored_keeps_all", std::nullopt, std::nullopt,
                 {"SG", "TH", "JP", "TR", "RU", "UA", "EG", "XX"}},
        AreaCase{"nothing_stored_with_tag", std::nullopt, 1, {"SG", "JP", "TR", "RU", "EG", "XX"}},
        AreaCase{"empty_text_is_every_region", "", std::nullopt, {"SG", "TH", "JP", "TR", "RU", "UA", "EG", "XX"}},
        AreaCase{"southeast_asia_and_tag", "Southeast Asia", 1, {"SG"}},
        AreaCase{"europe_has_turkey", "Europe", std::nullopt, {"TR"}},
        AreaCase{"eastern_europe_has_russia_and_ukraine", "Eastern Europe", std::nullopt, {"RU", "UA"}},
        AreaCase{"egypt_is_middle_east", "Middle East", std::nullopt, {"EG"}},
        AreaCase{"egypt_is_not_africa", "Africa", std::nullopt, {}},
        AreaCase{"unknown_region_name_keeps_all", "Atlantis", std::nullopt,
                 {"SG", "TH", "JP", "TR", "RU", "UA", "EG", "XX"}}),
    [](const testing::TestParamInfo<AreaCase>& info) { return std::string(info.param.name); });

TEST(AreaMap, HoldsTheEightRegionsAndCanBeReplaced) {
  const auto map = AreaFilter::areaMap();
  const std::map<std::string, std::size_t> counts = {{"Asia", 23},   {"Southeast Asia", 11}, {"Middle East", 15},
                                                     {"Americas", 35}, {"Europe", 26},       {"Eastern Europe", 20},
                                                     {"Oceania", 13},  {"Africa", 53}};
  ASSERT_EQ(map.size(), counts.size());
  for (const auto& [region, count] : counts) EXPECT_EQ(map.at(region).size(), count) << region;

  AreaFilter::setAreaMap({{"Home", {"XX"}}});
  AreaFilter::setSelectedArea("Home");
  const auto kept = AreaFilter::filter({country("XX"), country("JP")}, std::nullopt);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].country, "XX");
  EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID)->string(), "Home");
}

}  // namespace
}  // namespace tarnel::test
