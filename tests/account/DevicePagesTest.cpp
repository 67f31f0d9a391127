// The device model, the device list page with its rows, and the device upgrade page over the
// fakes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/shell/AccountWorld.h"
#include "ui/account/DeviceListModel.h"
#include "ui/account/DeviceManager.h"
#include "ui/account/PasswordPages.h"
#include "ui/account/UpgradeDeviceModel.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

constexpr const char* kHere = FakeDeviceService::kThisDevice;

tarnel::Devices device(const std::string& id, const std::string& updated, const std::string& platform = "linux") {
  tarnel::Devices d;
  d.device_id = id;
  d.uid = "u-1";
  d.device_name = "name-" + id;
  d.device_model = "model-" + id;
  d.version = 5;
  d.platform = platform;
  d.created_at = "2024-05-01T10:00:00.000Z";
  d.updated_at = updated;
  return d;
}

tarnel::Live liveWith(std::int64_t limit, std::optional<std::string> counts) {
  tarnel::Live live;
  live.device_count = limit;
  live.other.device_count_list = std::move(counts);
  return live;
}

std::vector<std::string> ids(const DeviceManager& manager) {
  std::vector<std::string> list;
  for (const auto& d : manager.devices()) list.push_back(d.device_id);
  return list;
}

TEST(DeviceManagerRules, UpgradeChoicesComeFromTheServiceListAboveTheLimit) {
  struct Case {
    std::optional<std::string> list;
    std::vector<std::int64_t> expected;
  };
  const Case cases[] = {
      {"2,3,5,10", {5, 10}},  {",5,,10,", {5, 10}},   {"10,5", {10, 5}},  {"5,5,+7", {5, 5, 7}},
      {"2, 5", {}},           {"5,1x", {}},           {std::nullopt, {}}, {"", {}},
      {"1,2,3", {}},          {"+-5,6", {}},          {"-4,8", {8}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DeviceManager::deviceCounts(liveWith(3, c.list)), c.expected) << c.list.value_or("(absent)");
  }
}

TEST(DeviceManagerRules, ThisDeviceHeadsTheListThenTheLatestActivity) {
  std::vector<tarnel::Devices> list{
      device("old", "2024-01-01T00:00:00.000Z"), device(kHere, "2020-01-01T00:00:00.000Z"),
      device("new", "2024-06-01T00:00:00.000Z"), device("textB", "b-not-a-date"),
      device("textA", "a-not-a-date"),           device("tie1", "2023-01-01T00:00:00.000Z"),
      device("tie2", "2023-01-01T00:00:00.000Z"),
  };
  DeviceManager::sortForDisplay(list, kHere);
  std::vector<std::string> order;
  for (const auto& d : list) order.push_back(d.device_id);
  // Text against date falls back to comparing the texts ("b-" and "a-" sort above "2").
  EXPECT_EQ(order, (std::vector<std::string>{kHere, "textB", "textA", "new", "old", "tie1", "tie2"}));

  EXPECT_TRUE(DeviceManager::parseDate(QStringLiteral("2024-05-01T10:00:00.123Z")).has_value());
  EXPECT_FALSE(DeviceManager::parseDate(QStringLiteral("2024-05-01T10:00:00Z")).has_value());
  EXPECT_EQ(DeviceListModel::displayDate("2024-05-01T10:00:00.123Z"), QStringLiteral("2024-05-01 10:00:00"));
  EXPECT_EQ(DeviceListModel::displayDate("2024-05-01T10:00:00Z"), QStringLiteral("2024-05-01T10:00:00Z"));
}

TEST(DeviceRow, NamesAreOneToSixteenWordCharactersOfAnyScript) {
  const std::pair<const char*, bool> cases[] = {
      {"Office", true},           {"abcdefghijklmnop", true}, {"abcdefghijklmnopq", false}, {"", false},
      {"Zoë-Café_2", true},       {"办公室电脑", true},      {"my laptop", false},         {"hey!", false},
      {"Ｅ", true},               {"a.b", false},             {"ÅÄÖ-ßç", true},             {"e\u0301cole", true},
  };
  for (const auto& [name, valid] : cases) {
    EXPECT_EQ(DeviceListModel::isValidName(QString::fromUtf8(name)), valid) << name;
  }
  const std::pair<const char*, const char*> platforms[] = {
      {"darwin", "macOS"}, {"win32", "Windows"}, {"linux", "Linux"}, {"ios", "IOS"}, {"harmony", "Android"}};
  for (const auto& [platform, shown] : platforms) EXPECT_EQ(DeviceListModel::platformName(platform), shown);
  EXPECT_EQ(DeviceListModel::platformIcon("harmony"), QStringLiteral("ic_device_android"));
  EXPECT_EQ(DeviceListModel::platformIcon("win32"), QStringLiteral("ic_device_win32"));
}

