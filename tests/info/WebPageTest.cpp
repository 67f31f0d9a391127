// Links from web pages and the clipboard guard: which schemes open, what the opener is handed,
// "qnavigation" waiting for the connection, and the guard's clearing, single warning and stop.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "tests/info/InfoTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/info/LinkPolicy.h"
#include "ui/info/WebPageController.h"

namespace lumora {
namespace {

const QString kAddress = QStringLiteral("TQn9Y2khEsLJW1ChVWFMSMeRDow5KcbLSE");  // T + 33
const QString kOther = QStringLiteral("TXYZ9Y2khEsLJW1ChVWFMSMeRDow5KcbLS");

TEST(LinkPolicyTest, OnlyWebAddressesLeaveAPage) {
  struct Case {
    const char* link;
    bool click;
    LinkAction action;
    const char* target;
  } cases[] = {
      {"systembrowser://https//example.com/a?b=1", true, LinkAction::openInBrowser, "https://example.com/a?b=1"},
      {"systembrowser://http//example.com/", true, LinkAction::openInBrowser, "http://example.com/"},
      {"systembrowser://https://example.com/x", true, LinkAction::openInBrowser, "https://example.com/x"},
      {"qnavigation://https//site.test/p?q=2", true, LinkAction::openWhenConnected, "https://site.test/p?q=2"},
      {"systembrowser://file:///etc/passwd", true, LinkAction::refuse, ""},
      {"systembrowser://smb//host/share", true, LinkAction::refuse, ""},
      {"systembrowser://javascript:alert(1)", true, LinkAction::refuse, ""},
      {"systembrowser://", true, LinkAction::refuse, ""},
      {"qnavigation://ftp//host/file", true, LinkAction::refuse, ""},
      {"https://example.com/in-page", true, LinkAction::allow, ""},
      {"http://example.com/", true, LinkAction::allow, ""},
      {"file:///etc/passwd", true, LinkAction::refuse, ""},
      {"smb://host/share", true, LinkAction::refuse, ""},
      {"javascript:alert(1)", true, LinkAction::refuse, ""},
      {"mailto:a@b.test", true, LinkAction::refuse, ""},
      {"tg://socks?server=1", true, LinkAction::refuse, ""},
      {"systembrowser://https//example.com/", false, LinkAction::allow, ""},  // not a click
  };
  for (const auto& c : cases) {
    const LinkDecision d = decideLink(QUrl(QString::fromUtf8(c.link)), c.click);
    EXPECT_EQ(d.action, c.action) << c.link;
    if (c.target[0] != '\0') {
      EXPECT_EQ(d.target, QUrl(QString::fromUtf8(c.target))) << c.link;
    }
  }
  EXPECT_EQ(decideLink(QUrl(QStringLiteral("qnavigation://https//site.test/p?q=2")), true).eventValue,
            QStringLiteral("https://site.test/p"));
}

// Stands for the desktop clipboard's change notice.
class ClipboardNotice : public QObject {
  Q_OBJECT
 signals:
  void changed();
};

class WebPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    context.services = fakes.services();
    context.state = ui->state.get();
    context.connect = [this](std::function<void()> onConnected) {
      ++connects;
      // The toggle's action for its own attempt; the next toggle replaces it.
      attemptAction = std::move(onConnected);
    };
    context.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return true;
    };
    context.openClipboardWarning = [this] { ++warnings; };
    context.clipboardText = [this] {
      ++clipboardReads;
      return clipboard;
    };
    context.watchClipboard = [this](QObject* receiver, std::function<void()> changed) {
      return QObject::connect(&clipboardNotice, &ClipboardNotice::changed, receiver, std::move(changed));
    };
    context.clearClipboard = [this] { clipboard.clear(); };
    context.hasWindow = [] { return true; };
    page = std::make_unique<WebPageController>(context, nullptr);
  }
  static QString pageWith(const QString& address) {
    return QStringLiteral("<html><body><p>Pay to</p><b>") + address + QStringLiteral("</b></body></html>");
  }

  FakeServices fakes;
  std::unique_ptr<UiObjects> ui;
  int connects = 0;
  std::function<void()> attemptAction;
  InfoContext context;
  std::unique_ptr<WebPageController> page;
  std::vector<QUrl> opened;
  int warnings = 0;
  QString clipboard;
  int clipboardReads = 0;
  ClipboardNotice clipboardNotice;
  // Another program puts `text` on the clipboard.
  void copied(const QString& text) {
    clipboard = text;
    emit clipboardNotice.changed();
  }
};

