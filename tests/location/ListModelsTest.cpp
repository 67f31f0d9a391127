// The item models of the pickers: consistent as Qt models, fed from workers, filtered by the
// keyword, marking the current entry by identity.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "tests/location/LocationWorld.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/LoadingManager.h"
#include "ui/location/CountryListModel.h"
#include "ui/location/NodeListModel.h"
#include "ui/location/TagListModel.h"

namespace lumora::test {
namespace {

std::vector<QString> column(const QAbstractListModel& model, int role) {
  std::vector<QString> values;
  for (int row = 0; row < model.rowCount(); ++row) values.push_back(model.data(model.index(row), role).toString());
  return values;
}

std::vector<bool> marks(const QAbstractListModel& model, int role) {
  std::vector<bool> values;
  for (int row = 0; row < model.rowCount(); ++row) values.push_back(model.data(model.index(row), role).toBool());
  return values;
}

constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

TEST(NodeList, FetchesWithThePendingTagAndShowsTheLibraryOrderBehindTheOverlay) {
  LocationWorld world;
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.nodes->script.gate("nodesByCountry", gate);
  world.fakes.nodes->script.answer<std::vector<tarnel::Node>>(
      "nodesByCountry", {node("a", "JP-Tokyo-1", "jp", 10), node("b", "JP-Osaka", "jp", 45),
                         node("c", "HK-01", "hk", 70), node("d", "JP", "jp", std::nullopt)});
  NodeListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  QAbstractItemModelTester keysTester(model.keys(), kFatal);
  model.setCountry("JP");

  model.load();
  // The page keeps answering while the fetch waits; the overlay shows meanwhile.
  spin(30);
  EXPECT_TRUE(world.ui.loading.isShowing());
  EXPECT_EQ(model.rowCount(), 0);
  gate->open();
  ASSERT_TRUE(waitFor([&] { return model.loaded(); }));
  EXPECT_FALSE(world.ui.loading.isShowing());
  EXPECT_EQ(world.fakes.nodes->script.calls("nodesByCountry").back().arguments,
            (std::vector<std::string>{"JP", "-1"}));
  EXPECT_EQ(column(model, NodeListModel::NameRole),
            (std::vector<QString>{"JP-Tokyo-1", "JP-Osaka", "HK-01", "JP"}));
  EXPECT_EQ(column(model, NodeListModel::SignalRole),
            (std::vector<QString>{"ic_signal_green", "ic_signal_yellow", "ic_signal_red", "ic_signal_red"}));
  EXPECT_EQ(column(model, NodeListModel::FlagRole).at(2), "https://127.0.0.1:9/flags/HK.png");
  EXPECT_EQ(model.keys()->shown(), (std::vector<SearchKey>{{"JP", 3}, {"HK", 1}}));

  // With a pending tag the fetch asks for it.
  world.state().setSelectedTag(tag(2, "Gaming"));
  model.load();
  ASSERT_TRUE(waitFor([&] { return world.fakes.nodes->script.count("nodesByCountry") == 2; }));
  EXPECT_EQ(world.fakes.nodes->script.calls("nodesByCountry").back().arguments.at(1), "2");
}

TEST(NodeList, ShowingTheListAgainCountsEachNodeOnceAndHyphenNamesDoNotStopIt) {
  LocationWorld world;
  world.fakes.nodes->script.answer<std::vector<tarnel::Node>>(
      "nodesByCountry", {node("a", "A-1"), node("b", "-"), node("c", "A-2"), node("d", ""), node("e", "B-1")});
  NodeListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  model.setCountry("JP");
  for (int showing = 1; showing <= 3; ++showing) {
    SCOPED_TRACE(showing);
    model.load();
    ASSERT_TRUE(waitFor([&] { return world.fakes.nodes->script.count("nodesByCountry") == std::size_t(showing); }));
    // The answer is applied on the GUI thread once the fetch has ended.
    EXPECT_TRUE(waitFor([&] { return !world.ui.loading.isShowing() && model.rowCount() == 5; }));
    spin(30);
    EXPECT_FALSE(world.ui.loading.isShowing());
    EXPECT_EQ(model.rowCount(), 5);  // the nameless nodes are listed like any other
    EXPECT_EQ(model.keys()->shown(), (std::vector<SearchKey>{{"A", 2}, {"B", 1}}));
  }
}

TEST(NodeList, TheKeywordNarrowsNodesAndKeysAndAChipFillsIt) {
  LocationWorld world;
  world.fakes.nodes->script.answer<std::vector<tarnel::Node>>(
      "nodesByCountry", {node("a", "JP-Tokyo-1"), node("b", "JP-Osaka"), node("c", "jp-Kobe"), node("d", "TOKI-9")});
  NodeListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  QAbstractItemModelTester keysTester(model.keys(), kFatal);
  model.load();
  ASSERT_TRUE(waitFor([&] { return model.loaded(); }));
  ASSERT_EQ(model.keys()->total(), 3);

  struct Step {
    QString keyword;
    std::vector<QString> nodes;
    std::vector<QString> keys;
  };
  const Step steps[] = {
      {"tok", {"JP-Tokyo-1", "TOKI-9"}, {"TOKI"}},
      {"jp", {"JP-Tokyo-1", "JP-Osaka", "jp-Kobe"}, {"JP", "jp"}},
      {"osaka", {"JP-Osaka"}, {}},  // no key matches; the total still counts all three
      {"", {"JP-Tokyo-1", "JP-Osaka", "jp-Kobe", "TOKI-9"}, {"JP", "jp", "TOKI"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.keyword.toStdString());
    model.setKeyword(step.keyword);
    EXPECT_EQ(column(model, NodeListModel::NameRole), step.nodes);
    EXPECT_EQ(column(*model.keys(), SearchKeyModel::NameRole), step.keys);
    EXPECT_EQ(model.keys()->total(), 3);
  }
  model.selectKey("jp");
  EXPECT_EQ(model.keyword(), "jp");
  EXPECT_EQ(model.rowCount(), 3);

  // A tap on a row chooses the node shown there, not the one at that place in the full list.
  model.setKeyword("TOKI");
  model.choose(0);
  EXPECT_EQ(world.selection("setSelectedNode").back(), "d");
}

TEST(NodeList, TheCurrentMarkFollowsTheNodeIdNotItsName) {
  LocationWorld world;
  world.fakes.nodes->script.answer<std::vector<tarnel::Node>>(
      "nodesByCountry", {node("a", "JP-1"), node("b", "JP-1"), node("c", "JP-2")});
  NodeListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  model.load();
  ASSERT_TRUE(waitFor([&] { return model.loaded(); }));
  EXPECT_EQ(marks(model, NodeListModel::CurrentRole), (std::vector<bool>{false, false, false}));

  // The connection's node counts while nothing is picked.
  world.fakes.nodes->setConnectionNode(node("c", "JP-2"));
  world.state().locationChanged();
  EXPECT_EQ(marks(model, NodeListModel::CurrentRole), (std::vector<bool>{false, false, true}));

  int marked = 0;
  QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++marked; });
  world.state().setCurrentNode(node("b", "JP-1"));
  EXPECT_GT(marked, 0);
  EXPECT_EQ(marks(model, NodeListModel::CurrentRole), (std::vector<bool>{false, true, false}));
}

TEST(NodeList, TheMarkFollowsTheNodeAnAutomaticConnectionUsesAtEachStatus) {
  LocationWorld world;
  world.fakes.nodes->script.answer<std::vector<tarnel::Node>>("nodesByCountry",
                                                              {node("a", "JP-1"), node("b", "JP-2")});
  NodeListModel model(world.screen);
  model.load();
  ASSERT_TRUE(waitFor([&] { return model.loaded(); }));
  int announced = 0;
  QObject::connect(&model, &QAbstractItemModel::dataChanged,
                   [&](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                     if (roles.isEmpty() || roles.contains(NodeListModel::CurrentRole)) ++announced;
                   });
  // The connection chose "b" by itself and came up; nobody picked a node.
  world.fakes.nodes->setConnectionNode(node("b", "JP-2"));
  world.state().setVpnStatus(helmsey::VPNStatus::connected);
  EXPECT_GT(announced, 0) << "the list was not told";
  EXPECT_EQ(marks(model, NodeListModel::CurrentRole), (std::vector<bool>{false, true}));

  announced = 0;
  world.fakes.nodes->setConnectionNode(std::nullopt);
  world.state().setVpnStatus(helmsey::VPNStatus::disconnected);
  EXPECT_GT(announced, 0);
  EXPECT_EQ(marks(model, NodeListModel::CurrentRole), (std::vector<bool>{false, false}));
}

TEST(CountryList, TheMarkFollowsTheCommittedCodeAndAutoWhenNone) {
  LocationWorld world;
  world.state().setLoginInfo([&] {
    tarnel::Login login = world.state().loginInfo();
    login.countries.push_back(country("MO", "Japan"));  // same name, another code
    return login;
  }());
  CountryListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  ASSERT_TRUE(waitFor([&] { return model.rowCount() == 5; }));
  EXPECT_EQ(marks(model, CountryListModel::CurrentRole), (std::vector<bool>(5, false)));
  EXPECT_TRUE(world.screen.autoChosen());

  world.screen.chooseCountry("MO");
  EXPECT_EQ(marks(model, CountryListModel::CurrentRole), (std::vector<bool>{false, false, false, false, true}));
  EXPECT_FALSE(world.screen.autoChosen());
  world.screen.chooseCountry("");
  EXPECT_EQ(marks(model, CountryListModel::CurrentRole), (std::vector<bool>(5, false)));
  EXPECT_TRUE(world.screen.autoChosen());
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") >= 1; }));
}

TEST(TagList, TilesFollowTheAccountAndMarkTheTagInEffectNotThePendingOne) {
  LocationWorld world;
  world.fakes.status->script.answer<std::vector<tarnel::Tag>>("allTags", {tag(1, "Streaming"), tag(2, "Gaming")});
  world.state().setCurrentTag(tag(1, "Streaming"));
  TagListModel model(world.screen);
  QAbstractItemModelTester tester(&model, kFatal);
  ASSERT_TRUE(waitFor([&] { return model.rowCount() == 2; }));
  EXPECT_EQ(column(model, TagListModel::NameRole), (std::vector<QString>{"Streaming", "Gaming"}));
  EXPECT_EQ(column(model, TagListModel::IconRole).at(1), "https://127.0.0.1:9/tags/2.png");
  EXPECT_EQ(marks(model, TagListModel::CurrentRole), (std::vector<bool>{true, false}));

  model.choose(1);
  EXPECT_EQ(fake_text::of(world.state().selectedTag()), "2");
  EXPECT_EQ(marks(model, TagListModel::CurrentRole), (std::vector<bool>{true, false}));
  world.screen.chooseCountry("JP");
  EXPECT_EQ(marks(model, TagListModel::CurrentRole), (std::vector<bool>{false, true}));

  // A new account list is read again; an icon that is no web address shows none.
  tarnel::Tag broken = tag(3, "Odd");
  broken.icon_new = "not a url";
  world.fakes.status->script.answer<std::vector<tarnel::Tag>>("allTags", {broken});
  world.state().setLoginInfo(world.state().loginInfo());
  ASSERT_TRUE(waitFor([&] { return model.rowCount() == 1; }));
  EXPECT_EQ(model.data(model.index(0), TagListModel::IconRole).toString(), "");
}

}  // namespace
}  // namespace lumora::test