struct DeviceWorld : AccountWorld {
  DeviceWorld() {
    ui.state->setLive(liveWith(3, std::string("2,5,10")));
    router().setRoot(Route::main);
    router().push(Route::settings);
    router().push(Route::devices);
  }
  int rowOf(DeviceListModel& list, const std::string& id) {
    for (int row = 0; row < list.rowCount(); ++row) {
      if (list.data(list.index(row), DeviceListModel::DeviceIdRole).toString() == QString::fromStdString(id)) return row;
    }
    return -1;
  }
  QString nameAt(DeviceListModel& list, int row) {
    return list.data(list.index(row), DeviceListModel::NameRole).toString();
  }
};

TEST(DeviceList, ShowsTheServiceListAndAFailedFetchSaysSoAndKeepsIt) {
  DeviceWorld world;
  world.fakes.devices->script.enqueue<std::optional<std::vector<tarnel::Devices>>>(
      "devices", std::vector<tarnel::Devices>{device("a", "2024-01-01T00:00:00.000Z"), device(kHere, "x")});
  DeviceListModel list(&world.context, nullptr);
  list.appear();
  ASSERT_TRUE(waitFor([&] { return list.count() == 2; }));
  EXPECT_EQ(ids(world.devices), (std::vector<std::string>{kHere, "a"}));
  EXPECT_EQ(list.maxCount(), 3);
  EXPECT_TRUE(list.canUpgrade());
  EXPECT_TRUE(list.data(list.index(0), DeviceListModel::CurrentRole).toBool());
  EXPECT_EQ(list.data(list.index(1), DeviceListModel::PlatformRole).toString(), QStringLiteral("Linux (version 5)"));

  world.fakes.devices->script.enqueue<std::optional<std::vector<tarnel::Devices>>>("devices", std::nullopt);
  list.appear();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("load_devices_failed"); }));
  EXPECT_EQ(world.ui.toast.type(), ToastType::error);
  EXPECT_EQ(list.count(), 2) << "a failure is not an empty account";

  world.ui.state->setLive(liveWith(10, std::string("2,5,10")));
  EXPECT_FALSE(list.canUpgrade());
}

TEST(DeviceList, OverlappingLoadsPublishTheLatestRequestOnly) {
  DeviceWorld world;
  auto first = std::make_shared<FakeGate>();
  first->close();
  // The first request answers last, with a list that is out of date by then.
  world.fakes.devices->script.onCall("devices", [&, calls = std::make_shared<std::atomic<int>>(0)] {
    if (calls->fetch_add(1) == 0) first->pass();
  });
  world.fakes.devices->script.enqueue<std::optional<std::vector<tarnel::Devices>>>(
      "devices", std::vector<tarnel::Devices>{device("stale", "x")});
  world.fakes.devices->script.enqueue<std::optional<std::vector<tarnel::Devices>>>(
      "devices", std::vector<tarnel::Devices>{device("fresh", "x")});
  DeviceListModel list(&world.context, nullptr);
  list.appear();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.devices->script, "devices", 1));
  spin(20);
  list.appear();
  ASSERT_TRUE(waitFor([&] { return ids(world.devices) == std::vector<std::string>{"fresh"}; }));
  first->open();
  spin(100);
  EXPECT_EQ(ids(world.devices), std::vector<std::string>{"fresh"});
}

