#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QWindow>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QThread>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>
#include <thread>

#include "tests/shell/ShellWorld.h"
#include "ui/base/Feedback.h"
#include "ui/shell/ApplicationDelegate.h"
#include "ui/shell/SingleInstance.h"
#include "ui/shell/TerminationSignals.h"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

// The menu's texts for these keys in the current language ("-" stands for a separator).
QStringList texts(std::initializer_list<const char*> keys) {
  QStringList out;
  for (const char* key : keys) out << (QLatin1String(key) == "-" ? QStringLiteral("-") : localized(QLatin1String(key)));
  return out;
}

TEST(QuitPath, StopsTheVpnBeforeLeavingAndLeavesOnce) {
  ShellWorld world;
  world.quitPath.quit(0);
  world.quitPath.quit(3);  // while leaving: ignored
  ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
  spin(400);  // no second exit follows
  EXPECT_EQ(world.exits, std::vector<int>{0});
  EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
  EXPECT_EQ(world.steps(), (std::vector<std::string>{"cancel", "restore"}));
}

TEST(QuitPath, AStopThatNeverReportsCannotHoldTheProgram) {
  // The bound is long enough for the cancel's thread to have started on a crowded machine, so
  // that the steps keep their order.
  ShellWorld world(1s);
  world.fakes.engine->holdStops(true);
  const auto started = std::chrono::steady_clock::now();
  world.quitPath.quit(0);
  ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
  // The desktop's proxy is put back by the quit path itself when the stop did not report; when
  // the restore outlasts the bound too, it ends after the exit.
  ASSERT_TRUE(waitFor([&] { return world.steps().size() >= 2; }));
  EXPECT_EQ(world.steps(), (std::vector<std::string>{"cancel", "restore"}));
  // The late report changes nothing.
  world.fakes.engine->completeStops();
  spin(50);
  EXPECT_EQ(world.exits, std::vector<int>{0});
}

TEST(QuitPath, RestartStopsLetsGoOfTheInstanceThenStartsAnew) {
  ShellWorld world;
  world.quitPath.restart();
  ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
  EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
  EXPECT_EQ(world.steps(), (std::vector<std::string>{"cancel", "restore", "release", "relaunch"}));
  EXPECT_EQ(world.exits, std::vector<int>{0});
}

// The way out when the event loop cannot be returned to (the display went away): the quit path's
// steps in order, each within the bound even when it never ends, then the process's end, once.
TEST(QuitPath, LeavingNowTakesItsStepsWithinTheirBoundsAndEndsTheProcessOnce) {
  struct Case {
    const char* name;
    bool stopHeld;     // the engine never reports the stop
    bool restoreHeld;  // putting the desktop back never ends
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {"every step ends", false, false, {"cancel", "restore", "written", "end 1"}},
      {"the stop never reports", true, false, {"cancel", "restore", "written", "end 1"}},
      {"the restore never ends", false, true, {"cancel", "restore", "end 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServices fakes;
    fakes.engine->holdStops(c.stopHeld);
    struct Record {
      std::mutex mutex;
      std::vector<std::string> order;
      std::promise<void> release;
      std::shared_future<void> released = release.get_future().share();
      void add(std::string step) {
        std::lock_guard lock(mutex);
        order.push_back(std::move(step));
      }
    };
    const auto record = std::make_shared<Record>();
    QuitPath::Actions actions;
    actions.exit = [record](int) { record->add("event loop"); };
    actions.cancelConnection = [record] { record->add("cancel"); };
    actions.restoreSystemProxy = [record, held = c.restoreHeld] {
      record->add("restore");
      if (held) record->released.wait();
    };
    actions.beforeExit = [record] { record->add("written"); };
    actions.endProcess = [record](int code) { record->add("end " + std::to_string(code)); };
    // A step that ends is never cut short by the bound; one held for good waits it out.
    QuitPath quitPath(fakes.engine, actions, c.stopHeld || c.restoreHeld ? 500ms : 60s);
    // A second caller (another thread that found the display gone) waits for the first and ends
    // the process too, without running the steps again.
    std::thread second([&] {
      while (true) {
        {
          std::lock_guard lock(record->mutex);
          if (!record->order.empty()) break;
        }
        std::this_thread::sleep_for(1ms);
      }
      quitPath.leaveNow(1);
    });
    quitPath.leaveNow(1);
    second.join();
    std::vector<std::string> order;
    {
      std::lock_guard lock(record->mutex);
      order = record->order;
    }
    std::vector<std::string> expected = c.order;
    expected.push_back("end 1");
    EXPECT_EQ(order, expected);
    EXPECT_EQ(fakes.engine->script.count("stopVPN"), 1u);
    record->release.set_value();
    fakes.engine->completeStops();
  }
}

// The signals a log-out, a shutdown and Ctrl-C send leave through the quit path, once.
TEST(QuitPath, TerminationSignalsLeaveThroughIt) {
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
    ShellWorld world;
    TerminationSignals termination;
    ASSERT_TRUE(termination.isActive());
    QObject::connect(&termination, &TerminationSignals::received, &world.quitPath, [&] { world.quitPath.quit(0); });
    ::raise(number);
    ::raise(number);  // a second one while leaving changes nothing
    ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); })) << number;
    spin(50);
    EXPECT_EQ(world.exits, std::vector<int>{0});
    EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
    EXPECT_EQ(world.steps(), (std::vector<std::string>{"cancel", "restore"}));
  }
}

