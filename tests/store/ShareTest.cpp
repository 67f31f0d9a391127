// Invitation sharing: the code, the link and its QR code, copying, and the two windows.
#include <gtest/gtest.h>

#include <algorithm>

#include <QImage>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>

#include "tests/store/StoreWorld.h"
#include "ui/controls/QrCode.h"
#include "ui/shell/LumoraPlugins.h"
#include "ui/store/ShareModel.h"

namespace lumora::test {
namespace {

// What a reader makes of the picture; empty when it finds no code.
QString decode(const QImage& image, const QTemporaryDir& folder) {
  const QString zbar = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
  if (zbar.isEmpty()) return QStringLiteral("<no zbarimg>");
  const QString file = folder.filePath(QStringLiteral("qr.png"));
  if (!image.save(file)) return {};
  QProcess reader;
  reader.start(zbar, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
  reader.waitForFinished(20000);
  return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
}

struct ShareFixture : ::testing::Test {
  // The service hands out `code` when asked, as the library writes it into the login.
  void serviceCode(const std::string& code) {
    world.fakes.account->script.onCall("getShareInfo", [this, code] {
      world.fakes.account->modifyLoginInfo([&](tarnel::Login& login) { login.user.code = code; });
      world.fakes.links->script.answer<std::string>("share", "https://site.test/invite?code=" + code);
    });
  }
  void refreshed(ShareModel& model) {
    const auto before = world.fakes.account->script.count("getShareInfo");
    model.refresh();
    ASSERT_TRUE(waitFor([&] { return world.fakes.account->script.count("getShareInfo") > before && !world.loading(); }));
  }
  StoreWorld world;
};

TEST_F(ShareFixture, TheRefreshedCodeChangesTheCodeTheLinkAndTheCopiedLinkTogether) {
  serviceCode("ab12cd");
  ShareModel model(world.context, nullptr);
  EXPECT_EQ(model.code(), "");
  refreshed(model);
  EXPECT_EQ(model.code(), "ab12cd");  // the page shows it in capitals; the link carries it unchanged
  EXPECT_EQ(model.link(), "https://site.test/invite?code=ab12cd");
  EXPECT_EQ(world.ui.state->loginInfo().user.code, "ab12cd");

  model.copyLink();
  ASSERT_TRUE(waitFor([&] { return !world.copied.empty(); }));
  EXPECT_EQ(world.copied.back(), "https://site.test/invite?code=ab12cd");
  ASSERT_TRUE(waitFor([&] { return world.ui.toast.isShowing(); }));
  EXPECT_EQ(world.toast({"The link has been copied successfully, share it with your friends now!"}),
            "The link has been copied successfully, share it with your friends now!");

  serviceCode("zz99");
  refreshed(model);
  EXPECT_EQ(model.code(), "zz99");
  EXPECT_EQ(model.link(), "https://site.test/invite?code=zz99");
  model.copyLink();
  ASSERT_TRUE(waitFor([&] { return world.copied.size() == 2; }));
  EXPECT_EQ(world.copied.back(), "https://site.test/invite?code=zz99");
}

TEST_F(ShareFixture, WithoutACodeThereIsNoLinkNoQrCodeAndNothingToCopy) {
  serviceCode("");
  ShareModel model(world.context, nullptr);
  refreshed(model);
  EXPECT_EQ(model.code(), "");
  EXPECT_EQ(model.link(), "");
  EXPECT_TRUE(qrCodeImage(model.link()).isNull());
  model.copyLink();
  waitFor([] { return false; }, 100);
  EXPECT_TRUE(world.copied.empty());
  EXPECT_FALSE(world.ui.toast.isShowing());
}

TEST_F(ShareFixture, TheQrCodeOnThePageReadsAsTheShareLink) {
  SKIP_UNDER_TSAN();
  serviceCode("Qr7x");
  QQmlEngine engine;
  world.ui.prepare(engine);
  QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Store/ShareView.qml")));
  std::unique_ptr<QObject> object(component.create());
  ASSERT_TRUE(object) << component.errorString().toStdString();
  auto* page = qobject_cast<QQuickItem*>(object.get());
  auto* qr = page->findChild<QrCodeItem*>(QStringLiteral("shareQr"));
  ASSERT_NE(qr, nullptr);
  ASSERT_TRUE(waitFor([&] { return qr->text() == QStringLiteral("https://site.test/invite?code=Qr7x"); }));
  auto* code = page->findChild<QObject*>(QStringLiteral("shareCode"));
  EXPECT_EQ(code->property("text").toString(), "QR7X");

  // The code the page's item draws: shown, with room on the page, and read back as the link.
  EXPECT_TRUE(qr->isVisible());
  EXPECT_GT(qr->width(), 0);
  EXPECT_GT(qr->height(), 0);
  EXPECT_TRUE(qr->hasCode());
  const QImage image = qr->image();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(decode(image.scaled(image.width() * 4, image.height() * 4), world.folder),
            "https://site.test/invite?code=Qr7x");
}

TEST(QrCode, ImagesOfShortAndLongLinksRead) {
  QTemporaryDir folder;
  for (const QString& text : {QStringLiteral("https://site.test/invite?code=abc"),
                              QStringLiteral("https://site.test/register?code=") + QString(300, QLatin1Char('x'))}) {
    const QImage image = qrCodeImage(text);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(decode(image.scaled(image.width() * 4, image.height() * 4), folder), text);
  }
}

TEST_F(ShareFixture, RewardsAndRulesOpenTheirWindowsOnlyBesideAWindow) {
  ShareModel model(world.context, nullptr);
  model.openRewards();
  model.openRules();
  ASSERT_TRUE(waitFor([&] { return world.windows.size() == 2; }));
  // The two addresses are read on workers: the windows may open in either order.
  auto windows = world.windows;
  std::sort(windows.begin(), windows.end(), [](const auto& a, const auto& b) { return a.title < b.title; });
  EXPECT_EQ(windows[0].type, ModalWindowType::shareRewards);
  EXPECT_EQ(windows[0].title, "My Rewards");
  EXPECT_EQ(windows[0].url, QUrl("https://shareAchievement.test/"));
  EXPECT_EQ(windows[0].size, QSize(400, 660));
  EXPECT_EQ(windows[1].type, ModalWindowType::shareHelp);
  EXPECT_EQ(windows[1].title, "Rules");
  EXPECT_EQ(windows[1].url, QUrl("https://shareHelp.test/"));
  EXPECT_EQ(windows[1].size, QSize(400, 660));

  world.hasWindow = false;
  model.openRewards();
  waitFor([] { return false; }, 100);
  EXPECT_EQ(world.windows.size(), 2u);
}

}  // namespace
}  // namespace lumora::test
