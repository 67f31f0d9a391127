// The real program against the development service as `scripts/run` starts them: the service on
// its own addresses, the program finding it through discovery, trusting its authority (the web
// windows too) and signing in with its account. Every web window shows the service's page, and
// the share page's QR code reads as the invitation link.
//
// With TARNEL_E2E_SCREENSHOTS=<folder> (and TARNEL_E2E_LANGUAGE=en, zh-Hans or zh-Hant) the
// pages the service fills and the web windows are also saved there as PNG files, for review.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/Application.h"
#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "services/log/CloudLog.h"
#include "services/network/DNS.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/TestHome.h"
#include "tools/devservice/DevService.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/LoadingManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/info/InfoActions.h"
#include "ui/info/ModalWindows.h"
#include "ui/shell/AccountCheck.h"

namespace lumora::test {
namespace {

using tarnel::dev::DevAddresses;

// The window as the X server shows it, through the desktop's own screen grabber.
QImage screen(QWindow* window, const QString& file) {
  QProcess grabber;
  grabber.start(QStringLiteral("import"), {QStringLiteral("-window"), QString::number(window->winId()), file});
  if (!grabber.waitForFinished(20000) || grabber.exitCode() != 0) return {};
  return QImage(file);
}

QString decodeQr(const QString& file) {
  QProcess reader;
  reader.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
  reader.waitForFinished(20000);
  return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
}

// Shares of the picture that are not white, and that are near `colour`.
struct Pixels {
  double inked = 0;
  double coloured = 0;
};
Pixels pixels(const QImage& image, QColor colour) {
  Pixels share;
  if (image.isNull()) return share;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  std::int64_t inked = 0, coloured = 0;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb p = line[x];
      if (qRed(p) < 245 || qGreen(p) < 245 || qBlue(p) < 245) ++inked;
      if (std::abs(qRed(p) - colour.red()) < 12 && std::abs(qGreen(p) - colour.green()) < 12 &&
          std::abs(qBlue(p) - colour.blue()) < 12) {
        ++coloured;
      }
    }
  }
  const double all = static_cast<double>(rgb.width()) * rgb.height();
  share.inked = inked / all;
  share.coloured = coloured / all;
  return share;
}

class DevServiceWorld {
 public:
  DevServiceWorld() {
    service_ = std::make_unique<tarnel::dev::DevService>(folder_.path() / "devservice");
    // What a development build has built in: the service's authority and discovery address.
    helmsey::HttpEngine::setExtraCertificateAuthority(service_->caCertificate());
    helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
    environment.extraCaCertificate = service_->caCertificate();
    helmsey::setEngineEnvironment(environment);
    const std::string discovery =
        std::string("https://") + DevAddresses::kService + ":" + std::to_string(DevAddresses::kDiscoveryPort);
    tarnel::DNS::setDeploymentForTesting(
        {{{{discovery, std::map<std::string, std::string>{{"Host", DevAddresses::kDiscoveryName}}}}},
         DevAddresses::siteAuthority()});
    tarnel::CloudLog::setServiceForTesting(DevAddresses::kLogs);
    if (const char* folder = std::getenv("TARNEL_E2E_SCREENSHOTS")) shots_ = QString::fromLocal8Bit(folder);
  }
  ~DevServiceWorld() {
    program_.reset();
    tarnel::DNS::shared().waitForBackgroundTasks();
    helmsey::HttpEngine::clearExtraCertificateAuthority();
  }

  bool start() {
    tarnel_app::LaunchHooks hooks;
    hooks.windowReady = [this](QQuickWindow* window) { window_ = window; };
    hooks.pageAuthority = service_->caCertificate();
    program_ = std::make_unique<tarnel_app::Application>(hooks);
    return program_->start() && window_ && waitFor([this] { return window_->isExposed(); });
  }