TEST(DeviceList, RenameChecksTheNameLeavesEditingAndShowsTheNewName) {
  DeviceWorld world;
  world.devices.setDevices({device(kHere, "x"), device("b", "x")});
  DeviceListModel list(&world.context, nullptr);
  const int row = world.rowOf(list, "b");

  list.beginEdit(row);
  EXPECT_EQ(world.devices.editId(), QStringLiteral("b"));
  list.beginEdit(world.rowOf(list, kHere));
  EXPECT_EQ(world.devices.editId(), QString::fromUtf8(kHere)) << "one row edits at a time";

  list.beginEdit(row);
  list.setDraft(row, QStringLiteral("my laptop"));
  list.confirmRename(row);
  EXPECT_TRUE(world.devices.editId().isEmpty()) << "an invalid name still closes the field";
  EXPECT_EQ(world.toastText(), QStringLiteral("device_desc_error"));
  spin(30);
  EXPECT_EQ(world.fakes.devices->script.count("updateDeviceName"), 0u);
  EXPECT_EQ(list.data(list.index(row), DeviceListModel::DraftRole).toString(), QStringLiteral("my laptop"))
      << "the typed text waits for the next edit";

  world.fakes.devices->script.enqueue<bool>("updateDeviceName", false);
  list.setDraft(row, QStringLiteral("Zoë_laptop"));
  list.confirmRename(row);
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("device_desc_update_error"); }));
  EXPECT_EQ(world.nameAt(list, row), QStringLiteral("name-b"));

  list.confirmRename(row);
  ASSERT_TRUE(waitFor([&] { return world.nameAt(list, row) == QStringLiteral("Zoë_laptop"); }));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.fakes.devices->script.calls("updateDeviceName").back().arguments,
            (std::vector<std::string>{"Zoë_laptop", "b"}));
}

TEST(DeviceList, UnbindRemovesTheRowAndInTheSignInFlowReturnsToSignIn) {
  DeviceWorld world;
  world.devices.setDevices({device(kHere, "x"), device("b", "x"), device("c", "x")});
  DeviceListModel list(&world.context, nullptr);
  list.unbind(world.rowOf(list, "b"));  // while this device is unknown no badge unbinds
  world.fakes.devices->script.answer<std::optional<std::vector<tarnel::Devices>>>("devices", world.devices.devices());
  list.appear();
  ASSERT_TRUE(waitFor([&] { return list.data(list.index(0), DeviceListModel::CurrentRole).toBool(); }));
  EXPECT_EQ(world.fakes.account->script.count("logout"), 0u);

  list.unbind(world.rowOf(list, kHere));  // this device's badge does nothing
  world.fakes.account->script.enqueue<ServiceError>("logout", tarnel::APIErrorInfo::make(500, "server says no"));
  list.unbind(world.rowOf(list, "b"));
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("unbind_failed"); }));
  EXPECT_EQ(list.count(), 3);

  list.unbind(world.rowOf(list, "b"));
  ASSERT_TRUE(waitFor([&] { return list.count() == 2; }));
  EXPECT_EQ(ids(world.devices), (std::vector<std::string>{kHere, "c"}));
  EXPECT_EQ(world.router().depth(), 2) << "outside the sign-in flow the page stays";
  EXPECT_EQ(world.fakes.account->script.calls("logout").back().arguments, (std::vector<std::string>{"u-1", "b"}));
  EXPECT_EQ(world.events(), std::vector<std::string>{"REMOVE_DEVICE"});

  // The sign-in flow: refused for the limit, the user frees one slot and is sent back.
  world.router().backToRoot();
  world.router().setRoot(Route::login);
  world.router().push(Route::devices);
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 1; }));
  world.devices.setDevices({device("p", "x"), device("q", "x")});
  world.devices.setIsLogin(true);
  list.beginEdit(0);
  EXPECT_TRUE(world.devices.editId().isEmpty()) << "no renaming in the sign-in flow";
  const auto fetched = world.fakes.devices->script.count("devices");
  list.appear();
  spin(30);
  EXPECT_EQ(world.fakes.devices->script.count("devices"), fetched) << "the sign-in flow's list is not fetched";
  list.unbind(1);
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
  EXPECT_TRUE(world.devices.devices().empty());
  EXPECT_FALSE(world.devices.isLogin());
  EXPECT_EQ(world.router().root().kind(), Route::login);
}

TEST(DeviceList, MoreDevicesReplacesTheListPage) {
  DeviceWorld world;
  DeviceListModel list(&world.context, nullptr);
  list.openUpgrade();
  ASSERT_TRUE(waitFor([&] { return world.router().topName() == QStringLiteral("upgrade"); }));
  const auto stack = world.router().stack();
  ASSERT_EQ(stack.size(), 2u);
  EXPECT_EQ(stack[0].kind(), Route::settings) << "back from the upgrade leads below the list";
}

