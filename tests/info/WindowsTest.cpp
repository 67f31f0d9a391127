// The secondary windows: one per kind, closing by kind, an address that does not parse, and a
// real web page from a loopback server whose links reach the desktop opener only as http(s).
#include <gtest/gtest.h>
#include <httplib.h>

#include <QQmlEngine>
#include <QQuickWindow>

#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "tests/info/InfoTestSupport.h"
#include "tests/support/LoopbackListener.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/info/InfoActions.h"
#include "ui/info/ModalWindows.h"

namespace lumora {
namespace {

// A plain HTTP page server on loopback, on a port of its own.
class PageServer {
 public:
  explicit PageServer(std::string page) : page_(std::move(page)) {
    server_.Get("/.*", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(page_, "text/html; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~PageServer() {
    server_.stop();
    thread_.join();
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1/page").arg(port_); }

 private:
  std::string page_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    ui->prepare(engine);
    windows = std::make_unique<ModalWindows>(ui->modalWindows, nullptr);
    windows->setEngine(&engine);
    context.services = fakes.services();
    context.state = ui->state.get();
    context.windows = windows.get();
    context.hasWindow = [] { return true; };
    context.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return true;
    };
    SharedInstance<InfoContext>::install(&context);
  }
  void TearDown() override {
    for (auto type : kAllModalWindowTypes) ui->modalWindows.close(type);
    test::spin(20);
    SharedInstance<InfoContext>::uninstall(&context);
  }
  int shown() const { return ui->modalWindows.openCount(); }

  FakeServices fakes;
  QQmlEngine engine;  // outlives the windows made in it
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<ModalWindows> windows;
  InfoContext context;
  std::vector<QUrl> opened;
};

TEST_F(WindowsTest, OneWindowPerKindTheNewestWinsAndKindsCloseOnTheirOwn) {
  windows->openModalHtmlWindow(ModalWindowType::pay, true, QStringLiteral("Tarnel Payment"), QStringLiteral("<p>1</p>"),
                               1024, 768);
  QPointer<QQuickWindow> first = windows->window(ModalWindowType::pay);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), QSize(1024, 768));
  windows->openModalHtmlWindow(ModalWindowType::pay, true, QStringLiteral("Tarnel Payment"), QStringLiteral("<p>2</p>"),
                               1024, 768);
  QPointer<QQuickWindow> second = windows->window(ModalWindowType::pay);
  ASSERT_TRUE(second);
  EXPECT_NE(first, second);
  ASSERT_TRUE(test::waitFor([&] { return first.isNull(); })) << "the replaced window is gone";
  EXPECT_EQ(shown(), 1);

  windows->openModalHtmlWindow(ModalWindowType::notice, true, QStringLiteral("A notice"), QStringLiteral("<p>n</p>"),
                               400, 660);
  EXPECT_EQ(shown(), 2);
  EXPECT_EQ(windows->window(ModalWindowType::notice)->size(), QSize(400, 660));
  windows->closeModalWindow(ModalWindowType::pay);
  EXPECT_EQ(shown(), 1);
  EXPECT_NE(windows->window(ModalWindowType::notice), nullptr);
  windows->closeModalWindow(ModalWindowType::shareHelp);  // never opened: nothing happens
  EXPECT_EQ(shown(), 1);

  // Closed by its own close button, then opened again: a new window.
  QPointer<QQuickWindow> notice = windows->window(ModalWindowType::notice);
  notice->close();
  ASSERT_TRUE(test::waitFor([&] { return notice.isNull(); }));
  windows->openModalHtmlWindow(ModalWindowType::notice, true, QStringLiteral("A notice"), QStringLiteral("<p>n</p>"),
                               400, 660);
  EXPECT_EQ(shown(), 1);
}

// At exit no event loop runs again to delete a closed window; a view still loading would then hear
// from the browser engine after its QML engine went.
TEST_F(WindowsTest, TheWindowsGoWithTheObjectThatMadeThemClosedOnesNotYetDeletedToo) {
  windows->openModalHtmlWindow(ModalWindowType::pay, true, QStringLiteral("Tarnel Payment"), QStringLiteral("<p>1</p>"),
                               1024, 768);
  QPointer<QQuickWindow> closed = windows->window(ModalWindowType::pay);
  windows->closeModalWindow(ModalWindowType::pay);
  windows->openModalHtmlWindow(ModalWindowType::notice, true, QStringLiteral("A notice"), QStringLiteral("<p>n</p>"),
                               400, 660);
  QPointer<QQuickWindow> open = windows->window(ModalWindowType::notice);
  ASSERT_TRUE(closed) << "its deletion waits for the event loop";
  ASSERT_TRUE(open);

  windows.reset();
  EXPECT_TRUE(closed.isNull());
  EXPECT_TRUE(open.isNull());
}

TEST_F(WindowsTest, AnAddressThatDoesNotParseOpensAnEmptyPage) {
  windows->openModalWindow(ModalWindowType::custom, true, QStringLiteral("custom title"), QStringLiteral("http://[bad"),
                           400, 660);
  auto* window = windows->window(ModalWindowType::custom);
  ASSERT_NE(window, nullptr);
  auto* page = window->findChild<QObject*>(QStringLiteral("webPage"));
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->property("url").toUrl().isEmpty());
}