TEST_F(WebPageTest, TheOpenerIsHandedOnlyHttpAndHttpsAddresses) {
  const char* links[] = {"systembrowser://file:///etc/passwd", "systembrowser://smb//h/s",
                         "systembrowser://javascript:alert(1)", "file:///etc/passwd", "smb://h/s", "data:text/html,x"};
  for (const char* link : links) EXPECT_FALSE(page->accepts(QUrl(QString::fromUtf8(link)), true)) << link;
  EXPECT_TRUE(opened.empty());
  EXPECT_FALSE(page->accepts(QUrl(QStringLiteral("systembrowser://https//example.com/a")), true));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.com/a")));
  EXPECT_TRUE(page->accepts(QUrl(QStringLiteral("https://example.com/next")), true));
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(WebPageTest, AQnavigationLinkOpensOnceItsOwnAttemptIsUpAndNeverLater) {
  // Disconnected: the link starts an attempt whose success opens the address.
  ui->state->setVpnStatus(helmsey::VPNStatus::disconnected);
  EXPECT_FALSE(page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/p?x=1")), true));
  EXPECT_EQ(connects, 1);
  EXPECT_TRUE(opened.empty());
  ui->state->setVpnStatus(helmsey::VPNStatus::connecting);
  ui->state->setVpnStatus(helmsey::VPNStatus::connected);
  EXPECT_TRUE(opened.empty()) << "opened by a status change rather than by its attempt";
  ASSERT_TRUE(attemptAction);
  attemptAction();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://site.test/p?x=1")));
  // Its page gone, the attempt still opens the address.
  ui->state->setVpnStatus(helmsey::VPNStatus::disconnected);
  EXPECT_FALSE(page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/gone")), true));
  page.reset();
  attemptAction();
  ASSERT_EQ(opened.size(), 2u);
  page = std::make_unique<WebPageController>(context, nullptr);

  // Connected: opens at once, no attempt.
  ui->state->setVpnStatus(helmsey::VPNStatus::connected);
  EXPECT_FALSE(page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/q")), true));
  EXPECT_EQ(opened.size(), 3u);
  EXPECT_EQ(connects, 2);

  // Connecting: waits for the attempt under way, which fails: nothing opens when a later
  // connection comes up.
  ui->state->setVpnStatus(helmsey::VPNStatus::connecting);
  page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/r")), true);
  ui->state->setVpnStatus(helmsey::VPNStatus::disconnected);
  ui->state->setVpnStatus(helmsey::VPNStatus::connecting);
  ui->state->setVpnStatus(helmsey::VPNStatus::connected);
  EXPECT_EQ(opened.size(), 3u);
  // Connecting, and that attempt comes up: opens.
  ui->state->setVpnStatus(helmsey::VPNStatus::connecting);
  page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/s")), true);
  ui->state->setVpnStatus(helmsey::VPNStatus::connected);
  ASSERT_EQ(opened.size(), 4u);
  EXPECT_EQ(opened[3], QUrl(QStringLiteral("https://site.test/s")));
  EXPECT_EQ(connects, 2);

  ASSERT_TRUE(test::waitFor([this] { return fakes.cloudLog->events().size() == 5; }));
  EXPECT_EQ(fakes.cloudLog->script.calls("onEvent")[0].arguments.at(1), "https://site.test/p");
}

// Without a way to connect (no front given), a link while disconnected opens nothing, then or later.
TEST_F(WebPageTest, WithoutAConnectionFrontAQnavigationLinkNeverFiresLater) {
  context.connect = nullptr;
  page = std::make_unique<WebPageController>(context, nullptr);
  ui->state->setVpnStatus(helmsey::VPNStatus::disconnected);
  EXPECT_FALSE(page->accepts(QUrl(QStringLiteral("qnavigation://https//site.test/p")), true));
  ui->state->setVpnStatus(helmsey::VPNStatus::connecting);
  ui->state->setVpnStatus(helmsey::VPNStatus::connected);
  test::spin(20);
  EXPECT_TRUE(opened.empty());
}

TEST_F(WebPageTest, TheGuardClearsTheClipboardThenWarnsOnceForAnotherAddress) {
  EXPECT_EQ(WebPageController::pageAddress(pageWith(kAddress)), kAddress);
  clipboard = kOther;
  page->scanPage(pageWith(kAddress));
  EXPECT_TRUE(clipboard.isEmpty()) << "an address on the clipboard at load is cleared";
  ASSERT_TRUE(page->guarding());
  clipboard = kAddress;  // the page's own address: fine
  page->checkClipboard();
  clipboard = QStringLiteral("hello");
  page->checkClipboard();
  EXPECT_EQ(warnings, 0);
  clipboard = kOther;
  page->checkClipboard();
  EXPECT_EQ(warnings, 1);
  EXPECT_FALSE(page->guarding());
}

TEST_F(WebPageTest, APageWithoutAnAddressStartsNoGuardAndLeavesTheClipboard) {
  clipboard = kOther;
  page->scanPage(QStringLiteral("<p>no address here: T123</p> TQn9Y2khEsLJW1ChVWFMSMeRDow5KcbLSE"));
  EXPECT_FALSE(page->guarding());
  EXPECT_EQ(clipboard, kOther);
  page->scanPage(QVariant());  // the script gave no text
  EXPECT_FALSE(page->guarding());
}

TEST_F(WebPageTest, TheGuardStopsWithItsWindowAndWithTheNextPage) {
  page->scanPage(pageWith(kAddress));
  ASSERT_TRUE(page->guarding());
  page->pageLoaded();
  EXPECT_FALSE(page->guarding());
  page->scanPage(pageWith(kAddress));
  ASSERT_TRUE(page->guarding());
  page->setActive(false);  // the window closed
  EXPECT_FALSE(page->guarding());
  copied(kOther);
  EXPECT_EQ(warnings, 0);
}

TEST_F(WebPageTest, TheGuardReadsTheClipboardOnlyWhenItChangesAndWarnsAtOnce) {
  page->scanPage(pageWith(kAddress));
  ASSERT_TRUE(page->guarding());
  const int readsAtLoad = clipboardReads;
  test::spin(1500);
  EXPECT_EQ(clipboardReads, readsAtLoad) << "an unchanged clipboard is never read";
  copied(QStringLiteral("hello"));
  EXPECT_EQ(clipboardReads, readsAtLoad + 1);
  EXPECT_EQ(warnings, 0);
  copied(kOther);
  EXPECT_EQ(warnings, 1) << "warned as the change came, not on a later tick";
  copied(QStringLiteral("T") + QString(33, QLatin1Char('q')));
  EXPECT_EQ(warnings, 1) << "once per page load";
}

TEST_F(WebPageTest, TheGuardHearsTheDesktopClipboardChange) {
  InfoContext desktop = context;
  desktop.clipboardText = nullptr;
  desktop.clearClipboard = nullptr;
  desktop.watchClipboard = nullptr;
  WebPageController guard(desktop, nullptr);
  QGuiApplication::clipboard()->setText(kOther);
  guard.scanPage(pageWith(kAddress));
  EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty()) << "an address on the clipboard at load is cleared";
  QGuiApplication::clipboard()->setText(kOther);
  // Heard from the change itself: the events it brought are handled, with no time given for a
  // poll's timer to come round.
  for (int pass = 0; pass < 10; ++pass) QCoreApplication::processEvents();
  EXPECT_EQ(warnings, 1) << "no wait for a poll";
  EXPECT_FALSE(guard.guarding());
}

}  // namespace
}  // namespace lumora

#include "WebPageTest.moc"
