// The update download against a loopback HTTPS server: progress and the file, failures that
// keep nothing (error status, short body, no announced length, unknown authority, a redirect),
// dismiss and retry, and the speed sample.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QFile>
#include <QSslCertificate>

#include <atomic>

#include "tests/info/InfoTestSupport.h"
#include "tests/support/LoopbackHttpsServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/PackageInstaller.h"
#include "ui/info/UpdateManager.h"

namespace lumora {
namespace {

using tarnel::test::LoopbackHttpsServer;
using tarnel::test::TempDir;
using tarnel::test::TestCA;

enum class Serve { whole, error, shortBody, noLength, redirect };

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest()
      : ca(caDir.path()),
        server(ca.issue("download", {"localhost"}), "127.0.0.1", 0,
               [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); }) {}

  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    body = std::string(300 * 1024, 'p');
    for (size_t i = 0; i < body.size(); i += 97) body[i] = char('a' + i % 26);
    manager = make({QSslCertificate::fromPath(QString::fromStdString(ca.certificatePath().string()))});
  }

  std::unique_ptr<DownloadManager> make(QList<QSslCertificate> authorities, PackageInstaller* installer = nullptr) {
    DownloadManager::Options options;
    if (installer) {
      options.install = [installer](const QString& path, std::function<void(bool)> answered) {
        installer->open(path, std::move(answered));
      };
    }
    options.cacheDir = QString::fromStdString(cache.path().string());
    options.fileName = QStringLiteral("tarnel-update.deb");
    options.extraAuthorities = std::move(authorities);
    options.finished = [this](const QString& path) { finishedPaths.push_back(path); };
    options.now = [this] { return clock; };
    return std::make_unique<DownloadManager>(options, nullptr);
  }

  void handle(const httplib::Request& req, httplib::Response& res) {
    ++requests;
    switch (serve.load()) {
      case Serve::whole:
        res.set_content(body, "application/vnd.debian.binary-package");
        return;
      case Serve::error:
        res.status = 500;
        return;
      case Serve::shortBody:
        res.set_content_provider(body.size(), "application/octet-stream",
                                 [this](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset > 0) return false;  // the connection ends half-way
                                   sink.write(body.data(), body.size() / 2);
                                   return true;
                                 });
        return;
      case Serve::noLength:
        res.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink& sink) {
          sink.write(body.data(), body.size());
          sink.done();
          return true;
        });
        return;
      case Serve::redirect:
        res.status = 302;
        res.set_header("Location", "https://localhost:" + std::to_string(server.port()) + req.path);
        return;
    }
  }

  QString url() const {
    return QStringLiteral("https://127.0.0.1:%1/tarnel/download/pkg.deb").arg(server.port());
  }
  QString destination() const { return QString::fromStdString((cache.path() / "tarnel-update.deb").string()); }
  bool settled() const { return !finishedPaths.empty() || manager->downloadFailed(); }

  FakeServices fakes;
  std::unique_ptr<UiObjects> ui;
  TempDir caDir;
  TempDir cache;
  TestCA ca;
  LoopbackHttpsServer server;
  std::string body;
  std::atomic<Serve> serve{Serve::whole};
  std::atomic<int> requests{0};
  double clock = 1000.0;
  std::vector<QString> finishedPaths;
  std::unique_ptr<DownloadManager> manager;
};

TEST_F(DownloadTest, ACompletePackageOverVerifiedTlsReplacesTheOldFileAndIsHandedOn) {
  {
    QFile old(destination());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older update");
  }
  manager->startDownload(url());
  EXPECT_TRUE(manager->isDownloading());
  ASSERT_TRUE(test::waitFor([this] { return settled(); }));
  ASSERT_FALSE(manager->downloadFailed()) << ui->toast.message().toStdString();
  ASSERT_EQ(finishedPaths.size(), 1u);
  EXPECT_EQ(finishedPaths[0], destination());
  EXPECT_DOUBLE_EQ(manager->downloadProgress(), 1.0);
  QFile file(destination());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), body);
  EXPECT_FALSE(QFile::exists(destination() + QStringLiteral(".part")));
}