TEST_F(WindowsTest, TheLegalLinksOfTheAboutPageOpenOneWindowEach) {
  InfoActions actions(context, QStringLiteral("1.2.0"), QStringLiteral("57"), false, nullptr);
  EXPECT_EQ(actions.versionLine(), QStringLiteral("Ver: 1.2.0.57.official"));
  EXPECT_EQ(InfoActions(context, QStringLiteral("1.2.0"), QStringLiteral("57"), true, nullptr).versionLine(),
            QStringLiteral("Ver: 1.2.0.57.store"));
  actions.openTermsOfService();
  actions.openTermsOfService();
  actions.openPrivacyPolicy();
  EXPECT_EQ(shown(), 2);
  EXPECT_EQ(windows->window(ModalWindowType::service)->title(), QStringLiteral("Terms of Service"));
  actions.openFeedback();
  EXPECT_EQ(ui->state->router()->stack().back(), Route(Route::feedback));
  ASSERT_TRUE(test::waitFor([this] { return fakes.cloudLog->events().size() == 4; }));
  EXPECT_EQ(fakes.cloudLog->events(),
            (std::vector<std::string>{"MENU_ABOUTUS_TERMSOFSERVICE", "MENU_ABOUTUS_TERMSOFSERVICE",
                                      "MENU_ABOUTUS_PRIVACYPOLICY", "MENU_FEEDBACK"}));
}

TEST_F(WindowsTest, ALoopbackPageLoadsAndOnlyItsWebLinksReachTheOpener) {
  PageServer server(
      "<html><head><title>loopback page</title></head><body>"
      "<a id='file' href='systembrowser://file:///etc/passwd'>f</a>"
      "<a id='smb' href='smb://host/share'>s</a>"
      "<a id='js' href='systembrowser://javascript:alert(1)'>j</a>"
      "<a id='web' href='systembrowser://https//example.com/x?y=1'>w</a>"
      "</body></html>");
  windows->openModalWindow(ModalWindowType::service, true, QStringLiteral("Terms of Service"), server.url(), 400, 660);
  auto* window = windows->window(ModalWindowType::service);
  ASSERT_NE(window, nullptr);
  auto* page = window->findChild<QObject*>(QStringLiteral("webPage"));
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(test::waitFor([&] { return page->property("title").toString() == QStringLiteral("loopback page"); }));
  for (const char* id : {"file", "smb", "js", "web"}) {
    ASSERT_TRUE(QMetaObject::invokeMethod(
        page, "runJavaScript", Q_ARG(QString, QStringLiteral("document.getElementById('%1').click(); document.title = 'ran %1'").arg(id))))
        << id;
  }
  // The scripts ran (each names itself in the title once its click is done).
  ASSERT_TRUE(test::waitFor([&] { return page->property("title").toString() == QStringLiteral("ran web"); }));
  ASSERT_TRUE(test::waitFor([this] { return !opened.empty(); }));
  test::spin(300);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.com/x?y=1")));
  EXPECT_EQ(page->property("url").toUrl(), QUrl(server.url())) << "the page did not navigate";
}

// A page whose server takes the connection and never answers: the load is given up after the
// page time-out (a short one here, long enough that the page is seen loading first) instead of
// spinning for ever.
TEST_F(WindowsTest, APageThatNeverLoadsIsGivenUpAfterTheTimeOut) {
  tarnel::test::LoopbackListener silent("127.0.0.1", 0);
  silent.start([](int fd, const std::string&) {
    char buffer[512];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
  });
  context.pageLoadTimeout = std::chrono::seconds(5);
  const QString address = QStringLiteral("http://127.0.0.1:%1/never").arg(silent.port());
  windows->openModalWindow(ModalWindowType::custom, true, QStringLiteral("custom title"), address, 400, 660);
  auto* window = windows->window(ModalWindowType::custom);
  ASSERT_NE(window, nullptr);
  auto* page = window->findChild<QObject*>(QStringLiteral("webPage"));
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(test::waitFor([&] { return silent.connectionCount() >= 1; }));
  EXPECT_TRUE(page->property("loading").toBool());
  // Given up by this page's own time-out: well before the default one (a minute) would end it,
  // however slowly this machine runs the five seconds.
  ASSERT_TRUE(test::waitFor([&] { return !page->property("loading").toBool(); }, 40000)) << "still loading";
  // The window stays open, usable for the user's next link or its close button.
  EXPECT_EQ(windows->window(ModalWindowType::custom), window);
}

}  // namespace
}  // namespace lumora