// What the user does while a page's request is under way: opens another page over it (the
// tray's "About" does), or leaves it.
struct Meanwhile {
  const char* name;
  void (*act)(Router&);
  bool aboutOpened;
};
const Meanwhile kMeanwhile[] = {
    {"another page came over it", [](Router& router) { router.push(Route::about); }, true},
    {"the user left it", [](Router& router) { router.back(); }, false},
};

// The pages that stay: those below the page, and with "About" over it, the page and "About".
std::vector<Route> pagesAfter(const Meanwhile& m, std::vector<Route> below, Route::Kind page) {
  if (m.aboutOpened) {
    below.push_back(page);
    below.push_back(Route::about);
  }
  return below;
}

TEST(DeviceList, AnUnbindOfTheSignInFlowThatEndsLateClosesNoOtherPage) {
  for (const Meanwhile& m : kMeanwhile) {
    SCOPED_TRACE(m.name);
    DeviceWorld world;
    world.router().backToRoot();
    world.router().setRoot(Route::login);
    world.router().push(Route::devices);
    world.devices.setDevices({device(kHere, "x"), device("q", "x")});
    world.devices.setIsLogin(true);
    DeviceListModel list(&world.context, nullptr);
    list.appear();
    ASSERT_TRUE(waitFor([&] { return list.data(list.index(world.rowOf(list, kHere)), DeviceListModel::CurrentRole).toBool(); }));
    auto answer = std::make_shared<FakeGate>();
    answer->close();
    world.fakes.account->script.gate("logout", answer);
    list.unbind(world.rowOf(list, "q"));
    ASSERT_TRUE(answer->waitForVisits(1));
    m.act(world.router());
    answer->open();
    ASSERT_TRUE(waitFor([&] { return !world.devices.isLogin(); }));
    EXPECT_EQ(standingPages(world.router()), pagesAfter(m, {}, Route::devices));
  }
}

tarnel::UpgradeInfo preview(const std::string& now, const std::string& after) {
  tarnel::UpgradeInfo info;
  info.days = now;
  info.days_lave = after;
  return info;
}

TEST(Upgrade, OpensOnTheSmallestOfferAndDropsAPreviewForACountNoLongerChosen) {
  DeviceWorld world;
  world.ui.state->setLive(liveWith(3, std::string("10,5")));
  auto slow = std::make_shared<FakeGate>();
  slow->close();
  world.fakes.devices->script.onCall("previewUpgrade", [&, calls = std::make_shared<std::atomic<int>>(0)] {
    if (calls->fetch_add(1) == 0) slow->pass();
  });
  world.fakes.devices->script.enqueue<std::optional<tarnel::UpgradeInfo>>("previewUpgrade", preview("30", "18"));
  world.fakes.devices->script.enqueue<std::optional<tarnel::UpgradeInfo>>("previewUpgrade", preview("30", "9"));

  UpgradeDeviceModel page(&world.context, nullptr);
  page.appear();
  EXPECT_EQ(page.selectedCount(), 5);
  EXPECT_EQ(page.choices(), (QVariantList{10, 5}));
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.devices->script, "previewUpgrade", 1));
  page.select(10);
  ASSERT_TRUE(waitFor([&] { return page.daysLave() == QStringLiteral("9"); }));
  slow->open();  // the answer for 5 arrives after the user chose 10
  spin(100);
  EXPECT_EQ(page.daysLave(), QStringLiteral("9"));
  EXPECT_FALSE(world.loadingShown());
  const auto calls = world.fakes.devices->script.calls("previewUpgrade");
  EXPECT_EQ(calls[0].arguments, std::vector<std::string>{"5"});
  EXPECT_EQ(calls[1].arguments, std::vector<std::string>{"10"});

  // A failed preview leaves every figure at "0".
  page.select(5);
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.devices->script, "previewUpgrade", 3));
  ASSERT_TRUE(waitFor([&] { return !world.loadingShown(); }));
  EXPECT_EQ(page.days(), QStringLiteral("0"));
  EXPECT_EQ(page.daysLave(), QStringLiteral("0"));
}