// The tunnel-mode notices whose Confirm and close button end the program say so, in every
// language.
TEST(QuitPath, NoticesThatQuitSaySoInEveryLanguage) {
  ShellWorld world;
  struct Case {
    const char* language;
    const char* quits;
  };
  for (const Case c : {Case{"en", "Tarnel quits"}, Case{"zh-Hans", "Tarnel 将退出"}, Case{"zh-Hant", "Tarnel 將結束"}}) {
    world.ui.state->setCurrentLanguage(QString::fromLatin1(c.language));
    for (const char* key : {"drag and drop app to applications", "system_extension_reboot"}) {
      EXPECT_TRUE(localized(QString::fromLatin1(key)).contains(QString::fromUtf8(c.quits)))
          << c.language << ": " << key << ": " << localized(QString::fromLatin1(key)).toStdString();
    }
  }
  world.ui.state->setCurrentLanguage(QStringLiteral("en"));
}

struct DelegateWorld : ShellWorld {
  explicit DelegateWorld(bool tray, bool dark = false)
      : delegate(*ui.state, quitPath, hooks(tray, dark)) {
    window.resize(100, 100);
    window.show();
    delegate.attachWindow(&window);
  }
  ApplicationDelegate::Hooks hooks(bool tray, bool dark) {
    ApplicationDelegate::Hooks h;
    h.trayAvailable = [tray] { return tray; };
    h.darkPanel = [dark] { return dark; };
    h.toggleConnection = [this] { toggles++; };
    h.checkUpdate = [this](bool manual) { updateChecks.push_back(manual); };
    return h;
  }
  QStringList menuTitles() {
    QStringList titles;
    for (QAction* action : delegate.statusMenu()->actions()) {
      titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return titles;
  }
  // Sends the window's close button as the window system does; true when the window may close.
  bool pressClose() {
    QCloseEvent event;
    QCoreApplication::sendEvent(&window, &event);
    return event.isAccepted();
  }

  QWindow window;
  int toggles = 0;
  std::vector<bool> updateChecks;
  ApplicationDelegate delegate;
};

TEST(ApplicationDelegate, TrayMenuFollowsStatusAndPanel) {
  struct Case {
    helmsey::VPNStatus status;
    bool dark;
    const char* icon;
    const char* second;
  };
  for (const Case c : {Case{helmsey::VPNStatus::connected, false, "ic_status_bar_white_connected", "disconnect"},
                       Case{helmsey::VPNStatus::connected, true, "ic_status_bar_black_connected", "disconnect"},
                       Case{helmsey::VPNStatus::disconnected, false, "ic_status_bar_white_disconnect", "connect"},
                       Case{helmsey::VPNStatus::connecting, true, "ic_status_bar_black_disconnect", "connect"}}) {
    DelegateWorld world(true, c.dark);
    world.ui.state->setVpnStatus(c.status);
    EXPECT_EQ(world.delegate.statusIconName(), QString::fromLatin1(c.icon));
    EXPECT_EQ(world.menuTitles(), texts({"hide", c.second, "Check For Updates", "Language", "about", "-", "quit"}));
  }
}

TEST(ApplicationDelegate, StatusSettingAddsAndRemovesTheTrayItem) {
  DelegateWorld world(true);
  EXPECT_TRUE(world.delegate.hasStatusItem());
  world.ui.state->setStatus(false);
  EXPECT_FALSE(world.delegate.hasStatusItem());
  EXPECT_EQ(world.delegate.statusMenu(), nullptr);
  world.ui.state->setStatus(true);
  EXPECT_TRUE(world.delegate.hasStatusItem());
}

TEST(ApplicationDelegate, MenuActionsReachTheirTargets) {
  DelegateWorld world(true);
  const auto actions = world.delegate.statusMenu()->actions();
  actions[1]->trigger();  // connect
  actions[2]->trigger();  // check for updates
  EXPECT_EQ(world.toggles, 1);
  EXPECT_EQ(world.updateChecks, std::vector<bool>{true});

  // The language submenu checks the current language and switches it.
  QMenu* languages = actions[3]->menu();
  ASSERT_NE(languages, nullptr);
  ASSERT_EQ(languages->actions().size(), 3);
  languages->actions()[1]->trigger();
  EXPECT_EQ(world.ui.state->currentLanguage(), QStringLiteral("zh-Hans"));
  const auto rebuilt = world.delegate.statusMenu()->actions()[3]->menu()->actions();
  EXPECT_TRUE(rebuilt[1]->isChecked());
  EXPECT_FALSE(rebuilt[0]->isChecked());

  world.delegate.statusMenu()->actions().back()->trigger();  // quit
  ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
  EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
}

// A tray action that changes what the menu shows (the window's visibility, the language) is
// delivered by the menu itself: the menu and the action must still be there when it returns.
TEST(ApplicationDelegate, TrayActionsLeaveTheirMenuInPlace) {
  DelegateWorld world(true);
  QMenu* menu = world.delegate.statusMenu();
  QMenu* languages = menu->actions()[3]->menu();
  ASSERT_NE(languages, nullptr);
  QList<QAction*> changing{menu->actions()[0], menu->actions()[0]};  // hide, then show
  changing += languages->actions();
  changing += languages->actions()[0];  // the current language chosen again
  for (QAction* action : changing) {
    QPointer<QAction> guard(action);
    QPointer<QMenu> menuGuard(menu);
    action->trigger();
    ASSERT_TRUE(guard && menuGuard) << "the menu went while its action was delivered";
    EXPECT_EQ(world.delegate.statusMenu(), menu);
  }
  // Each choice left exactly its own language checked, the one chosen twice included.
  for (QAction* item : languages->actions()) EXPECT_EQ(item->isChecked(), item->data().toString() == "en");
  EXPECT_EQ(world.ui.state->currentLanguage(), QStringLiteral("en"));
  EXPECT_EQ(world.menuTitles().first(), localized(QStringLiteral("hide")));
}

// Whoever hears of a language change (the tray menu, the home footer) reads the new texts.
TEST(ApplicationDelegate, ALanguageSwitchIsAnnouncedWithItsTextsInPlace) {
  DelegateWorld world(true);
  const QString english = localized(QStringLiteral("quit"));
  QStringList heard;
  QObject::connect(world.ui.state.get(), &AppStateManager::currentLanguageChanged,
                   [&] { heard << qtTrId("quit"); });
  for (const char* code : {"zh-Hant", "zh-Hans", "en"}) {
    world.ui.state->setCurrentLanguage(QString::fromLatin1(code));
    const QString now = localized(QStringLiteral("quit"));
    EXPECT_EQ(heard.last(), now) << code;
    EXPECT_EQ(world.menuTitles().last(), now) << code;
    EXPECT_EQ(world.delegate.statusMenu()->actions()[3]->text(), localized(QStringLiteral("Language"))) << code;
  }
  EXPECT_EQ(heard.size(), 3);
  EXPECT_NE(heard[0], english);
  EXPECT_NE(heard[1], heard[0]);
  EXPECT_EQ(heard[2], english);
}

// Status changes reuse the icons already made: nothing a status change draws stays behind.
TEST(ApplicationDelegate, StatusIconsAreMadeOnceAndReused) {
  for (const bool dark : {false, true}) {
    DelegateWorld world(true, dark);
    QSet<qint64> shown;
    for (int i = 0; i < 200; ++i) {
      world.ui.state->setVpnStatus(i % 2 ? helmsey::VPNStatus::connected : helmsey::VPNStatus::disconnected);
      shown.insert(world.delegate.statusIcon().cacheKey());
    }
    EXPECT_EQ(shown.size(), 2);
    EXPECT_EQ(world.delegate.statusIconsMade(), 2);
  }
}

struct CloseCase {
  const char* policy;
  bool tray;
  enum Result { quits, hides, minimises } result;
};

class ClosePolicy : public ::testing::TestWithParam<CloseCase> {};

TEST_P(ClosePolicy, TheWindowIsNeverOutOfReach) {
  const CloseCase c = GetParam();
  DelegateWorld world(c.tray);
  world.ui.state->setCloseEvent(QString::fromLatin1(c.policy));
  EXPECT_FALSE(world.pressClose());  // the program decides; the window system never just closes it
  switch (c.result) {
    case CloseCase::quits:
      ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
      EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
      break;
    case CloseCase::hides:
      EXPECT_FALSE(world.window.isVisible());
      EXPECT_FALSE(world.delegate.isWindowVisible());
      EXPECT_EQ(world.menuTitles().first(), localized(QStringLiteral("show")));
      world.delegate.statusMenu()->actions().first()->trigger();
      EXPECT_TRUE(world.window.isVisible());
      EXPECT_EQ(world.menuTitles().first(), localized(QStringLiteral("hide")));
      break;
    case CloseCase::minimises:
      EXPECT_TRUE(world.window.isVisible());
      EXPECT_EQ(world.window.windowState(), Qt::WindowMinimized);
      break;
  }
  if (c.result != CloseCase::quits) {
    spin(50);
    EXPECT_TRUE(world.exits.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Close, ClosePolicy,
                         ::testing::Values(CloseCase{"exit", true, CloseCase::quits},
                                           CloseCase{"exit", false, CloseCase::quits},
                                           CloseCase{"hide", true, CloseCase::hides},
                                           CloseCase{"hide", false, CloseCase::minimises},
                                           CloseCase{"hideWindowAndDockIcon", true, CloseCase::hides},
                                           CloseCase{"hideWindowAndDockIcon", false, CloseCase::minimises}),
                         [](const auto& info) {
                           return std::string(info.param.policy) + (info.param.tray ? "WithTray" : "WithoutTray");
                         });

TEST(ApplicationDelegate, WindowIsFixedAtTheMainSize) {
  DelegateWorld world(true);
  EXPECT_EQ(world.window.minimumSize(), QSize(400, 660));
  EXPECT_EQ(world.window.maximumSize(), QSize(400, 660));
  const Qt::WindowFlags flags = world.window.flags();
  // The window names its buttons itself (otherwise the window manager offers all of them).
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint) << "a fixed window offers no maximise button";
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
}

QString uniqueName() {
  static std::atomic<int> counter{0};
  return QStringLiteral("tarnel-test-%1-%2").arg(::getpid()).arg(counter++);
}

TEST(SingleInstance, ASecondLaunchAsksTheFirstToShowItself) {
  const QString name = uniqueName();
  SingleInstance first(name);
  ASSERT_TRUE(first.claim());
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { activations++; });

  // The second launch blocks on its socket, so it runs on a thread of its own while this thread
  // serves the first instance.
  std::atomic<int> secondClaimed{-1};
  std::thread second([&] {
    SingleInstance other(name);
    secondClaimed = other.claim() ? 1 : 0;
  });
  ASSERT_TRUE(waitFor([&] { return secondClaimed != -1; }));
  second.join();
  EXPECT_EQ(secondClaimed, 0);
  ASSERT_TRUE(waitFor([&] { return activations == 1; }));

  // Once the first lets go (restart), a new launch becomes the running instance.
  first.release();
  SingleInstance next(name);
  EXPECT_TRUE(next.claim());
}

TEST(SingleInstance, ASocketLeftByACrashedInstanceIsTakenOver) {
  const QString name = uniqueName();
  // What a crash leaves: the socket file, with nobody listening on it.
  QLocalServer probe;
  ASSERT_TRUE(probe.listen(name));
  const QString path = probe.fullServerName();
  probe.close();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);

  SingleInstance instance(name);
  EXPECT_TRUE(instance.claim());
  EXPECT_TRUE(instance.isPrimary());
}

}  // namespace
}  // namespace lumora::test
