// The notice page's model: the list and its failures, opening a notice (read mark, event, the
// notice window, a failed fetch), and "Read All" with and without the poll's list.
#include <gtest/gtest.h>

#include <QQmlEngine>

#include "tests/info/InfoTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/info/ModalWindows.h"
#include "ui/info/NotifyListModel.h"

namespace lumora {
namespace {

tarnel::Notices someNotices() {
  tarnel::Notices list;
  list.notices = {tarnel::Notice(1, "2026-01-01", "First", "", 1, 0), tarnel::Notice(2, "2026-01-02", "Plain", "", 0, 0),
                  tarnel::Notice(3, "2026-01-03", "Third", "", 2, 0)};
  return list;
}

class NoticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<UiObjects>(fakes.services(), AppStateOptions{});
    ui->prepare(engine);
    windows = std::make_unique<ModalWindows>(ui->modalWindows, nullptr);
    windows->setEngine(&engine);
    InfoContext context;
    context.services = fakes.services();
    context.state = ui->state.get();
    context.windows = windows.get();
    context.hasWindow = [] { return true; };
    model = std::make_unique<NotifyListModel>(context, nullptr);
  }
  void TearDown() override { ui->modalWindows.close(ModalWindowType::notice); }

  void loadList() {
    fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", someNotices());
    model->load();
    ASSERT_TRUE(test::waitFor([this] { return model->notices().size() == 3; }));
  }
  std::vector<std::int64_t> read() const { return ui->state->noticesReadIds(); }
  std::vector<std::string> events() { return fakes.cloudLog->events(); }
  bool drained() {
    return test::waitFor([this] { return fakes.cloudLog->script.calls("onEvent").size() >= expectedEvents; });
  }

  QQmlEngine engine;  // outlives the windows made in it
  FakeServices fakes;
  std::unique_ptr<UiObjects> ui;
  std::unique_ptr<ModalWindows> windows;
  std::unique_ptr<NotifyListModel> model;
  size_t expectedEvents = 0;
};

TEST_F(NoticeTest, AFailedListLoadKeepsTheListShown) {
  loadList();
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", std::nullopt);
  model->load();
  ASSERT_TRUE(test::waitFor([this] { return fakes.notices->script.calls("notices").size() == 2; }));
  test::spin(50);
  EXPECT_EQ(model->notices().size(), 3u);
  fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", tarnel::Notices{});
  model->load();
  ASSERT_TRUE(test::waitFor([this] { return model->notices().empty(); }));
}

TEST_F(NoticeTest, OpeningANoticeMarksItOnceRecordsItAndShowsItsTextInTheNoticeWindow) {
  loadList();
  fakes.notices->script.answer<std::optional<std::string>>("notice", std::string("<p>Hello</p>"));
  model->open(1);
  EXPECT_EQ(read(), (std::vector<std::int64_t>{1})) << "marked at once, before the window";
  ASSERT_TRUE(test::waitFor([this] { return windows->window(ModalWindowType::notice) != nullptr; }));
  auto* first = windows->window(ModalWindowType::notice);
  EXPECT_EQ(first->title(), QStringLiteral("First"));
  EXPECT_EQ(fakes.settings->value(tarnel::StoreKeys::NOTICE_IDS)->integerList(), (std::vector<std::int64_t>{1}));

  model->open(1);  // again: no second mark, and the window is replaced
  ASSERT_TRUE(test::waitFor([&] { return windows->window(ModalWindowType::notice) != first; }));
  EXPECT_EQ(read(), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(ui->modalWindows.openCount(), 1);

  model->open(2);  // type 0: nothing at all
  expectedEvents = 2;
  ASSERT_TRUE(drained());
  test::spin(50);
  EXPECT_EQ(read(), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(events(), (std::vector<std::string>{"BULLETIN_LIST_CLICK", "BULLETIN_LIST_CLICK"}));
  EXPECT_EQ(fakes.notices->script.calls("notice").size(), 2u);
}

TEST_F(NoticeTest, ANoticeWhoseTextCouldNotBeFetchedOpensNoWindowAndStaysUnread) {
  loadList();
  ui->state->setNoticesReadIds({3});
  fakes.notices->script.answer<std::optional<std::string>>("notice", std::nullopt);
  model->open(1);
  ASSERT_TRUE(test::waitFor([this] { return read() == std::vector<std::int64_t>{3}; }));
  model->open(3);  // already read before: stays read
  ASSERT_TRUE(test::waitFor([this] { return fakes.notices->script.calls("notice").size() == 2; }));
  test::spin(50);
  EXPECT_EQ(read(), (std::vector<std::int64_t>{3}));
  EXPECT_EQ(windows->window(ModalWindowType::notice), nullptr);
}

TEST_F(NoticeTest, ReadAllAddsThePollsAndTheShownIdsToTheMarksItNeverDropsAny) {
  struct Case {
    const char* what;
    std::vector<std::int64_t> earlier;
    std::vector<std::int64_t> poll;
    bool listShown;
    std::vector<std::int64_t> expected;
    bool hasNotices;
  } cases[] = {
      {"poll's list, nothing on screen", {9}, {1, 4}, false, {9, 1, 4}, false},
      {"no poll answer yet, nothing on screen", {9}, {}, false, {9}, false},
      {"no poll answer yet, the list shown", {9}, {}, true, {9, 1, 2, 3}, false},
      {"both, overlapping", {2}, {2, 5}, true, {2, 5, 1, 3}, false},
  };
  for (const auto& c : cases) {
    InfoContext context;
    context.services = fakes.services();
    context.state = ui->state.get();
    context.windows = windows.get();
    context.hasWindow = [] { return true; };
    model = std::make_unique<NotifyListModel>(context, nullptr);
    if (c.listShown) loadList();
    ui->state->setAllNotices(c.poll);
    ui->state->setNoticesReadIds(c.earlier);
    model->readAll();
    EXPECT_EQ(read(), c.expected) << c.what;
    EXPECT_EQ(ui->state->hasNotices(), c.hasNotices) << c.what;
  }
  expectedEvents = 4;
  ASSERT_TRUE(drained());
  EXPECT_EQ(events().back(), "BULLETIN_READED");
}

}  // namespace
}  // namespace lumora
