// The proxy rules editor's way out: Back is the save. Unchanged closes at once; a wrong entry or
// an oversized list keeps the page with an error; a change is recorded, sent, kept and closes
// the page when the service takes it, and keeps the page when it does not.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "services/log/EventType.h"
#include "tests/advanced/SettingsWorld.h"
#include "ui/base/Feedback.h"
#include "ui/connection/ProxyRulesModel.h"

namespace lumora::test {
namespace {

tarnel::ProxyRule ruleOf(std::vector<std::string> direct, std::vector<std::string> proxy,
                         std::vector<std::string> block) {
  tarnel::ProxyRule rule;
  rule.direct = std::move(direct);
  rule.proxy = std::move(proxy);
  rule.block = std::move(block);
  return rule;
}

// The editor open over the menu: Back leaves it through its check.
struct EditorScene {
  explicit EditorScene(const tarnel::ProxyRule& held) {
    world.holdRule(held);
    world.router().push(Route::advanced);
    world.router().push(Route::proxyRulues);
    model = std::make_unique<ProxyRulesModel>(&world.settings, nullptr);
    model->appear();
  }
  // Back pressed; true when the page is leaving (or gone) afterwards.
  bool pressBack() {
    world.router().back();
    return world.router().topName() != QStringLiteral("proxyRulues") || leaving();
  }
  bool leaving() const {
    const auto& entries = world.ui.state->router()->stackModel()->entries();
    return !entries.empty() && entries.back().leaving;
  }
  std::size_t saves() const { return world.fakes.status->script.count("saveProxyRules"); }
  std::size_t events() {
    world.fakes.logQueue->flush(std::chrono::seconds(30));
    return world.fakes.cloudLog->script.count("onEvent");
  }