TEST(Upgrade, WithoutOffersThePresentLimitIsChosenAndPreviewed) {
  DeviceWorld world;
  world.ui.state->setLive(liveWith(3, std::nullopt));
  UpgradeDeviceModel page(&world.context, nullptr);
  page.appear();
  EXPECT_EQ(page.selectedCount(), 3);
  EXPECT_TRUE(page.choices().isEmpty());
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.devices->script, "previewUpgrade", 1));
  EXPECT_EQ(world.fakes.devices->script.calls("previewUpgrade")[0].arguments, std::vector<std::string>{"3"});
}

TEST(Upgrade, TheWarningClosesFirstAndOnlyOneUpgradeIsSent) {
  DeviceWorld world;
  world.router().replaceTop(Route::upgrade);
  UpgradeDeviceModel page(&world.context, nullptr);
  page.appear();
  ASSERT_TRUE(waitFor([&] { return !world.loadingShown(); }));

  // Closing the warning sends nothing.
  page.confirm();
  ASSERT_TRUE(world.dialog().isShow());
  EXPECT_EQ(world.dialog().text(), localized(QStringLiteral("Note: You cannot downgrade after upgrading.")));
  world.dialog().close();
  spin(30);
  EXPECT_EQ(world.fakes.devices->script.count("upgradeDevices"), 0u);

  // The first try fails; the page stays and may try again.
  world.fakes.devices->script.enqueue<bool>("upgradeDevices", false);
  page.confirm();
  world.dialog().press(0);
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("Upgrade failed, please try again later"); }));
  EXPECT_EQ(world.router().topName(), QStringLiteral("upgrade"));

  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.devices->script.gate("upgradeDevices", gate);
  std::atomic<bool> dialogOpenAtSend{true};
  world.fakes.devices->script.onCall("upgradeDevices", [&] { dialogOpenAtSend = world.dialog().isShow(); });
  page.confirm();
  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  page.confirm();  // a second press while the first is under way
  EXPECT_FALSE(world.dialog().isShow());
  page.upgrade();
  gate->open();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("Upgrade success"); }));
  EXPECT_FALSE(dialogOpenAtSend.load());
  ASSERT_TRUE(waitFor([&] { return world.router().topName() == QStringLiteral("settings"); }));
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.status->script, "live", 1)) << "the new limit is fetched";
  spin(30);
  EXPECT_EQ(world.fakes.devices->script.count("upgradeDevices"), 2u);
  EXPECT_EQ(world.fakes.devices->script.calls("upgradeDevices").back().arguments, std::vector<std::string>{"5"});
}

TEST(Upgrade, AnUpgradeThatEndsLateClosesNoOtherPage) {
  for (const Meanwhile& m : kMeanwhile) {
    SCOPED_TRACE(m.name);
    DeviceWorld world;
    world.router().push(Route::upgrade);
    auto answer = std::make_shared<FakeGate>();
    answer->close();
    world.fakes.devices->script.gate("upgradeDevices", answer);
    world.fakes.devices->script.enqueue<bool>("upgradeDevices", true);
    UpgradeDeviceModel page(&world.context, nullptr);
    page.upgrade();
    ASSERT_TRUE(answer->waitForVisits(1));
    m.act(world.router());
    answer->open();
    ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("Upgrade success"); }));
    EXPECT_EQ(standingPages(world.router()), pagesAfter(m, {Route::settings, Route::devices}, Route::upgrade));
  }
}

using DeviceList = std::optional<std::vector<tarnel::Devices>>;

TEST(DeviceList, LeavingTheSignInFlowWithBackEndsItAndTheNextPageShowsTheAccountsOwnList) {
  DeviceWorld world;
  world.ui.state->setLoginInfo(guestLogin());
  // Refused for the device limit: the refused account's list, shown without a fetch.
  world.devices.setDevices({device("p", "x"), device("q", "x")});
  world.devices.setIsLogin(true);
  auto refused = std::make_unique<DeviceListModel>(&world.context, nullptr);
  refused->appear();
  spin(30);
  EXPECT_EQ(world.fakes.devices->script.count("devices"), 0u);

  // Back instead of an unbind: the flow ends with its page.
  refused.reset();
  EXPECT_FALSE(world.devices.isLogin());
  EXPECT_TRUE(world.devices.devices().empty());

  // Signed in at last: the device page fetches this account's list and offers renaming.
  world.ui.state->setLoginInfo(accountLogin("u-1"));
  world.fakes.devices->script.answer<DeviceList>("devices", std::vector<tarnel::Devices>{device(kHere, "x"), device("mine", "x")});
  DeviceListModel later(&world.context, nullptr);
  later.appear();
  ASSERT_TRUE(waitFor([&] { return ids(world.devices) == std::vector<std::string>{kHere, "mine"}; }));
  EXPECT_EQ(world.fakes.devices->script.count("devices"), 1u);
  EXPECT_FALSE(later.isLogin());
  later.beginEdit(1);
  EXPECT_EQ(world.devices.editId(), QStringLiteral("mine"));
}

