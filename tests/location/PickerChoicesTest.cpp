// What choosing on the location, node and tag pages does to the node selection, the shared
// state, the analytics and the connection.
#include <gtest/gtest.h>

#include "tests/location/LocationWorld.h"
#include "ui/base/AppStateManager.h"
#include "ui/location/CountryListModel.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;

std::vector<QString> codes(const CountryListModel& model) {
  std::vector<QString> shown;
  for (int row = 0; row < model.rowCount(); ++row) {
    shown.push_back(model.data(model.index(row), CountryListModel::CodeRole).toString());
  }
  return shown;
}

bool atRoot(LocationWorld& world) { return world.state().router()->depth() == 0; }

TEST(LocationPicker, AreaTabsNarrowTheListAndASecondTapClearsThem) {
  LocationWorld world;
  EXPECT_EQ(world.screen.areas(), LocationScreen::kAreaOrder);

  CountryListModel model(world.screen);
  ASSERT_TRUE(waitFor([&] { return model.ready(); }));
  EXPECT_EQ(codes(model), (std::vector<QString>{"JP", "US", "HK", "DE"}));

  struct Step {
    QString tap;
    QString area;
    std::vector<QString> shown;
  };
  const Step steps[] = {
      {"Asia", "Asia", {"JP", "HK"}},       // the account's order, not the region's
      {"Europe", "Europe", {"DE"}},          // another tab replaces the choice
      {"Europe", "", {"JP", "US", "HK", "DE"}},  // the chosen tab again clears it
      {"Oceania", "Oceania", {}},            // nothing there: only the automatic entry remains
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.tap.toStdString());
    world.screen.chooseArea(step.tap);
    EXPECT_EQ(world.state().selectedArea(), step.area);
    ASSERT_TRUE(waitFor([&] { return codes(model) == step.shown; }));
  }
  // Each choice is stored with the library at once; none records an event.
  EXPECT_EQ(world.selection("setSelectedArea"), (std::vector<std::string>{"Asia", "Europe", "", "Oceania"}));
  EXPECT_TRUE(world.events().empty());
}

TEST(LocationPicker, ThePendingTagFiltersTogetherWithTheArea) {
  LocationWorld world;
  CountryListModel model(world.screen);
  world.state().setSelectedTag(tag(2, "Gaming"));
  ASSERT_TRUE(waitFor([&] { return codes(model) == std::vector<QString>{"JP", "DE"}; }));
  EXPECT_TRUE(world.screen.hasPendingTag());
  EXPECT_EQ(world.screen.pendingTagName(), "Gaming");
  world.screen.chooseArea("Asia");
  ASSERT_TRUE(waitFor([&] { return codes(model) == std::vector<QString>{"JP"}; }));
  world.screen.clearTag();
  ASSERT_TRUE(waitFor([&] { return codes(model) == std::vector<QString>{"JP", "HK"}; }));
  EXPECT_FALSE(world.screen.hasPendingTag());
}

TEST(LocationPicker, ChoosingACountryOrAutoCommitsTagAndCountryDropsTheNodeAndReconnects) {
  struct Case {
    QString code;
    std::optional<tarnel::Tag> pending;
    VPNStatus status;
    std::string value;
    std::string message;
  };
  const Case cases[] = {
      {"JP", tag(2, "Gaming"), VPNStatus::connected, "JP", "tab=vip,tag=Gaming"},
      {"", std::nullopt, VPNStatus::connected, "auto", "tab=vip,tag="},
      // Not connected: the disconnect still runs and the toggle then connects.
      {"US", tag(1, "Streaming"), VPNStatus::disconnected, "US", "tab=vip,tag=Streaming"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    LocationWorld world;
    world.state().setCurrentTag(tag(1, "Streaming"));
    world.fakes.nodes->setSelectedNode(node("old", "JP-Old"));
    world.state().setVpnStatus(c.status);
    world.state().setSelectedTag(c.pending);
    world.state().router()->push(Route::location);

    world.screen.chooseCountry(c.code);

    const auto events = world.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].arguments, (std::vector<std::string>{"LOCATION_USE", c.value, c.message}));
    EXPECT_EQ(fake_text::of(world.state().currentTag()), fake_text::of(c.pending));
    EXPECT_EQ(world.selection("setCurrentTag").back(), fake_text::of(c.pending));
    EXPECT_EQ(world.selection("setSelectedNode").back(), "none");
    EXPECT_FALSE(world.fakes.nodes->selectedNode().has_value());
    EXPECT_EQ(world.selection("setCurrentCountry").back(), c.code.isEmpty() ? "none" : c.code.toStdString());
    EXPECT_EQ(world.screen.autoChosen(), c.code.isEmpty());
    ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
    EXPECT_EQ(world.calls("disconnect"), 1u);
    EXPECT_TRUE(waitFor([&] { return atRoot(world); }));
  }
}

