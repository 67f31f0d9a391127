#include <gtest/gtest.h>

#include <QWindow>

#include <mutex>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "tests/ui_support/fakes/RecordingFront.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Translations.h"
#include "ui/base/Workers.h"

namespace lumora {
namespace {

using tarnel::StoreKeys;
using tarnel::StoreValue;
using tarnel::VPNProtocol;
using test::waitFor;

tarnel::Country country(const std::string& code, const std::string& name) {
  tarnel::Country c;
  c.country = code;
  c.name = name;
  return c;
}

tarnel::Node node(const std::string& id, const std::string& code, const std::string& name) {
  tarnel::Node n;
  n.node_id = id;
  n.country = code;
  n.name = name;
  return n;
}

class AppStateManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<AppStateManager> make(bool isAppStore = false) {
    AppStateOptions options;
    options.isAppStore = isAppStore;
    options.front = front;
    options.translations = &translations;
    return std::make_unique<AppStateManager>(fakes.services(), options, nullptr);
  }
  std::optional<StoreValue> stored(StoreKeys key) { return fakes.settings->value(key); }
  std::vector<std::string> events() {
    fakes.logQueue->flush(std::chrono::seconds(30));
    return fakes.cloudLog->events();
  }

  FakeServices fakes;
  std::shared_ptr<RecordingFront> front = std::make_shared<RecordingFront>();
  Translations translations{nullptr, QStringLiteral(":/test_i18n")};
};

TEST_F(AppStateManagerTest, AFirstStartGivesTheDefaultsAndWritesAllThirteenSettings) {
  for (const bool appStore : {false, true}) {
    SCOPED_TRACE(appStore ? "store build" : "direct build");
    FakeServices fresh;
    fakes = fresh;
    auto state = make(appStore);
    EXPECT_TRUE(state->isInited());
    EXPECT_TRUE(state->smartRoute());
    EXPECT_TRUE(state->checkConnection());
    EXPECT_TRUE(state->status());
    EXPECT_FALSE(state->reconnect());
    EXPECT_FALSE(state->systemProxy());
    EXPECT_FALSE(state->commadnProxy());
    EXPECT_FALSE(state->showRouteTips());
    EXPECT_EQ(state->tunnelMode(), appStore);
    EXPECT_EQ(state->dns(), "auto");
    EXPECT_EQ(state->dnsStrategy(), "UseIP");
    EXPECT_EQ(state->closeEvent(), "hide");
    EXPECT_EQ(state->connectProtocol(), VPNProtocol::AUTO);
    EXPECT_EQ(state->currentState(), "disconnected");
    EXPECT_FALSE(state->hasNotices());

    const std::vector<std::pair<StoreKeys, StoreValue>> written{
        {StoreKeys::SMART_ROUTE, true},       {StoreKeys::CHECK_CONNECTION, true},
        {StoreKeys::TUNNELMODE, appStore},    {StoreKeys::NOTICE_IDS, StoreValue::IntegerList{}},
        {StoreKeys::MAIN_ROUTE_TIPS, false},  {StoreKeys::SELECTED_PROTOCOL, ""},
        {StoreKeys::COMMAND_PROXY, false},    {StoreKeys::RECONNECT, false},
        {StoreKeys::STATUS_ICON, true},       {StoreKeys::SYSTEM_PROXY, false},
        {StoreKeys::DNS_SERVER, "auto"},      {StoreKeys::DNS_STRATEGY, "UseIP"},
        {StoreKeys::CLOSE_EVENT, "hide"},
    };
    ASSERT_EQ(written.size(), 13u);
    for (const auto& [key, value] : written) {
      SCOPED_TRACE(std::string(tarnel::rawValue(key)));
      ASSERT_TRUE(stored(key).has_value());
      EXPECT_EQ(*stored(key), value);
    }
    EXPECT_EQ(fakes.nodes->script.count("setCurrentProtocol"), 1u);
  }
}

TEST_F(AppStateManagerTest, StoredSettingsAreReadBackAndValuesOfTheWrongKindFallBack) {
  struct Case {
    const char* what;
    StoreKeys key;
    StoreValue stored;
    std::function<bool(const AppStateManager&)> check;
    StoreValue writtenBack;
  };
  const std::vector<Case> cases{
      {"a stored false", StoreKeys::SMART_ROUTE, false, [](auto& s) { return !s.smartRoute(); }, false},
      {"a text under a Bool key", StoreKeys::SMART_ROUTE, "no", [](auto& s) { return s.smartRoute(); }, true},
      {"the number 0 is false", StoreKeys::STATUS_ICON, 0, [](auto& s) { return !s.status(); }, false},
      {"the number 7 is no Bool", StoreKeys::RECONNECT, 7, [](auto& s) { return !s.reconnect(); }, false},
      {"a stored text", StoreKeys::DNS_SERVER, "8.8.8.8", [](auto& s) { return s.dns() == "8.8.8.8"; }, "8.8.8.8"},
      {"a number under a text key", StoreKeys::CLOSE_EVENT, 3, [](auto& s) { return s.closeEvent() == "hide"; },
       "hide"},
      {"a stored protocol", StoreKeys::SELECTED_PROTOCOL, "d",
       [](auto& s) { return s.connectProtocol() == VPNProtocol::VLESS_TLS; }, "d"},
      {"a stored code that is no protocol reads as automatic", StoreKeys::SELECTED_PROTOCOL, "zz",
       [](auto& s) { return s.connectProtocol() == VPNProtocol::AUTO; }, ""},
      {"read notices", StoreKeys::NOTICE_IDS, StoreValue::IntegerList{3, 4},
       [](auto& s) { return s.noticesReadIds() == std::vector<std::int64_t>{3, 4}; }, StoreValue::IntegerList{3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeServices fresh;
    fakes = fresh;
    fakes.settings->setValue(c.key, c.stored);
    auto state = make();
    EXPECT_TRUE(c.check(*state));
    EXPECT_EQ(*stored(c.key), c.writtenBack);
  }
}

TEST_F(AppStateManagerTest, OnlyALanguageChangeAfterConstructionRecordsRefreshesAndClearsTheNodeVersion) {
  fakes.settings->setValue(StoreKeys::NODE_VERSION, "v9");
  auto state = make();
  EXPECT_EQ(state->currentLanguage(), "en");
  const QString version = QString::fromStdString(fakes.status->appInfo().version);
  EXPECT_EQ(state->appTitle(), "Tarnel " + version + " (site.test)");
  Workers::pool().waitForDone();
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(*stored(StoreKeys::NODE_VERSION), StoreValue("v9"));
  EXPECT_EQ(fakes.status->script.count("update"), 0u);

  state->setCurrentLanguage("zh-Hans");
  EXPECT_EQ(events(), std::vector<std::string>{"SETTING_SWITCH_LANGUAGES"});
  EXPECT_EQ(fakes.cloudLog->script.calls("onEvent").at(0).arguments.at(1), "zh-Hans");
  EXPECT_EQ(*stored(StoreKeys::NODE_VERSION), StoreValue(""));
  EXPECT_EQ(fakes.status->language(), "zh-Hans");
  ASSERT_TRUE(fakes.status->script.waitForCalls("update", 1));
  EXPECT_EQ(fakes.status->script.calls("update").at(0).arguments.at(0), "3");
  // The texts follow: the title and the lookups are in the new language.
  EXPECT_EQ(state->appTitle(), "Tarnel " + version + QString::fromUtf8("（site.test）"));
  EXPECT_EQ(state->locationName(), QString::fromUtf8("自动"));
  Workers::pool().waitForDone();
  translations.setLanguage("en");
}

// A build without an official site shows no empty place for it in the title.
TEST_F(AppStateManagerTest, TheTitleLeavesOutAnOfficialSiteThereIsNot) {
  const QString version = QString::fromStdString(fakes.status->appInfo().version);
  fakes.links->script.answer<std::string>("officialDomain", "");
  auto state = make();
  EXPECT_EQ(state->appTitle(), "Tarnel " + version);
  state->setCurrentLanguage("zh-Hans");
  EXPECT_EQ(state->appTitle(), "Tarnel " + version);
  translations.setLanguage("en");
  Workers::pool().waitForDone();
}

TEST_F(AppStateManagerTest, AStoreBuildKeepsItsFixedWindowTitle) {
  QWindow window;
  setMainWindow(&window);
  auto store = make(true);
  EXPECT_EQ(store->appTitle(), QString());
  store->setCurrentLanguage("zh-Hans");
  EXPECT_EQ(store->appTitle(), QString());
  store->setAppTitle("anything");
  EXPECT_EQ(window.title(), "Tarnel ver: " + QString::fromStdString(fakes.status->appInfo().version));

  auto direct = make(false);
  direct->setAppTitle("Tarnel 1.0");
  EXPECT_EQ(window.title(), "Tarnel 1.0");
  setMainWindow(nullptr);
  Workers::pool().waitForDone();
  translations.setLanguage("en");
}

TEST_F(AppStateManagerTest, NoticesAreUnreadWhileSomeFetchedIdIsNotAmongTheReadOnes) {
  struct Case {
    std::vector<std::int64_t> all;
    std::vector<std::int64_t> read;
    bool unread;
  };
  const std::vector<Case> cases{
      {{1, 2}, {2, 1}, false}, {{1, 2}, {1}, true}, {{}, {5}, false}, {{}, {}, false}, {{7}, {}, true},
  };
  auto state = make();
  for (const auto& c : cases) {
    state->setAllNotices(c.all);
    state->setNoticesReadIds(c.read);
    EXPECT_EQ(state->hasNotices(), c.unread);
    EXPECT_EQ(*stored(StoreKeys::NOTICE_IDS), StoreValue(StoreValue::IntegerList(c.read)));
  }
  // Fetched ids alone do not recompute the mark.
  state->setAllNotices({1});
  state->setNoticesReadIds({1});
  EXPECT_FALSE(state->hasNotices());
  state->setAllNotices({1, 9});
  EXPECT_FALSE(state->hasNotices());
}

TEST_F(AppStateManagerTest, TheStatusTextFollowsTheVpnStatus) {
  using helmsey::VPNStatus;
  const std::vector<std::pair<VPNStatus, const char*>> cases{
      {VPNStatus::connecting, "connecting"},       {VPNStatus::connected, "connected"},
      {VPNStatus::disconnecting, "disconnecting"}, {VPNStatus::userCanceled, "disconnected"},
      {VPNStatus::connected, "connected"},         {VPNStatus::disconnected, "disconnected"},
  };
  auto state = make();
  for (const auto& [status, text] : cases) {
    state->setVpnStatus(status);
    EXPECT_EQ(state->currentState(), text);
  }
}

TEST_F(AppStateManagerTest, LocationAndProtocolTextsReadTheNodeSelection) {
  auto state = make();
  EXPECT_EQ(state->locationName(), "Auto");
  EXPECT_EQ(state->locationIcon(), "");

  fakes.nodes->setCurrentCountry(country("jp", "Japan"));
  EXPECT_EQ(state->locationName(), "Japan");
  EXPECT_EQ(state->locationIcon(), QString::fromStdString(fakes.links->countryIcon("JP")));
  fakes.nodes->setSelectedNode(node("n1", "de", "Frankfurt 1"));
  EXPECT_EQ(state->locationName(), "Frankfurt 1") << "a node wins over a chosen country";
  EXPECT_EQ(state->locationIcon(), QString::fromStdString(fakes.links->countryIcon("DE")));

  fakes.nodes->setChosenProtocol(VPNProtocol::TROJAN_WS);
  EXPECT_EQ(state->protocolName(), QString("Automatic(") + QString::fromUtf8(tarnel::Name(VPNProtocol::TROJAN_WS)) + ")");
  state->setConnectProtocol(VPNProtocol::VLESS_TLS);
  EXPECT_EQ(state->protocolName(), QString::fromUtf8(tarnel::Name(VPNProtocol::VLESS_TLS)));
  EXPECT_EQ(*stored(StoreKeys::SELECTED_PROTOCOL), StoreValue("d"));
}

TEST_F(AppStateManagerTest, ChoosingACountryDropsTheNodePickFirstAndReconnectsOnce) {
  auto state = make();
  fakes.nodes->script.clearCalls();
  state->setCurrentCountry(country("us", "United States"));
  const auto calls = fakes.nodes->script.operations();
  ASSERT_EQ(calls, (std::vector<std::string>{"setSelectedNode", "setCurrentCountry"}));
  EXPECT_EQ(fakes.nodes->script.calls("setSelectedNode").at(0).arguments.at(0), "none");
  EXPECT_EQ(fakes.nodes->script.calls("setCurrentCountry").at(0).arguments.at(0), "us");
  EXPECT_TRUE(waitFor([&] { return front->calls().size() == 2; }));
  EXPECT_EQ(front->calls(), (std::vector<std::string>{"disconnect", "toggle"}));

  // A node pick goes to the selection; with the console listener on it is restarted afterwards.
  state->setSwitchListen(true);
  state->setCurrentNode(node("n7", "us", "Dallas 7"));
  EXPECT_EQ(fakes.nodes->script.calls("setSelectedNode").back().arguments.at(0), "n7");
  EXPECT_TRUE(waitFor([&] { return front->calls().size() == 5; }));
  EXPECT_EQ(front->calls(),
            (std::vector<std::string>{"disconnect", "toggle", "needSwitch", "disconnect", "toggle"}));

  // Tag, area and protocol are handed over without a reconnect.
  state->setCurrentTag(tarnel::Tag{});
  state->setSelectedArea("Asia");
  state->setConnectProtocol(VPNProtocol::TROJAN_TLS);
  Workers::pool().waitForDone();
  test::spin(50);
  EXPECT_EQ(front->calls().size(), 5u);
  EXPECT_EQ(fakes.nodes->selectedArea(), "Asia");
  EXPECT_EQ(fakes.nodes->script.count("setCurrentTag"), 1u);
}

}  // namespace
}  // namespace lumora