  AppStateManager& state() const { return *SharedInstance<AppStateManager>::get(); }
  tarnel::dev::DevService& service() { return *service_; }
  QQuickItem* item(const QString& name) const {
    return window_ ? AppWorld::find(window_->contentItem(), name) : nullptr;
  }
  bool click(const QString& name) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    // A web window took the focus: the main window has it back first, as a user's click gives it.
    window_->requestActivate();
    waitFor([this] { return window_->isActive(); }, 2000);
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window_, Qt::LeftButton, {}, centre.toPoint());
    return true;
  }
  bool type(const QString& name, const QString& text) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    target->forceActiveFocus();
    target->setProperty("text", QString());
    for (const QChar c : text) QTest::keyClick(window_, c.toLatin1());
    return target->property("text").toString() == text;
  }

  bool signIn() {
    const auto& account = service_->account();
    if (!waitFor(
            [this] {
              return state().router()->rootName() == "login" && item("accountField") &&
                     service_->api().count("POST", "lite/users") >= 1 &&
                     !SharedInstance<LoadingManager>::get()->isShowing();
            },
            30000)) {
      return false;
    }
    QTest::qWait(400);
    if (!type("accountField", QString::fromStdString(account.email)) ||
        !type("passwordField", QString::fromStdString(account.password)) || !click("submitButton")) {
      return false;
    }
    if (!waitFor([this] { return state().router()->rootName() == "main" && item("connectArea"); }, 30000)) return false;
    // Every showing of the home page has the disclaimer half a second in.
    if (!waitFor([this] { return item("disclaimerView") != nullptr; })) return false;
    return waitFor([this] { return click("dialogClose") && waitFor([this] { return !item("disclaimerView"); }, 1000); });
  }

  // `route` on top, slid in, nothing loading.
  bool showing(Route::Kind route) {
    state().router()->push(route);
    const bool shown = waitFor(
        [&] {
          auto* router = state().router();
          return router->topName() == Route::nameOf(route) && router->offsetX() == 0 &&
                 !SharedInstance<LoadingManager>::get()->isShowing();
        },
        15000);
    QTest::qWait(600);
    return shown;
  }
  void back() {
    state().router()->back();
    waitFor([&] { return state().router()->offsetX() == 0; });
  }

  // The web page of the open window of `type`, once it has loaded; null when none came.
  QQuickWindow* webWindow(ModalWindowType type, QQuickItem** page) {
    auto* windows = SharedInstance<ModalWindows>::get();
    QQuickWindow* window = nullptr;
    const bool loaded = waitFor(
        [&] {
          window = windows ? windows->window(type) : nullptr;
          *page = window ? AppWorld::find(window->contentItem(), QStringLiteral("webPage")) : nullptr;
          return *page && window->isExposed() && !(*page)->property("loading").toBool() &&
                 (*page)->property("loadProgress").toInt() == 100;
        },
        45000);
    if (!loaded) {
      std::fprintf(stderr, "web window: %s, page %s, url %s, loading %d, progress %d\n", window ? "open" : "none",
                   *page ? "found" : "none", *page ? (*page)->property("url").toString().toUtf8().constData() : "",
                   *page ? (*page)->property("loading").toBool() : -1,
                   *page ? (*page)->property("loadProgress").toInt() : -1);
      return nullptr;
    }
    return window;
  }

  QString file(const QString& name) const {
    return QString::fromStdString((folder_.path() / name.toStdString()).string());
  }
  // Keeps the picture for review when asked to.
  void keep(const QString& source, const QString& name) const {
    if (shots_.isEmpty()) return;
    QImage(source).save(shots_ + QLatin1Char('/') + name + QStringLiteral(".png"));
  }
  void keepWindow(const QString& name) { keep(shotOf(window_, name), name); }
  QString shotOf(QWindow* window, const QString& name) {
    const QString path = file(name + QStringLiteral(".png"));
    screen(window, path);
    return path;
  }
  // The window reaches the screen in its own time: grabbed again until `drawn` finds what is to
  // come in the picture, or a hang's bound has passed; the last picture.
  QString shotOnceDrawn(QWindow* window, const QString& name, const std::function<bool(const QString&)>& drawn) {
    QString path;
    waitFor([&] {
      path = shotOf(window, name);
      return drawn(path);
    });
    return path;
  }
  QQuickWindow* window() const { return window_; }

 private:
  tarnel::test::TempDir folder_;
  std::unique_ptr<tarnel::dev::DevService> service_;
  std::unique_ptr<tarnel_app::Application> program_;
  QQuickWindow* window_ = nullptr;
  QString shots_;
};

