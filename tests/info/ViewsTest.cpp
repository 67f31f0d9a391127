// The pages as QML draws them: the about page by build kind, the notice rows' read marks and
// "Read All", and the download panel's states.
#include <gtest/gtest.h>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

#include "tests/info/InfoTestSupport.h"
#include "tests/support/TestHome.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/info/DownloadManager.h"
#include "ui/info/InfoActions.h"
#include "ui/info/ModalWindows.h"

namespace lumora {
namespace {

class ViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    ui->prepare(engine);
    windows = std::make_unique<ModalWindows>(ui->modalWindows, nullptr);
    context.services = fakes.services();
    context.state = ui->state.get();
    context.windows = windows.get();
    SharedInstance<InfoContext>::install(&context);
    DownloadManager::Options options;
    options.cacheDir = QString::fromStdString(cache.path().string());
    options.fileName = QStringLiteral("u.deb");
    download = std::make_unique<DownloadManager>(options, nullptr);
    SharedInstance<DownloadManager>::install(download.get());
  }
  void TearDown() override {
    SharedInstance<DownloadManager>::uninstall(download.get());
    SharedInstance<InfoContext>::uninstall(&context);
    if (actions) SharedInstance<InfoActions>::uninstall(actions.get());
  }
  void useActions(bool store) {
    if (actions) SharedInstance<InfoActions>::uninstall(actions.get());
    actions = std::make_unique<InfoActions>(context, QStringLiteral("1.2.0"), QStringLiteral("57"), store, nullptr);
    SharedInstance<InfoActions>::install(actions.get());
  }
  std::unique_ptr<QQuickItem> make(const char* type) { return make(engine, type); }
  std::unique_ptr<QQuickItem> make(QQmlEngine& in, const char* type) {
    QQmlComponent component(&in);
    component.setData(QByteArray("import Lumora.Info\n") + type + " {}", QUrl(QStringLiteral("inline.qml")));
    auto* item = qobject_cast<QQuickItem*>(component.create());
    EXPECT_NE(item, nullptr) << component.errorString().toStdString();
    return std::unique_ptr<QQuickItem>(item);
  }
  // Items by name through the visual tree (a repeater's rows are not QObject children).
  static QQuickItem* find(QQuickItem* root, const char* name) {
    if (root->objectName() == QString::fromUtf8(name)) return root;
    for (auto* child : root->childItems())
      if (auto* found = find(child, name)) return found;
    return nullptr;
  }
  static QString text(QQuickItem* root, const char* name) {
    auto* item = find(root, name);
    return item ? item->property("text").toString() : QString();
  }

  tarnel::test::TempDir cache;
  QQmlEngine engine;
  FakeServices fakes;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<ModalWindows> windows;
  std::unique_ptr<DownloadManager> download;
  std::unique_ptr<InfoActions> actions;
  InfoContext context;
};

TEST_F(ViewsTest, TheAboutPageShowsTheOfficialRowAndChannelByBuildKind) {
  for (bool store : {false, true}) {
    useActions(store);
    QQmlEngine own;  // an engine keeps the first instance of a singleton it was given
    ui->prepare(own);
    auto page = make(own, "AboutView");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->findChild<QQuickItem*>(QStringLiteral("officialRow"))->isVisible(), !store);
    EXPECT_EQ(text(page.get(), "versionLine"),
              store ? QStringLiteral("Ver: 1.2.0.57.store") : QStringLiteral("Ver: 1.2.0.57.official"));
  }
}

TEST_F(ViewsTest, NoticeRowsShowTheirReadMarksAndReadAllTurnsThemRead) {
  tarnel::Notices list;
  list.notices = {tarnel::Notice(1, "2026-01-01", "First", "", 1, 0), tarnel::Notice(2, "2026-01-02", "Plain", "", 0, 0)};
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", list);
  ui->state->setNoticesReadIds({2});
  auto page = make("NotifyListView");
  ASSERT_TRUE(page);
  ASSERT_TRUE(test::waitFor([&] { return find(page.get(), "notice_1") != nullptr; }));
  auto mark = [&](const char* row) {
    return find(find(page.get(), row), "readMark")->property("source").toUrl().fileName();
  };
  EXPECT_EQ(mark("notice_1"), QStringLiteral("ic_notice_unread.svg"));
  EXPECT_EQ(mark("notice_2"), QStringLiteral("ic_notice_readed.svg"));
  EXPECT_FALSE(page->findChild<QQuickItem*>(QStringLiteral("emptyNotify"))->isVisible());
  ui->state->setAllNotices({1});
  // The bar's tap runs the model's read-all; here it is called as the tap does.
  QObject* listModel = nullptr;
  for (auto* child : page->children())
    if (QString::fromUtf8(child->metaObject()->className()).startsWith(QStringLiteral("lumora::NotifyListModel")))
      listModel = child;
  ASSERT_NE(listModel, nullptr);
  QMetaObject::invokeMethod(listModel, "readAll");
  EXPECT_EQ(mark("notice_1"), QStringLiteral("ic_notice_readed.svg"));
}

TEST_F(ViewsTest, AnEmptyNoticeListShowsTheEmptyText) {
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", tarnel::Notices{});
  auto page = make("NotifyListView");
  ASSERT_TRUE(page);
  // Shown once the list's answer is in.
  EXPECT_TRUE(test::waitFor([&] {
    auto* empty = page->findChild<QQuickItem*>(QStringLiteral("emptyNotify"));
    return empty && empty->isVisible();
  }));
}

TEST_F(ViewsTest, TheDownloadPanelShowsSpeedThenFailureWithRetryAndDismiss) {
  auto panel = make("DownloadView");
  ASSERT_TRUE(panel);
  EXPECT_FALSE(panel->isVisible());
  download->fail(QStringLiteral("broken"));
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(panel->findChild<QQuickItem*>(QStringLiteral("retryButton"))->isVisible());
  EXPECT_TRUE(panel->findChild<QQuickItem*>(QStringLiteral("dismissButton"))->isVisible());
  EXPECT_FALSE(panel->findChild<QQuickItem*>(QStringLiteral("speedText"))->isVisible());
  download->dismiss();
  EXPECT_FALSE(panel->isVisible());
}

}  // namespace
}  // namespace lumora
