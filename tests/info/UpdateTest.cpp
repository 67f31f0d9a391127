// The update check: the decision table over build numbers, ignored and forced versions, and the
// manager's dialogs, ignore box and update action with fakes.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "services/network/DeploymentConfig.h"
#include "tests/info/InfoTestSupport.h"
#include "tests/support/TestHome.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/UpdateManager.h"

namespace lumora {
namespace {

tarnel::Other other(std::int64_t version, std::int64_t newest, std::optional<std::int64_t> manual) {
  tarnel::Other o;
  o.version = version;
  o.newest_version = newest;
  o.update_version = manual;
  return o;
}

TEST(BuildNumberTest, OnlyASignAndDigitsReadAsANumber) {
  struct Case {
    const char* text;
    std::int64_t number;
  } cases[] = {
      {"100", 100},   {"+7", 7},     {"-3", -3},   {"", 0},        {"1.2.0", 0},
      {"12a", 0},     {"+", 0},      {" 5", 0},    {"007", 7},     {"99999999999999999999", 0},
      {"9223372036854775807", 9223372036854775807LL},
  };
  for (const auto& c : cases) EXPECT_EQ(parseBuildNumber(c.text), c.number) << c.text;
}

TEST(UpdateDecisionTest, TheTableOfBuildNumbersIgnoredAndForcedVersions) {
  using D = UpdateDecision;
  struct Case {
    const char* what;
    UpdateInputs in;
    D expected;
  } cases[] = {
      {"forced: minimum above the build", {false, false, 100, 0, other(101, 0, 0)}, D::forced},
      {"minimum equal to the build: offer rules", {false, false, 100, 0, other(100, 105, 0)}, D::offer},
      {"minimum 0 with newer newest: offer", {false, false, 100, 0, other(0, 105, 0)}, D::offer},
      {"forced while showing: nothing", {false, true, 100, 0, other(101, 0, 0)}, D::nothing},
      {"newest equals ignored: nothing", {false, false, 100, 105, other(0, 105, 0)}, D::nothing},
      {"newest above ignored: offer", {false, false, 100, 104, other(0, 105, 0)}, D::offer},
      {"newest equal to build: nothing", {false, false, 100, 0, other(0, 100, 0)}, D::nothing},
      {"offer while showing: nothing", {false, true, 100, 0, other(0, 105, 0)}, D::nothing},
      {"no server settings: nothing", {false, false, 100, 0, std::nullopt}, D::nothing},
      {"manual, newer update version: offer", {true, false, 100, 0, other(0, 0, 101)}, D::offer},
      {"manual ignores the ignored version", {true, false, 100, 101, other(0, 101, 101)}, D::offer},
      {"manual never forces", {true, false, 100, 0, other(200, 0, 0)}, D::upToDate},
      {"manual, update version absent: up to date", {true, false, 100, 0, other(0, 300, std::nullopt)},
       D::upToDate},
      {"manual without settings: up to date", {true, false, 100, 0, std::nullopt}, D::upToDate},
      {"manual while an offer shows: nothing", {true, true, 100, 0, other(0, 0, 101)}, D::nothing},
      {"manual while the download panel is up: says so", {true, false, 100, 0, other(0, 0, 101), true},
       D::downloading},
      {"manual while the panel is up, even if up to date", {true, false, 100, 0, other(0, 0, 0), true},
       D::downloading},
      {"automatic while the panel is up: nothing", {false, false, 100, 0, other(101, 105, 0), true}, D::nothing},
  };
  for (const auto& c : cases) EXPECT_EQ(decideUpdate(c.in), c.expected) << c.what;
}

class UpdateManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    DownloadManager::Options options;
    options.cacheDir = QString::fromStdString(cache.path().string());
    options.fileName = QStringLiteral("update.deb");
    download = std::make_unique<DownloadManager>(options, nullptr);
  }
  void makeManager(std::int64_t build, bool store = false) {
    UpdateManager::Options options;
    options.buildNumber = build;
    options.isAppStore = store;
    options.storePage = QUrl(QStringLiteral("https://store.test/app"));
    options.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return true;
    };
    options.quit = [this] { ++quits; };
    manager = std::make_unique<UpdateManager>(fakes.services(), ui->dialog, *download, options, nullptr);
  }
  void serverSays(const tarnel::Other& settings) {
    tarnel::Login login;
    login.other = settings;
    fakes.account->setLoginInfo(login);
  }
  std::optional<std::int64_t> ignored() {
    auto v = fakes.settings->value(tarnel::StoreKeys::IGNORE_VERSION);
    return v ? v->integer() : std::nullopt;
  }

  FakeServices fakes;
  tarnel::test::TempDir cache;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<DownloadManager> download;
  std::unique_ptr<UpdateManager> manager;
  std::vector<QUrl> opened;
  int quits = 0;
};