  SettingsWorld world;
  std::unique_ptr<ProxyRulesModel> model;
};

TEST(ProxyRulesEditor, UnchangedListsCloseAtOnceWithoutSending) {
  // Lists in an order no set would keep, and texts that differ only by what the entry rule drops.
  const auto held = ruleOf({"z.example.com", "a.example.com", "m.example.com"}, {"9.9.9.9", "1.1.1.1"}, {"b.com"});
  struct Case {
    const char* name;
    std::function<void(ProxyRulesModel&)> edit;
  };
  const std::vector<Case> cases{
      {"untouched", [](ProxyRulesModel&) {}},
      {"blank lines added", [](ProxyRulesModel& m) { m.setDirect(m.direct() + "\n\n"); }},
      {"a repeat added", [](ProxyRulesModel& m) { m.setBlock("b.com\nb.com"); }},
  };
  for (const auto& [name, edit] : cases) {
    EditorScene scene(held);
    edit(*scene.model);
    EXPECT_TRUE(scene.pressBack()) << name;
    EXPECT_EQ(scene.saves(), 0u) << name;
    EXPECT_EQ(scene.events(), 0u) << name;
    EXPECT_EQ(scene.world.fakes.status->script.count("setProxyRule"), 0u) << name;
  }
}

TEST(ProxyRulesEditor, WrongEntriesKeepThePageAndNameTheFirstOne) {
  struct Case {
    QString direct, proxy, block;
    QString named;
  };
  const std::vector<Case> cases{
      // The proxy list is checked first, then direct, then block.
      {"bad direct", "ok.com\nbad proxy", "bad block", "bad proxy"},
      {"ok.com\n*.wild.com", "ok.com", "bad block", "*.wild.com"},
      {"", "", "1.2.3.4\nhost.com:8080", "host.com:8080"},
  };
  for (const auto& c : cases) {
    EditorScene scene(tarnel::ProxyRule{});
    scene.model->setDirect(c.direct);
    scene.model->setProxy(c.proxy);
    scene.model->setBlock(c.block);
    EXPECT_FALSE(scene.pressBack()) << c.named.toStdString();
    EXPECT_TRUE(scene.world.ui.toast.isShowing());
    EXPECT_EQ(scene.world.ui.toast.type(), ToastType::error);
    EXPECT_EQ(scene.world.ui.toast.message(),
              localized("%@ is not the correct domain name or IP address.").arg(c.named));
    EXPECT_EQ(scene.saves(), 0u);
    EXPECT_EQ(scene.events(), 0u);
  }
}

TEST(ProxyRulesEditor, AListUpTo4096CharactersOfJsonIsSavedOneMoreIsRefused) {
  // Entries of 14 characters, then one that brings the JSON text to the length wanted.
  auto listOfLength = [](int length) {
    QStringList entries;
    for (int i = 0; ProxyRulesModel::jsonLength(entries) + 2 * 17 < length; ++i) {
      entries.push_back(QStringLiteral("h%1.example").arg(i, 5, 10, QLatin1Char('0')));
    }
    // One more entry adds its length, two quotes and a comma.
    const int rest = length - ProxyRulesModel::jsonLength(entries) - 3;
    entries.push_back(QString(rest - 4, QLatin1Char('x')) + QStringLiteral(".com"));
    return entries;
  };
  for (int length : {4096, 4097}) {
    const QStringList entries = listOfLength(length);
    ASSERT_EQ(ProxyRulesModel::jsonLength(entries), length);
    EditorScene scene(tarnel::ProxyRule{});
    scene.world.fakes.status->script.answer<bool>("saveProxyRules", true);
    scene.model->setBlock(entries.join('\n'));
    const bool gone = scene.pressBack();
    if (length == 4096) {
      EXPECT_FALSE(gone);  // the save closes the page once the service answered
      EXPECT_TRUE(waitFor([&] { return scene.leaving(); }));
      EXPECT_EQ(scene.saves(), 1u);
    } else {
      EXPECT_FALSE(gone);
      EXPECT_EQ(scene.world.ui.toast.message(), QStringLiteral("proxy rule max length"));
      spin(50);
      EXPECT_EQ(scene.saves(), 0u);
      EXPECT_EQ(scene.events(), 0u);
    }
  }
}

TEST(ProxyRulesEditor, AChangeIsRecordedSentKeptAndClosesThePage) {
  EditorScene scene(ruleOf({"old.com"}, {"p.com"}, {"x.com", "y.com"}));
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  scene.world.fakes.status->script.gate("saveProxyRules", gate);
  scene.model->setDirect("b.com\na.com\nb.com\n");
  scene.model->setProxy("p.com\n2001:db8::1");
  scene.model->setBlock("");

  EXPECT_FALSE(scene.pressBack());
  EXPECT_TRUE(scene.world.ui.loading.isShowing());
  // A second Back while the service is asked sends nothing more.
  EXPECT_FALSE(scene.pressBack());
  gate->open();
  ASSERT_TRUE(waitFor([&] { return scene.leaving(); }));
  EXPECT_FALSE(scene.world.ui.loading.isShowing());
  EXPECT_FALSE(scene.world.ui.toast.isShowing());

  // Sent once, in the typed order, the repeat dropped, the cleared list empty.
  ASSERT_EQ(scene.saves(), 1u);
  const std::string sent = scene.world.fakes.status->script.calls("saveProxyRules").at(0).arguments.at(0);
  EXPECT_EQ(sent, fake_text::of(ruleOf({"b.com", "a.com"}, {"p.com", "2001:db8::1"}, {})));
  EXPECT_EQ(scene.world.fakes.status->script.calls("setProxyRule").at(0).arguments.at(0), sent);
  EXPECT_EQ(fake_text::of(scene.world.fakes.status->proxyRule()), sent);

  ASSERT_EQ(scene.events(), 1u);
  const auto event = scene.world.fakes.cloudLog->script.calls("onEvent").at(0).arguments;
  EXPECT_EQ(event.at(0), fake_text::of(tarnel::EventType::PROXY_RULES));
  EXPECT_EQ(event.at(2), fake_text::of(LogFields{
                             {"always_direct", "b.com,a.com"}, {"always_proxy", "p.com,2001:db8::1"}, {"always_block", ""}}));

  // The next visit shows what was kept, and leaving it unchanged sends nothing.
  ProxyRulesModel again(&scene.world.settings, nullptr);
  EXPECT_EQ(again.direct(), QStringLiteral("b.com\na.com"));
}

TEST(ProxyRulesEditor, ARefusedSaveKeepsThePageTheEditsAndTheHeldRule) {
  const auto held = ruleOf({"keep.com"}, {}, {});
  EditorScene scene(held);
  scene.world.fakes.status->script.answer<bool>("saveProxyRules", false);
  scene.model->setDirect("keep.com\nnew.com");

  EXPECT_FALSE(scene.pressBack());
  ASSERT_TRUE(waitFor([&] { return !scene.world.ui.loading.isShowing(); }));
  ASSERT_TRUE(waitFor([&] { return scene.world.ui.toast.isShowing(); }));
  EXPECT_EQ(scene.world.ui.toast.message(), QStringLiteral("Save failed, please try again later"));
  EXPECT_EQ(scene.world.ui.toast.type(), ToastType::error);
  EXPECT_FALSE(scene.leaving());
  EXPECT_EQ(scene.model->direct(), QStringLiteral("keep.com\nnew.com"));
  EXPECT_EQ(fake_text::of(scene.world.fakes.status->proxyRule()), fake_text::of(held));
  EXPECT_EQ(scene.world.fakes.status->script.count("setProxyRule"), 0u);
  // The event went out before the service was asked.
  EXPECT_EQ(scene.events(), 1u);

  // Back again repeats the whole check; this time the service takes it.
  scene.world.fakes.status->script.answer<bool>("saveProxyRules", true);
  EXPECT_FALSE(scene.pressBack());
  ASSERT_TRUE(waitFor([&] { return scene.leaving(); }));
  EXPECT_EQ(scene.saves(), 2u);
}

TEST(ProxyRulesEditor, ASaveFinishesAfterItsPageHasGone) {
  EditorScene scene(tarnel::ProxyRule{});
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  scene.world.fakes.status->script.gate("saveProxyRules", gate);
  scene.model->setBlock("ads.example.com");
  EXPECT_FALSE(scene.pressBack());
  scene.model.reset();
  // A later Back asks no check of the page that went.
  gate->open();
  ASSERT_TRUE(waitFor([&] { return scene.leaving(); }));
  EXPECT_EQ(fake_text::of(scene.world.fakes.status->proxyRule()), fake_text::of(ruleOf({}, {}, {"ads.example.com"})));
  EXPECT_FALSE(scene.world.ui.loading.isShowing());
}

}  // namespace
}  // namespace lumora::test