// The program leaves (the finished hand-on) only once a package installer has the package; an
// opener that fails or is missing leaves the program running, the panel put away and a dialog
// that says where the package is. The installer's opener is a real child process here.
TEST_F(DownloadTest, TheProgramLeavesOnlyOnceAnInstallerHasThePackage) {
  // The opener that still runs does so until its case is over, however long the machine takes
  // to look; the others end at once, well within the settle bound.
  const QString over = QString::fromStdString((cache.path() / "opener-case-over").string());
  struct Case {
    const char* what;
    QString program;
    QStringList arguments;
    bool taken;
    bool runsOn = false;  // until `over` exists
  } cases[] = {
      {"the opener hands it on and ends well", QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("test -s \"$0\"")}, true},
      {"the opener still runs: it is the installer", QStringLiteral("sh"),
       {QStringLiteral("-c"), QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done").arg(over)}, true, true},
      {"the opener finds no installer", QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 3")}, false},
      {"there is no opener at all", QStringLiteral("/nonexistent/xdg-open"), {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // However the case ends, its opener goes with it.
    struct Over {
      QString file;
      ~Over() {
        if (!file.isEmpty()) (void)QFile(file).open(QIODevice::WriteOnly);
      }
    } endsTheOpener{c.runsOn ? over : QString()};
    finishedPaths.clear();
    ui->dialog.setIsShow(false);
    PackageInstaller installer({c.program, c.arguments, std::chrono::seconds(5)});
    manager = make({QSslCertificate::fromPath(QString::fromStdString(ca.certificatePath().string()))}, &installer);
    manager->startDownload(url());
    ASSERT_TRUE(test::waitFor([this] { return !finishedPaths.empty() || ui->dialog.isShow(); }));
    test::spin(50);
    if (c.taken) {
      ASSERT_EQ(finishedPaths.size(), 1u);
      EXPECT_EQ(finishedPaths[0], destination());
      EXPECT_FALSE(ui->dialog.isShow());
    } else {
      EXPECT_TRUE(finishedPaths.empty()) << "the program would have left with nothing installed";
      ASSERT_TRUE(ui->dialog.isShow());
      EXPECT_TRUE(ui->dialog.text().contains(destination())) << ui->dialog.text().toStdString();
      EXPECT_NE(ui->dialog.text(), QStringLiteral("no package installer"));
      EXPECT_FALSE(manager->isDownloading());
      EXPECT_TRUE(QFile::exists(destination()));
    }
    manager.reset();
  }
}

TEST_F(DownloadTest, EveryIncompleteOrUnverifiedAnswerFailsAndKeepsNothing) {
  struct Case {
    const char* what;
    Serve serve;
  } cases[] = {
      {"server error", Serve::error},
      {"body shorter than announced", Serve::shortBody},
      {"no announced length", Serve::noLength},
      {"redirect to another host", Serve::redirect},
  };
  for (const auto& c : cases) {
    serve = c.serve;
    finishedPaths.clear();
    manager->startDownload(url());
    ASSERT_TRUE(test::waitFor([this] { return settled(); })) << c.what;
    EXPECT_TRUE(manager->downloadFailed()) << c.what;
    EXPECT_TRUE(finishedPaths.empty()) << c.what;
    EXPECT_FALSE(QFile::exists(destination())) << c.what;
    EXPECT_TRUE(manager->isDownloading()) << "the panel stays to show the failure: " << c.what;
  }
}

TEST_F(DownloadTest, AServerOfAnUnknownAuthorityIsRefused) {
  auto untrusting = make({});
  manager = std::move(untrusting);
  manager->startDownload(url());
  ASSERT_TRUE(test::waitFor([this] { return settled(); }));
  EXPECT_TRUE(manager->downloadFailed());
  EXPECT_TRUE(finishedPaths.empty());
  EXPECT_FALSE(QFile::exists(destination()));
}

TEST_F(DownloadTest, AFailureCanBeDismissedOrRetriedFromTheSameAddress) {
  serve = Serve::error;
  manager->startDownload(url());
  ASSERT_TRUE(test::waitFor([this] { return manager->downloadFailed(); }));
  EXPECT_FALSE(ui->toast.message().isEmpty());

  serve = Serve::whole;
  manager->retry();
  EXPECT_FALSE(manager->downloadFailed());
  ASSERT_TRUE(test::waitFor([this] { return settled(); }));
  EXPECT_EQ(finishedPaths.size(), 1u);
  EXPECT_EQ(requests.load(), 2);

  serve = Serve::error;
  manager->startDownload(url());
  ASSERT_TRUE(test::waitFor([this] { return manager->downloadFailed(); }));
  manager->dismiss();
  EXPECT_FALSE(manager->isDownloading());
  EXPECT_FALSE(manager->downloadFailed());
}

// An update that ended without installing (the download failed and was put away, or no
// installer took the package) leaves the update check free for the rest of the run: the next
// check, from the menu or the automatic one, offers the update again.
TEST_F(DownloadTest, AnUpdateThatEndedWithoutInstallingLeavesTheNextCheckFree) {
  struct Case {
    const char* what;
    Serve serve;
    bool manual;
  } cases[] = {
      {"failed and put away, then a check from the menu", Serve::error, true},
      {"failed and put away, then the automatic check", Serve::error, false},
      {"no installer took it, then a check from the menu", Serve::whole, true},
      {"no installer took it, then the automatic check", Serve::whole, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    serve = c.serve;
    ui->dialog.setIsShow(false);
    PackageInstaller none({QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 3")},
                           std::chrono::milliseconds(300)});
    manager = make({QSslCertificate::fromPath(QString::fromStdString(ca.certificatePath().string()))}, &none);
    fakes.links->script.answer<std::string>("downloadHost", QStringLiteral("127.0.0.1:%1").arg(server.port()).toStdString());
    tarnel::Login login;
    login.other = tarnel::Other{};
    login.other->newest_version = 105;
    login.other->update_version = 105;
    fakes.account->setLoginInfo(login);
    UpdateManager::Options options;
    options.buildNumber = 100;
    UpdateManager update(fakes.services(), ui->dialog, *manager, options, nullptr);

    update.checkUpdate(c.manual);
    ASSERT_TRUE(ui->dialog.isShow());
    ui->dialog.press(0);  // "update now"
    ASSERT_TRUE(manager->isDownloading());
    if (c.serve == Serve::error) {
      ASSERT_TRUE(test::waitFor([this] { return manager->downloadFailed(); }, 60000));
      manager->dismiss();
    } else {
      ASSERT_TRUE(test::waitFor([this] { return ui->dialog.isShow(); }, 60000)) << "no word of the missing installer";
      ui->dialog.close();
    }
    ASSERT_FALSE(manager->isDownloading());
    ASSERT_FALSE(ui->dialog.isShow());

    update.checkUpdate(c.manual);
    EXPECT_TRUE(ui->dialog.isShow()) << "the check stays silent for the rest of the run";
    EXPECT_TRUE(finishedPaths.empty());
    ui->dialog.setIsShow(false);
    manager.reset();
  }
}

TEST_F(DownloadTest, ADismissWhileRunningDoesNothing) {
  serve = Serve::whole;
  manager->startDownload(url());
  manager->dismiss();
  EXPECT_TRUE(manager->isDownloading());
  ASSERT_TRUE(test::waitFor([this] { return settled(); }));
}

TEST_F(DownloadTest, AnAddressThatDoesNotParseChangesNothing) {
  manager->startDownload(QStringLiteral("https://"));
  EXPECT_FALSE(manager->isDownloading());
  EXPECT_EQ(requests.load(), 0);
}

TEST_F(DownloadTest, TheSpeedIsSampledOnceASecondAndARetryStartsAFreshSample) {
  serve = Serve::error;
  manager->startDownload(url());  // sample time 1000
  clock = 1000.5;
  manager->applyProgress(200 * 1024, 1000 * 1024);
  EXPECT_EQ(manager->downloadSpeed(), 0) << "less than a second: only the progress moves";
  EXPECT_DOUBLE_EQ(manager->downloadProgress(), 0.2);
  clock = 1002.0;
  manager->applyProgress(800 * 1024, 1000 * 1024);
  EXPECT_DOUBLE_EQ(manager->downloadSpeed(), 400.0);  // 800 KB in 2 s
  ASSERT_TRUE(test::waitFor([this] { return manager->downloadFailed(); }));

  clock = 1010.0;
  manager->retry();
  EXPECT_EQ(manager->downloadSpeed(), 0);
  clock = 1012.0;
  manager->applyProgress(100 * 1024, 1000 * 1024);
  // Measured from this attempt's start, not against the 800 KB of the failed one.
  EXPECT_DOUBLE_EQ(manager->downloadSpeed(), 50.0);
}

TEST(SpeedTextTest, KilobytesUpToOneMegabyteThenMegabytes) {
  EXPECT_EQ(DownloadManager::speedText(0), QStringLiteral("0.00 KB/S"));
  EXPECT_EQ(DownloadManager::speedText(1024), QStringLiteral("1024.00 KB/S"));
  EXPECT_EQ(DownloadManager::speedText(1536), QStringLiteral("1.50 MB/S"));
  EXPECT_EQ(DownloadManager::speedText(12.345), QStringLiteral("12.35 KB/S"));
}

}  // namespace
}  // namespace lumora
