#include <gtest/gtest.h>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {
namespace {

using test::spin;
using test::waitFor;

// The three feedback managers, installed as the shared ones for one test.
class FeedbackTest : public ::testing::Test {
 protected:
  FeedbackTest() {
    SharedInstance<ToastManager>::install(&toast);
    SharedInstance<LoadingManager>::install(&loading);
    SharedInstance<DialogManager>::install(&dialog);
  }
  ~FeedbackTest() override {
    SharedInstance<ToastManager>::uninstall(&toast);
    SharedInstance<LoadingManager>::uninstall(&loading);
    SharedInstance<DialogManager>::uninstall(&dialog);
  }

  ToastManager toast{nullptr};
  LoadingManager loading{nullptr};
  DialogManager dialog{nullptr};
};

TEST_F(FeedbackTest, AToastShowsAtOnceAndHidesALifetimeAfterTheLatestShow) {
  EXPECT_FALSE(toast.isShowing());
  EXPECT_EQ(toast.message(), QString());
  EXPECT_EQ(toast.type(), ToastType::info);

  toast.setLifetimeMs(300);
  showToast("first", ToastType::error);
  EXPECT_TRUE(toast.isShowing());
  EXPECT_EQ(toast.background(), QColor(43, 29, 29));
  EXPECT_EQ(toast.foreground(), QColor(245, 108, 108));
  spin(200);
  showToast("second", ToastType::success);
  const auto secondShown = std::chrono::steady_clock::now();
  std::optional<std::chrono::steady_clock::time_point> hidden;
  QObject::connect(&toast, &ToastManager::isShowingChanged, [&] {
    if (!toast.isShowing() && !hidden) hidden = std::chrono::steady_clock::now();
  });
  EXPECT_EQ(toast.message(), "second");
  EXPECT_EQ(toast.foreground(), QColor(103, 194, 58));
  EXPECT_TRUE(waitFor([&] { return !toast.isShowing(); }));
  // A timer never ends early (a coarse one by a twentieth at most), however slowly this machine
  // runs: the first toast's, had it gone on, would have hidden the second sooner than a full
  // lifetime after it was shown.
  ASSERT_TRUE(hidden);
  EXPECT_GE(*hidden - secondShown, std::chrono::milliseconds(270)) << "the first toast's timer hid the second";
  // Hiding keeps the text and the kind.
  EXPECT_EQ(toast.message(), "second");
  EXPECT_EQ(toast.type(), ToastType::success);
}

TEST_F(FeedbackTest, LoadingStaysWhileAnyTaskStillWaits) {
  LoadingTicket a = showLoading("loading_a");
  LoadingTicket b = showLoading("loading_b");
  EXPECT_TRUE(loading.isShowing());
  EXPECT_EQ(loading.message(), "loading_b");
  hideLoading(a);
  EXPECT_TRUE(loading.isShowing()) << "one task's hide uncovered another that still waits";
  EXPECT_EQ(loading.message(), "loading_b");
  hideLoading(a);  // twice is once
  EXPECT_TRUE(loading.isShowing());
  {
    LoadingTicket c = showLoading("loading_c");
    EXPECT_EQ(loading.message(), "loading_c");
  }  // leaving a scope by any path hides its ticket
  EXPECT_EQ(loading.message(), "loading_b");
  hideLoading(b);
  EXPECT_FALSE(loading.isShowing());
  // The label stays as it was when the overlay went.
  EXPECT_EQ(loading.message(), "loading_b");
}

TEST_F(FeedbackTest, ALoadingHideThatOvertakesItsShowLeavesNothingBehind) {
  // A worker shows (posted) and the GUI thread hides the same ticket before the show arrives.
  LoadingTicket ticket;
  std::thread worker([&] { ticket = showLoading("late"); });
  worker.join();
  ticket.hide();
  spin(50);
  EXPECT_FALSE(loading.isShowing());
}

TEST_F(FeedbackTest, HelpersCalledFromAWorkerNeverWaitForTheGuiThread) {
  // The GUI thread waits for a worker that gives feedback: a blocking hand-off would deadlock.
  std::atomic<bool> done{false};
  std::thread worker([&] {
    showToast("from_worker", ToastType::warning);
    LoadingTicket ticket = showLoading("working");
    showDialog("worker_message", "tips_title", true, {}, {});
    ticket.hide();
    done = true;
  });
  // Wait for it without running the GUI thread's events, as a GUI thread joining a worker would;
  // one that blocked on the GUI thread would never be done.
  for (int i = 0; i < 3000 && !done; ++i) QThread::msleep(10);
  const bool finished = done.load();
  worker.join();
  ASSERT_TRUE(finished) << "the worker blocked on the GUI thread";
  EXPECT_FALSE(toast.isShowing());  // posted, not applied yet
  EXPECT_TRUE(waitFor([&] { return toast.isShowing() && dialog.isShow(); }));
  EXPECT_EQ(toast.message(), "from_worker");
  EXPECT_EQ(dialog.text(), "worker_message");
  EXPECT_FALSE(loading.isShowing());
}

TEST_F(FeedbackTest, TheTwoDefaultConfirmButtonsHideAndActInOppositeOrders) {
  std::vector<std::string> order;
  // showDialog's button: the action first, the hiding second.
  showDialog("message", "tips_title", false, {}, [&] { order.push_back(dialog.isShow() ? "action:shown" : "action:hidden"); });
  ASSERT_EQ(dialog.buttons().size(), 1u);
  EXPECT_EQ(dialog.buttons()[0].title, "Confirm");
  EXPECT_TRUE(dialog.buttons()[0].isLight);
  dialog.press(0);
  EXPECT_FALSE(dialog.isShow());

  // The manager's own button: the hiding first, so onConfirm may open a dialog that stays.
  dialog.show({}, "tips_title", true,
              [&] {
                order.push_back(dialog.isShow() ? "confirm:shown" : "confirm:hidden");
                dialog.show({}, "next", false, {}, {}, DialogContent::fromText("next dialog"));
              },
              [&] { order.push_back("cancel"); }, DialogContent::fromText("body"));
  dialog.press(0);
  EXPECT_EQ(order, (std::vector<std::string>{"action:shown", "confirm:hidden"}));
  EXPECT_TRUE(dialog.isShow());
  EXPECT_EQ(dialog.text(), "next dialog");
}

TEST_F(FeedbackTest, ADialogReplacesTheOneOnScreenAndOnlyTheCurrentOnesCallbacksRun) {
  int firstCancel = 0;
  int firstAction = 0;
  int secondCancel = 0;
  dialog.show({{"one", [&] { ++firstAction; }, false}, {"two", [&] { ++firstAction; }, true}}, "tips_title", true, {},
              [&] { ++firstCancel; }, DialogContent::fromText("first"));
  EXPECT_EQ(dialog.buttonList().size(), 2);
  dialog.show({{"a", {}, true}, {"b", {}, true}, {"c", {}, false}}, "other_title", true, {}, [&] { ++secondCancel; },
              DialogContent::fromText("second"));
  EXPECT_EQ(dialog.buttonList().size(), 3);
  EXPECT_EQ(dialog.title(), "other_title");
  // A gray button runs its action only; the dialog stays.
  dialog.press(2);
  EXPECT_TRUE(dialog.isShow());
  dialog.close();
  EXPECT_FALSE(dialog.isShow());
  EXPECT_EQ(firstCancel, 0);
  EXPECT_EQ(firstAction, 0);
  EXPECT_EQ(secondCancel, 1);

  // A caller's body only: no heading, buttons or close button; the cancel event stays.
  dialog.showContent(DialogContent::fromText("content"));
  EXPECT_TRUE(dialog.buttons().empty());
  EXPECT_EQ(dialog.title(), QString());
  EXPECT_FALSE(dialog.showClose());
  dialog.close();
  EXPECT_EQ(secondCancel, 2);
}

// A body of a page's making goes with the page (a page closed, the cache cleared): the dialog
// hides rather than cover the window empty; a dialog that replaced it stays.
TEST_F(FeedbackTest, ADialogHidesWhenThePageThatOwnsItsBodyGoes) {
  QQmlEngine engine;
  for (const bool withHeading : {true, false}) {
    auto* body = new QQmlComponent(&engine);
    int cancels = 0;
    if (withHeading) {
      dialog.show({{"ok", [] {}, true}}, "tips_title", true, {}, [&] { ++cancels; },
                  DialogContent::fromComponent(body));
    } else {
      dialog.showContent(DialogContent::fromComponent(body));
    }
    ASSERT_TRUE(dialog.isShow());
    delete body;
    EXPECT_FALSE(dialog.isShow()) << withHeading;
    EXPECT_EQ(dialog.component(), nullptr);
    EXPECT_TRUE(dialog.buttons().empty());
    dialog.close();
    EXPECT_EQ(cancels, 0);
  }

  auto* body = new QQmlComponent(&engine);
  dialog.showContent(DialogContent::fromComponent(body));
  dialog.show({}, "tips_title", true, {}, {}, DialogContent::fromText("replaces it"));
  delete body;
  EXPECT_TRUE(dialog.isShow());
  EXPECT_EQ(dialog.text(), "replaces it");
}

TEST_F(FeedbackTest, ALocalisationKeyWithoutTextReadsAsItself) {
  EXPECT_EQ(localized("no such key here"), "no such key here");
  EXPECT_EQ(localized(""), "");
}

TEST(WorkersTest, TheResultComesBackOnTheGuiThreadAndIsDroppedWhenItsContextIsGone) {
  auto* context = new QObject;
  std::atomic<bool> ran{false};
  QThread* resultThread = nullptr;
  int result = 0;
  Workers::run(
      context,
      [&] {
        EXPECT_NE(QThread::currentThread(), QCoreApplication::instance()->thread());
        return 42;
      },
      [&](int value) {
        result = value;
        resultThread = QThread::currentThread();
      });
  EXPECT_TRUE(waitFor([&] { return result == 42; }));
  EXPECT_EQ(resultThread, QCoreApplication::instance()->thread());

  std::atomic<bool> release{false};
  Workers::run(
      context,
      [&] {
        while (!release) QThread::msleep(1);
        return 1;
      },
      [&](int) { ran = true; });
  delete context;
  release = true;
  Workers::pool().waitForDone();
  spin(50);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

TEST(WorkerPoolTest, RunsAtMostItsSizeAtOnceEachTaskAtOnceBelowItAndQueuedWorkBeforeItGoes) {
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  std::atomic<int> done{0};
  std::atomic<int> started{0};
  {
    WorkerPool pool(2);
    for (int i = 0; i < 6; ++i) {
      pool.start([&] {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        // The first two wait for each other, so both of the pool's threads surely run at once
        // (a pool that ran one at a time would hold the first here until the bound).
        if (started++ < 2) {
          for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
               most.load() < 2 && std::chrono::steady_clock::now() < until;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --running;
        ++done;
      });
    }
    pool.waitForDone();
    EXPECT_EQ(done.load(), 6);
    pool.start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ++done;
    });
  }  // the pool's end waits for the work it took, within its grace
  EXPECT_EQ(done.load(), 7);
  EXPECT_EQ(most.load(), 2);

  // Tasks started back to back while one thread sits idle: that thread takes one of them, and
  // each of the others gets a thread of its own up to the size, at once. Each task here waits for
  // all of them, so one left in the queue behind a busy thread holds them all until the bound. A
  // pool that counted its idle thread for every task missed only when the thread woke late, so
  // the trial is made afresh until it misses or twenty trials have passed.
  for (int trial = 0; trial < 20 && !::testing::Test::HasFailure(); ++trial) {
    WorkerPool pool(8);
    pool.start([] {});
    pool.waitForDone();  // one thread, idle now
    constexpr int kTogether = 6;
    std::atomic<int> arrived{0};
    std::atomic<int> metTheOthers{0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);  // one bound for all
    for (int i = 0; i < kTogether; ++i) {
      pool.start([&] {
        ++arrived;
        while (arrived.load() < kTogether && std::chrono::steady_clock::now() < until) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (arrived.load() == kTogether) ++metTheOthers;
      });
    }
    pool.waitForDone();
    EXPECT_EQ(metTheOthers.load(), kTogether) << "trial " << trial
                                              << ": a task waited in the queue while the pool had room for a thread";
  }
}

// A task held for good (a drawing stuck inside a library torn down at exit) must not hold the
// pool's end: the pool leaves it behind, drops what it had not started, and the task, once free,
// ends on its own thread without touching the pool that is gone (the sanitizer builds see that).
TEST(WorkerPoolTest, ItsEndLeavesATaskThatDoesNotEndBehindAndDropsWhatItHadNotStarted) {
  // Shared with the held task, which may run its last instructions after the test has moved on.
  struct Hold {
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    bool released = false;
    bool poolGone = false;
    bool ended = false;
    bool laterTaskRan = false;
  };
  const auto hold = std::make_shared<Hold>();
  // Frees the held task if the pool's end still waits long after any grace: the test then fails
  // instead of hanging.
  std::thread watchdog([hold] {
    std::unique_lock lock(hold->mutex);
    if (!hold->changed.wait_for(lock, std::chrono::seconds(120), [&] { return hold->poolGone; })) {
      hold->released = true;
    }
    hold->changed.notify_all();
  });
  {
    WorkerPool pool(1, std::chrono::milliseconds(50));
    pool.start([hold] {
      std::unique_lock lock(hold->mutex);
      hold->holding = true;
      hold->changed.notify_all();
      hold->changed.wait(lock, [&] { return hold->released; });
      hold->ended = true;
      hold->changed.notify_all();
    });
    pool.start([hold] {
      std::lock_guard lock(hold->mutex);
      hold->laterTaskRan = true;
    });
    std::unique_lock lock(hold->mutex);
    hold->changed.wait(lock, [&] { return hold->holding; });
  }
  std::unique_lock lock(hold->mutex);
  EXPECT_FALSE(hold->released) << "the pool's end waited for a task that does not end";
  hold->poolGone = true;
  hold->released = true;
  hold->changed.notify_all();
  hold->changed.wait(lock, [&] { return hold->ended; });
  EXPECT_FALSE(hold->laterTaskRan) << "a task the pool had not started ran after its end";
  lock.unlock();
  watchdog.join();
}

}  // namespace
}  // namespace lumora