TEST(DevServiceEndToEnd, EveryWebWindowShowsAServicePageAndTheShareCodeReadsAsTheLink) {
  DevServiceWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(world.signIn()) << world.state().router()->rootName().toStdString();
  if (const char* language = std::getenv("TARNEL_E2E_LANGUAGE")) {
    world.state().setCurrentLanguage(QString::fromLocal8Bit(language));
    QTest::qWait(500);
  }
  world.keepWindow(QStringLiteral("home"));

  // The share page: the account's code, and a QR code that reads as the invitation link.
  ASSERT_TRUE(world.showing(Route::share));
  ASSERT_TRUE(waitFor([&] {
    return world.item(QStringLiteral("shareCode")) &&
           world.item(QStringLiteral("shareCode"))->property("text").toString() ==
               QString::fromStdString(world.service().account().invitationCode);
  }));
  const QString link = QString::fromStdString(tarnel::DNS::shared().share());
  ASSERT_TRUE(link.startsWith(QStringLiteral("https://") + QString::fromStdString(DevAddresses::siteAuthority())))
      << link.toStdString();
  {
    bool grabbed = false;
    QString read;
    const QString shot = world.shotOnceDrawn(world.window(), QStringLiteral("share"), [&](const QString& file) {
      const QImage image(file);
      grabbed = !image.isNull();
      if (!grabbed) return false;
      const QString doubled = file + QStringLiteral(".x2.png");
      image.scaled(image.width() * 2, image.height() * 2).save(doubled);
      read = decodeQr(doubled);
      return read == link;
    });
    world.keep(shot, QStringLiteral("share"));
    ASSERT_TRUE(grabbed) << "no screen grab";
    EXPECT_EQ(read, link);
  }

  // The web windows: each shows the page of its address, as the service serves it.
  const struct {
    const char* name;
    ModalWindowType type;
    std::function<bool()> open;
    const char* title;  // the beginning of the page's title; empty: any
    QColor colour;      // the page's header; invalid: the page has none
  } windows[] = {
      {"rules", ModalWindowType::shareHelp, [&] { return world.click(QStringLiteral("shareRules")); }, "Rules",
       QColor(0xe0, 0x7b, 0x12)},
      {"rewards", ModalWindowType::shareRewards,
       [&] {
         // A fresh share page: on the page that opened the rules window, a second synthesized
         // tap on the other link opens nothing (a real mouse was not tried).
         world.back();
         return world.showing(Route::share) && world.click(QStringLiteral("shareRewards"));
       },
       "My Rewards", QColor(0xe0, 0x7b, 0x12)},
      {"terms", ModalWindowType::service,
       [&] {
         SharedInstance<InfoActions>::get()->openTermsOfService();
         return true;
       },
       "Terms of Service", QColor(0x2f, 0x6f, 0xed)},
      {"privacy", ModalWindowType::privacy,
       [&] {
         SharedInstance<InfoActions>::get()->openPrivacyPolicy();
         return true;
       },
       "Privacy Policy", QColor(0x1f, 0x9d, 0x74)},
      {"notice", ModalWindowType::notice,
       [&] {
         if (!world.showing(Route::notify)) return false;
         world.keepWindow(QStringLiteral("notices"));
         return waitFor([&] { return world.click(QStringLiteral("notice_12")); });
       },
       "", QColor()},
  };
  for (const auto& entry : windows) {
    SCOPED_TRACE(entry.name);
    ASSERT_TRUE(entry.open());
    QQuickItem* page = nullptr;
    QQuickWindow* shown = world.webWindow(entry.type, &page);
    ASSERT_NE(shown, nullptr) << "no page loaded";
    const QUrl url = page->property("url").toUrl();
    if (entry.type != ModalWindowType::notice) {
      // The official site's pages by its name ("www." ones too), the downloads host's by its address.
      EXPECT_TRUE(url.host().endsWith(QString::fromUtf8(DevAddresses::kSiteName)) ||
                  url.host() == QString::fromUtf8(DevAddresses::kSite))
          << url.toString().toStdString();
      EXPECT_EQ(url.port(), DevAddresses::kSitePort) << url.toString().toStdString();
      EXPECT_TRUE(page->property("title").toString().startsWith(QString::fromUtf8(entry.title)))
          << page->property("title").toString().toStdString();
    }
    Pixels seen;
    const QString shot = world.shotOnceDrawn(shown, QString::fromUtf8(entry.name), [&](const QString& file) {
      seen = pixels(QImage(file), entry.colour.isValid() ? entry.colour : QColor(Qt::black));
      return seen.inked > 0.005 && (!entry.colour.isValid() || seen.coloured > 0.02);
    });
    world.keep(shot, QStringLiteral("window-") + QString::fromUtf8(entry.name));
    EXPECT_GT(seen.inked, 0.005) << "a blank window";
    if (entry.colour.isValid()) {
      EXPECT_GT(seen.coloured, 0.02) << "not the service's page";
    }
    SharedInstance<ModalWindows>::get()->closeModalWindow(entry.type);
    waitFor([&] { return SharedInstance<ModalWindows>::get()->window(entry.type) == nullptr; });
  }

  // The upgrade page offers the counts of the last status answer, which the home page's check
  // brought.
  if (!waitFor([&] { return world.state().live().max_age >= 0; }, 5000)) {
    std::fprintf(stderr, "no status answer reached the pages yet: checking now\n");
    SharedInstance<AccountCheck>::get()->checkLive();
    ASSERT_TRUE(waitFor([&] { return world.state().live().max_age >= 0; }));
  }
  // The other pages that show what the service answers, for review.
  for (const auto& [route, name] : {std::pair{Route::discount, "coupons"}, std::pair{Route::devices, "devices"},
                                    std::pair{Route::upgrade, "upgrade"}, std::pair{Route::location, "location"}}) {
    ASSERT_TRUE(world.showing(route)) << name;
    QTest::qWait(800);
    world.keepWindow(QString::fromUtf8(name));
  }
}

}  // namespace
}  // namespace lumora::test