TEST(DeviceList, AnotherAccountsDevicesGoWhenItSignsOutOrIsDeletedAndTheirBadgesDoNothing) {
  struct Case {
    const char* name;
    std::function<void(DeviceWorld&)> leave;
  };
  const Case cases[] = {
      {"sign-out", [](DeviceWorld& world) { world.menu.signOut(); }},
      {"account deletion",
       [](DeviceWorld& world) {
         setAppStoreBuildForTesting(true);  // the deletion page is offered in store builds
         DeleteAccountModel page(&world.context, nullptr, 1);
         page.appear();
         ASSERT_TRUE(waitFor([&] { return page.armed(); }));
         page.setAgree(true);
         page.setPassword(QStringLiteral("secret-1"));
         page.confirm();
         ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "delUser", 1));
       }},
      {"another account signs in", [](DeviceWorld& world) { world.ui.state->setLoginInfo(accountLogin("u-2")); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceWorld world;
    world.fakes.account->setLoginInfo(accountLogin("u-1"));
    world.ui.state->setLoginInfo(accountLogin("u-1"));
    world.fakes.devices->script.answer<DeviceList>("devices", std::vector<tarnel::Devices>{device(kHere, "x"), device("b", "x")});
    DeviceListModel list(&world.context, nullptr);
    list.appear();
    ASSERT_TRUE(waitFor([&] { return list.count() == 2; }));
    list.beginEdit(world.rowOf(list, "b"));

    // A fetch for the account is still on its way when it goes.
    auto gate = std::make_shared<FakeGate>();
    gate->close();
    // Whatever fails below, the held fetch is let go before the world ends.
    const std::unique_ptr<FakeGate, void (*)(FakeGate*)> release(gate.get(), [](FakeGate* g) { g->open(); });
    world.fakes.devices->script.gate("devices", gate);
    list.appear();
    ASSERT_TRUE(waitFor([&] { return gate->waitForVisits(1, std::chrono::milliseconds(0)); }));
    c.leave(world);
    ASSERT_TRUE(waitFor([&] { return world.devices.devices().empty(); }));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(world.devices.editId().isEmpty());
    const auto logouts = world.fakes.account->script.count("logout");
    list.unbind(1);
    list.unbind(0);
    gate->open();
    spin(100);
    EXPECT_TRUE(world.devices.devices().empty()) << "the late answer for the account that went is dropped";
    EXPECT_EQ(world.fakes.account->script.count("logout"), logouts);
    EXPECT_NE(world.toastText(), QStringLiteral("load_devices_failed"));
  }
}

TEST(DeviceManagerRules, StampsInTheLocalDaylightSavingGapReadAsUtc) {
  // The hour from 02:00 on the last Sunday of March never happens on Berlin's clocks; the
  // service's stamps are UTC, where it does.
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  const struct {
    const char* stamp;
    const char* shown;
  } cases[] = {
      {"2024-03-31T02:30:00.000Z", "2024-03-31 02:30:00"},
      {"2024-03-31T02:00:00.000Z", "2024-03-31 02:00:00"},
      {"2023-03-26T02:59:59.999Z", "2023-03-26 02:59:59"},
      {"2024-10-27T02:30:00.000Z", "2024-10-27 02:30:00"},  // the hour that happens twice
      {"2024-03-31T02:30:00Z", "2024-03-31T02:30:00Z"},
      {"2024-02-30T10:00:00.000Z", "2024-02-30T10:00:00.000Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(DeviceListModel::displayDate(c.stamp), QString::fromUtf8(c.shown)) << c.stamp;
  if (before) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace lumora::test
