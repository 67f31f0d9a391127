// How node names become search suggestions and how the keyword and the uptime read.
#include <gtest/gtest.h>

#include "tests/location/LocationWorld.h"
#include "ui/location/NodeNames.h"

namespace lumora::test {
namespace {

std::vector<tarnel::Node> named(const std::vector<std::string>& names) {
  std::vector<tarnel::Node> nodes;
  int id = 0;
  for (const auto& name : names) nodes.push_back(node("n" + std::to_string(++id), name));
  return nodes;
}

TEST(SearchKeys, PrefixesAreCountedAndOrderedByCountThenByTheirLastNode) {
  struct Case {
    std::vector<std::string> names;
    std::vector<SearchKey> keys;
  };
  const Case cases[] = {
      {{"JP-Tokyo-1", "JP-Osaka", "HK-01", "JP"}, {{"JP", 3}, {"HK", 1}}},
      {{"A-1", "B-1", "A-2", "B-2"}, {{"A", 2}, {"B", 2}}},
      {{"A-1", "B-1", "B-2", "A-2"}, {{"B", 2}, {"A", 2}}},
      // Case counts: two keys, not one.
      {{"jp-1", "JP-2"}, {{"jp", 1}, {"JP", 1}}},
      // Empty pieces are dropped before the first one is taken.
      {{"-Osaka-2", "--Osaka", "Paris"}, {{"Osaka", 2}, {"Paris", 1}}},
      // Names without any piece have no prefix and count under no key.
      {{"-", "", "---", "SG-1"}, {{"SG", 1}}},
      {{"-", ""}, {}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.names));
    EXPECT_EQ(countSearchKeys(named(c.names)), c.keys);
  }
}

TEST(SearchKeys, KeywordMatchesAnywhereIgnoringCaseAndUptimeGradesTheSignal) {
  EXPECT_TRUE(matchesKeyword("JP-Tokyo-1", "tok"));
  EXPECT_FALSE(matchesKeyword("JP-Osaka", "tok"));
  EXPECT_TRUE(matchesKeyword("jp-1", "JP"));
  EXPECT_TRUE(matchesKeyword("anything", ""));
  EXPECT_FALSE(matchesKeyword("", "a"));

  const std::pair<std::optional<std::int64_t>, const char*> grades[] = {
      {-5, "ic_signal_green"},  {0, "ic_signal_green"},  {29, "ic_signal_green"}, {30, "ic_signal_yellow"},
      {59, "ic_signal_yellow"}, {60, "ic_signal_red"},   {999, "ic_signal_red"},  {std::nullopt, "ic_signal_red"},
  };
  for (const auto& [uptime, image] : grades) {
    SCOPED_TRACE(uptime ? std::to_string(*uptime) : "missing");
    EXPECT_EQ(signalImage(uptime), QString::fromUtf8(image));
  }
}

}  // namespace
}  // namespace lumora::test
