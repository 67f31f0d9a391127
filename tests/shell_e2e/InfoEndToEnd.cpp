// The information pages' links and windows in the real program: a "qnavigation" link brings the
// VPN up through real v2ray nodes and opens its address once, and the payment and support pages
// open in the program's own web windows at their sizes, never in the desktop's browser.
#include <gtest/gtest.h>

#include <QQuickWindow>

#include <algorithm>
#include <cstdlib>

#include "services/connection/ConnectionController.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/WireCipher.h"
#include "ui/info/ModalWindows.h"

namespace lumora::test {
namespace {

using tarnel::ConnectionController;
using tarnel::test::CannedReply;
using tarnel::test::LoopbackHttpServer;
using tarnel::test::ReceivedRequest;

// Lets the program run for `ms` (the connect switch ignores a second click within a second).
void runFor(int ms) { waitFor([] { return false; }, ms); }

bool libraryConnected() { return ConnectionController::shared().phase() == ConnectionController::Phase::connected; }

// A plain HTTP server of web pages on loopback; each page names itself in its title.
class Pages {
 public:
  explicit Pages(std::string body) : server_(std::nullopt, "127.0.0.1") {
    server_.setHandler([body = std::move(body)](const ReceivedRequest&) {
      CannedReply reply = CannedReply::text(200, body);
      reply.headers = {{"Content-Type", "text/html; charset=utf-8"}};
      return reply;
    });
  }
  QString url(const char* path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.port()).arg(path); }

 private:
  LoopbackHttpServer server_;
};

QObject* pageOf(QQuickWindow* window) { return window ? window->findChild<QObject*>(QStringLiteral("webPage")) : nullptr; }

int timesOpened(const AppWorld& world, const QUrl& url) {
  const auto& opened = world.desktopOpened();
  return int(std::count(opened.begin(), opened.end(), url));
}

TEST(InfoEndToEnd, AQnavigationLinkBringsTheVpnUpAndOpensItsAddressOnceNeverLater) {
  // No desktop's proxy settings are touched outside this test's own session.
  setenv("GSETTINGS_BACKEND", "memory", 1);
  AppWorld world;
  ASSERT_TRUE(world.start());
  NodeWorld nodes(world, {{"A"}});
  ASSERT_TRUE(world.signInToHome());
  ASSERT_EQ(world.text("statusText"), "Disconnected");

  Pages pages(
      "<html><head><title>offer</title></head><body>"
      "<a id='go' href='qnavigation://https//offer.test/deal?from=notice'>deal</a></body></html>");
  auto* windows = SharedInstance<ModalWindows>::get();
  ASSERT_NE(windows, nullptr);
  windows->openModalWindow(ModalWindowType::notice, true, QStringLiteral("notice"), pages.url("/offer"), 400, 660);
  QObject* page = pageOf(windows->window(ModalWindowType::notice));
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(waitFor([&] { return page->property("title").toString() == QStringLiteral("offer"); }));

  ASSERT_TRUE(QMetaObject::invokeMethod(page, "runJavaScript",
                                        Q_ARG(QString, QStringLiteral("document.getElementById('go').click()"))));
  // The link acts at once: the VPN comes up through the node, then the address opens.
  ASSERT_TRUE(waitFor([&] { return libraryConnected() && world.text("statusText") == "Connected"; }, 60000))
      << "the link did not bring the VPN up: " << world.text("statusText").toStdString();
  const QUrl target(QStringLiteral("https://offer.test/deal?from=notice"));
  ASSERT_TRUE(waitFor([&] { return timesOpened(world, target) == 1; }));
  EXPECT_EQ(windows->window(ModalWindowType::notice)->isVisible(), true);

  // Later connections the user makes never open it again.
  runFor(1100);
  ASSERT_TRUE(world.click("connectArea"));
  ASSERT_TRUE(waitFor([&] { return world.text("statusText") == "Disconnected"; }));
  runFor(1100);
  ASSERT_TRUE(world.click("connectArea"));
  ASSERT_TRUE(waitFor([&] { return libraryConnected() && world.text("statusText") == "Connected"; }, 60000));
  runFor(1000);
  EXPECT_EQ(timesOpened(world, target), 1);
  EXPECT_EQ(world.desktopOpened().size(), 1u);
  ConnectionController::shared().disconnect();
}

TEST(InfoEndToEnd, PaymentAndSupportOpenInTheProgramsOwnWindowsNeverTheDesktopBrowser) {
  // Where the service's pages live: a server on loopback, so that no page load leaves it.
  Pages pages("<html><head><title>service page</title></head><body>page</body></html>");
  AppWorld world;
  // The service names its payment and support hosts: this test's page server.
  const QUrl base(pages.url(""));
  const std::string host = base.host().toStdString() + ":" + std::to_string(base.port());
  auto discovery = tarnel::test::wire::discoveryBody(tarnel::test::ServiceTestBed::kApiDomain,
                                                     {world.bed().address(AppWorld::kServiceAddress)});
  discovery["urls"]["custom"] = host;
  discovery["urls"]["pay_cdn2"] = tarnel::test::WireJson::array({host});
  world.service().setDiscovery(discovery);
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(world.signInToHome());
  auto* windows = SharedInstance<ModalWindows>::get();
  ASSERT_NE(windows, nullptr);

  struct Case {
    const char* button;
    ModalWindowType type;
    QSize size;
    const char* path;
  } cases[] = {
      {"homeRecharge", ModalWindowType::pay, QSize(1024, 768), "/pay/order/"},
      {"supportPill", ModalWindowType::custom, QSize(400, 660), "/custom/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    ASSERT_TRUE(world.click(QString::fromUtf8(c.button)));
    ASSERT_TRUE(waitFor([&] { return windows->window(c.type) && windows->window(c.type)->isVisible(); }))
        << "no window of its own";
    QQuickWindow* window = windows->window(c.type);
    EXPECT_EQ(window->size(), c.size);
    QObject* page = pageOf(window);
    ASSERT_NE(page, nullptr);
    // The service's page is the window's (a web page of ours: link handling and the clipboard
    // guard apply there).
    const QUrl shown = page->property("pageUrl").toUrl();
    EXPECT_EQ(shown.host(), base.host());
    EXPECT_EQ(shown.port(), base.port());
    EXPECT_EQ(shown.path(), QString::fromUtf8(c.path));
  }
  EXPECT_TRUE(world.desktopOpened().empty()) << world.desktopOpened().front().toString().toStdString();
}

}  // namespace
}  // namespace lumora::test