TEST_F(UpdateManagerTest, ADottedVersionTextNeverForcesAnUpdateTheBuildNumberDecides) {
  // The service's numbers are build numbers: 100 is this very build, so nothing is due.
  makeManager(parseBuildNumber("100"));
  serverSays(other(100, 100, 100));
  manager->checkUpdate(false);
  EXPECT_FALSE(ui->dialog.isShow());
  manager->checkUpdate(true);
  EXPECT_FALSE(ui->dialog.isShow());
  EXPECT_EQ(ui->toast.message(), QStringLiteral("You're up to date (100)."));
}

TEST_F(UpdateManagerTest, TheForcedDialogHasNoCloseAndItsConfirmStartsTheDownloadFromTheHost) {
  makeManager(100);
  serverSays(other(101, 0, 0));
  fakes.links->script.answer<std::string>("downloadHost", "127.0.0.1:1");
  manager->checkUpdate(false);
  ASSERT_TRUE(ui->dialog.isShow());
  EXPECT_FALSE(ui->dialog.showClose());
  ASSERT_EQ(ui->dialog.buttons().size(), 1u);
  ui->dialog.press(0);
  EXPECT_FALSE(ui->dialog.isShow());
  EXPECT_EQ(download->lastDownload(),
            QStringLiteral("https://127.0.0.1:1") +
                updatePackagePath(QString::fromUtf8(tarnel::deployment::kUpdatePackagePath), packageArchitecture()));
  EXPECT_TRUE(download->isDownloading());
  // No second dialog in this run.
  manager->checkUpdate(false);
  manager->checkUpdate(true);
  EXPECT_FALSE(ui->dialog.isShow());
}

