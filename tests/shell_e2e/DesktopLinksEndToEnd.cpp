// Every address the program hands to the desktop, on a desktop where nothing opens it (no web
// browser, no mail program, no Telegram): each entry point says so in the window, in the user's
// language, naming what could not be opened.
#include <gtest/gtest.h>

#include "services/connection/ConnectionController.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/support/WireCipher.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/ToastManager.h"

namespace lumora::test {
namespace {

using tarnel::ConnectionController;

struct EntryPoint {
  const char* name;
  std::vector<Route::Kind> pages;  // pushed over the home page first
  std::vector<QString> taps;       // in order, each waited for
  QString scheme;                  // of the address handed to the desktop
};

// The toast's English text for an address the desktop could not open.
QString englishFailure(const QUrl& handed) {
  const QString shown = handed.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
  if (handed.scheme() == QLatin1String("mailto")) return QStringLiteral("No mail app could write to %1.").arg(handed.path());
  if (handed.scheme() == QLatin1String("https")) return QStringLiteral("No web browser could open %1.").arg(shown);
  return QStringLiteral("No application could open %1.").arg(shown);
}

TEST(DesktopLinks, EveryAddressNothingOpensIsReportedInTheUsersLanguage) {
  setenv("GSETTINGS_BACKEND", "memory", 1);
  AppWorld world;
  // The official site (the About link's and the default promotion link's) is the service's own
  // address here, so that no name of it is looked up past loopback.
  tarnel::test::WireJson discovery =
      tarnel::test::wire::discoveryBody(tarnel::test::ServiceTestBed::kApiDomain, {world.service().address()});
  discovery["urls"]["officialSite"] = world.service().authority();
  discovery["urls"]["officials"] = {world.service().authority()};
  world.service().setDiscovery(discovery);
  ASSERT_TRUE(world.start());
  NodeWorld nodes(world, {{"A"}});
  ASSERT_TRUE(world.signInToHome());
  struct Leave {
    ~Leave() { ConnectionController::shared().disconnect(); }
  } leave;
  // The Telegram link needs the connection up (in the normal mode).
  ASSERT_TRUE(world.click(QStringLiteral("connectArea")));
  ASSERT_TRUE(waitFor([&] {
    return world.text(QStringLiteral("statusText")) == QLatin1String("Connected") &&
           ConnectionController::shared().phase() == ConnectionController::Phase::connected;
  }, 60000));
  world.setDesktopOpens(false);

  const std::vector<EntryPoint> entries{
      {"About: visit official website", {Route::menu, Route::about}, {"officialRow"}, "https"},
      {"home: promotion link", {}, {"promotionLink"}, "https"},
      {"home: Telegram", {}, {"telegramButton"}, "tg"},
      {"home: browser check", {}, {"browserButton"}, "https"},
      {"support mail: open mail app", {Route::menu}, {"row_email", "dialogButton_open email app"}, "mailto"},
      {"menu: help centre", {Route::menu}, {"row_help"}, "https"},
  };
  Router& router = *world.state().router();
  auto& toast = *SharedInstance<ToastManager>::get();
  auto& dialog = *SharedInstance<DialogManager>::get();
  for (const QString& language : {QStringLiteral("en"), QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant")}) {
    world.state().setCurrentLanguage(language);
    for (const EntryPoint& entry : entries) {
      const std::string label = language.toStdString() + " " + entry.name;
      dialog.setIsShow(false);
      router.goBackToRoot();
      ASSERT_TRUE(waitFor([&] { return router.depth() == 0 && router.offsetX() == 0; })) << label;
      for (const Route::Kind page : entry.pages) {
        router.push(page);
        ASSERT_TRUE(waitFor([&] { return router.topName() == Route::nameOf(page) && router.offsetX() == 0; })) << label;
      }
      toast.show(QString(), ToastType::info);
      const std::size_t handedBefore = world.desktopOpened().size();
      for (const QString& tap : entry.taps) {
        ASSERT_TRUE(waitFor([&] { return world.click(tap); })) << label << ": no " << tap.toStdString();
      }
      ASSERT_TRUE(waitFor([&] { return world.desktopOpened().size() == handedBefore + 1; })) << label << ": nothing handed on";
      const QUrl handed = world.desktopOpened().back();
      EXPECT_EQ(handed.scheme(), entry.scheme) << label;
      EXPECT_TRUE(waitFor([&] { return toast.isShowing() && !toast.message().isEmpty(); })) << label << ": no word of it";
      EXPECT_EQ(toast.type(), ToastType::error) << label;
      const QString english = englishFailure(handed);
      if (language == QLatin1String("en")) {
        EXPECT_EQ(toast.message(), english) << label;
      } else {
        EXPECT_NE(toast.message(), english) << label << ": not in " << language.toStdString();
        const QString address = handed.scheme() == QLatin1String("mailto")
                                    ? handed.path()
                                    : handed.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveFragment);
        EXPECT_TRUE(toast.message().contains(address)) << label << ": " << toast.message().toStdString();
      }
      EXPECT_FALSE(dialog.isShow()) << label << ": the dialog stayed";
    }
  }
  world.state().setCurrentLanguage(QStringLiteral("en"));
}

}  // namespace
}  // namespace lumora::test