TEST(LocationPicker, ACountryChosenJustAfterAClickStillEndsInAConnectionAttempt) {
  LocationWorld world;
  // Connected; the user clicks the switch (it disconnects), then clicks again within the guard
  // (ignored), and picks a country 300 ms later.
  world.state().setVpnStatus(VPNStatus::connected);
  world.connect.toggleConnection(false, {});
  ASSERT_TRUE(waitFor([&] { return world.state().vpnStatus() == VPNStatus::disconnected; }));
  world.nowMs += 300;
  world.screen.chooseCountry("DE");
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
  EXPECT_EQ(world.selection("setCurrentCountry").back(), "DE");

  // The guard still holds for clicks: one right after the switch-over is ignored.
  world.nowMs += 100;
  world.state().setVpnStatus(VPNStatus::connected);
  world.connect.toggleConnection(false, {});
  spin(50);
  EXPECT_EQ(world.calls("disconnect"), 2u);  // the first click's and the switch-over's
}

TEST(NodeAndTagChoices, ANodeBecomesTheTargetWithThePendingTagWhileATagOnlyPends) {
  LocationWorld world;
  world.state().setCurrentTag(tag(1, "Streaming"));
  world.state().setVpnStatus(VPNStatus::connected);

  // Tag picker: the pending tag changes, nothing is committed, and the location picker opens.
  const auto tagCalls = world.selection("setCurrentTag").size();
  world.screen.pickTag(tag(2, "Gaming"));
  EXPECT_EQ(fake_text::of(world.state().selectedTag()), "2");
  EXPECT_EQ(fake_text::of(world.state().currentTag()), "1");
  EXPECT_EQ(world.selection("setCurrentTag").size(), tagCalls);
  EXPECT_EQ(world.state().router()->topName(), "location");
  world.screen.pickTag(tag(1, "Streaming"));
  world.screen.clearTag();
  EXPECT_FALSE(world.state().selectedTag().has_value());
  // The router keeps one location page however often it is pushed.
  EXPECT_EQ(world.state().router()->depth(), 1);
  world.screen.pickTag(tag(2, "Gaming"));
  EXPECT_TRUE(world.events().empty());

  // Node list: the node becomes the pick, the pending tag the tag in effect, and the
  // connection switches over.
  world.screen.openNodes("JP", "Japan");
  EXPECT_EQ(world.state().router()->topName(), "node");
  world.screen.chooseNode(node("jp-7", "JP-Tokyo-7"));
  const auto events = world.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].arguments, (std::vector<std::string>{"NODE_CONNECT", "jp-7", ""}));
  EXPECT_EQ(fake_text::of(world.state().currentTag()), "2");
  EXPECT_EQ(world.selection("setCurrentTag").back(), "2");
  EXPECT_EQ(world.selection("setSelectedNode").back(), "jp-7");
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
  EXPECT_EQ(world.calls("disconnect"), 1u);
  EXPECT_TRUE(waitFor([&] { return atRoot(world); }));
}

TEST(LocationPicker, CancelKeepsTheCommittedLocationAndTheAreaButNotThePage) {
  LocationWorld world;
  world.state().setCurrentTag(tag(1, "Streaming"));
  world.state().router()->push(Route::tag);
  world.screen.pickTag(tag(2, "Gaming"));
  world.screen.chooseArea("Asia");
  world.screen.cancel();
  EXPECT_TRUE(waitFor([&] { return atRoot(world); }));
  EXPECT_EQ(fake_text::of(world.state().currentTag()), "1");
  EXPECT_EQ(fake_text::of(world.state().selectedTag()), "2");
  EXPECT_EQ(world.state().selectedArea(), "Asia");
  EXPECT_TRUE(world.selection("setCurrentCountry").empty());
  spin(50);
  EXPECT_EQ(world.calls("disconnect"), 0u);
}

TEST(LocationPicker, FlagAddressesUseTheUpperCaseCodeAndOnlyWebAddresses) {
  LocationWorld world;
  EXPECT_EQ(world.screen.flagAddress("jp"), "https://127.0.0.1:9/flags/JP.png");
  EXPECT_EQ(world.fakes.links->script.calls("countryIcon").back().arguments.at(0), "JP");
  EXPECT_EQ(world.screen.flagAddress(""), "");
  world.fakes.links->script.answer<std::string>("countryIcon", "file:///etc/%@");
  EXPECT_EQ(world.screen.flagAddress("jp"), "");
  world.fakes.links->script.answer<std::string>("countryIcon", "not an address %@");
  EXPECT_EQ(world.screen.flagAddress("jp"), "");
  EXPECT_EQ(LocationScreen::webAddress("http://127.0.0.1/t.png"), "http://127.0.0.1/t.png");
  EXPECT_EQ(LocationScreen::webAddress(""), "");
}

}  // namespace
}  // namespace lumora::test