// The package asked for is of the architecture the program runs as, never a fixed one.
TEST_F(UpdateManagerTest, TheDownloadedPackageIsOfTheRunningArchitecture) {
  EXPECT_EQ(updatePackagePath(QStringLiteral("/d/linux-tarnel-{arch}.deb"), "arm64"),
            QStringLiteral("/d/linux-tarnel-arm64.deb"));
  EXPECT_TRUE(QString::fromUtf8(tarnel::deployment::kUpdatePackagePath).contains(QStringLiteral("{arch}")))
      << "the configured path names one architecture: " << tarnel::deployment::kUpdatePackagePath;
  // The build's architecture is the machine's package architecture, as dpkg names it.
  QProcess dpkg;
  dpkg.start(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
  if (dpkg.waitForFinished(60000) && dpkg.exitCode() == 0) {
    EXPECT_EQ(QString::fromUtf8(dpkg.readAllStandardOutput()).trimmed().toStdString(), packageArchitecture());
  }
  for (const char* architecture : {"arm64", "i386"}) {
    fakes.links->script.answer<std::string>("downloadHost", "127.0.0.1:1");
    UpdateManager::Options options;
    options.buildNumber = 100;
    options.architecture = architecture;
    manager = std::make_unique<UpdateManager>(fakes.services(), ui->dialog, *download, options, nullptr);
    manager->performUpdate();
    EXPECT_TRUE(download->lastDownload().endsWith(QStringLiteral("-%1.deb").arg(QString::fromUtf8(architecture))))
        << download->lastDownload().toStdString();
  }
}

TEST_F(UpdateManagerTest, TheOfferCanBeIgnoredAndClosingItAllowsTheNextOne) {
  makeManager(100);
  serverSays(other(0, 105, 0));
  manager->checkUpdate(false);
  ASSERT_TRUE(ui->dialog.isShow());
  EXPECT_TRUE(manager->showIgnore());
  manager->setIgnore(true);
  EXPECT_EQ(ignored(), 105);  // stored at once, before the dialog closes
  manager->setIgnore(false);
  EXPECT_EQ(ignored(), 0);
  manager->setIgnore(true);
  manager->checkUpdate(true);  // a second check while the offer shows adds nothing
  ui->dialog.close();
  EXPECT_FALSE(manager->showing());
  manager->checkUpdate(false);
  EXPECT_FALSE(ui->dialog.isShow()) << "the ignored version is not offered again automatically";
  serverSays(other(0, 105, 106));
  manager->checkUpdate(true);
  ASSERT_TRUE(ui->dialog.isShow()) << "a manual check still offers";
  EXPECT_FALSE(manager->showIgnore());
}

TEST_F(UpdateManagerTest, AnEmptyDownloadHostGivesAClearErrorAndNoRequest) {
  makeManager(100);
  serverSays(other(0, 105, 0));
  fakes.links->script.answer<std::string>("downloadHost", "");
  manager->checkUpdate(false);
  ui->dialog.press(0);
  EXPECT_TRUE(download->downloadFailed());
  EXPECT_TRUE(download->lastDownload().isEmpty());
  EXPECT_EQ(ui->toast.message(), QStringLiteral("The download address is not known yet. Please try again in a moment."));
  // Retry asks for the host afresh.
  fakes.links->script.answer<std::string>("downloadHost", "127.0.0.1:1");
  download->retry();
  EXPECT_TRUE(download->lastDownload().startsWith(QStringLiteral("https://127.0.0.1:1/")));
}

TEST_F(UpdateManagerTest, AStoreBuildOpensTheStorePageAndQuits) {
  makeManager(100, true);
  serverSays(other(101, 0, 0));
  manager->checkUpdate(false);
  ui->dialog.press(0);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://store.test/app")));
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(download->isDownloading());
}

TEST_F(UpdateManagerTest, AnOfferReplacedOrHiddenByAnotherDialogLeavesTheNextManualCheckFree) {
  makeManager(100);
  serverSays(other(0, 105, 106));
  struct Case {
    const char* how;
    std::function<void(DialogManager&)> takeOver;
  } cases[] = {
      // The other dialog's own close runs its own cancel, never the offer's.
      {"another dialog shown over it and closed",
       [](DialogManager& d) {
         d.show({}, QStringLiteral("tips_title"), true, {}, {}, DialogContent::fromText(QStringLiteral("unbound tips")));
         d.close();
       }},
      {"another content shown over it and dismissed",
       [](DialogManager& d) {
         d.showContent(DialogContent::fromText(QStringLiteral("other")));
         d.setIsShow(false);
       }},
      {"hidden by a dismissal, not its close", [](DialogManager& d) { d.setIsShow(false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    manager->checkUpdate(true);
    ASSERT_TRUE(ui->dialog.isShow());
    c.takeOver(ui->dialog);
    ASSERT_FALSE(ui->dialog.isShow());
    EXPECT_FALSE(manager->showing());
    manager->checkUpdate(true);
    ASSERT_TRUE(ui->dialog.isShow()) << "the manual check offers again";
    EXPECT_EQ(ui->dialog.title(), QStringLiteral("tips_title"));
    ASSERT_EQ(ui->dialog.buttons().size(), 1u);
    ui->dialog.close();
  }
  // Once the update has begun, a check while its download runs says so instead of offering it
  // again, whatever happens to the dialog; once the failed download is put away, it offers again.
  fakes.links->script.answer<std::string>("downloadHost", "127.0.0.1:1");  // nothing listens there
  manager->checkUpdate(true);
  ui->dialog.press(0);
  ASSERT_TRUE(download->isDownloading());
  ui->dialog.show({}, QStringLiteral("tips_title"), true, {}, {}, DialogContent::fromText(QStringLiteral("x")));
  ui->dialog.close();
  manager->checkUpdate(true);
  EXPECT_FALSE(ui->dialog.isShow());
  EXPECT_EQ(ui->toast.message(), qtTrId("update downloading"));
  ASSERT_TRUE(test::waitFor([&] { return download->downloadFailed(); }, 60000));
  manager->checkUpdate(true);
  EXPECT_FALSE(ui->dialog.isShow()) << "offered under the failed download's panel";
  EXPECT_EQ(ui->toast.message(), qtTrId("download failed"));
  download->dismiss();
  manager->checkUpdate(true);
  EXPECT_TRUE(ui->dialog.isShow()) << "the update that did not go through holds the check for good";
}

}  // namespace
}  // namespace lumora
