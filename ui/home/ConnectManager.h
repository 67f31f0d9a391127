#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "ui/base/ConnectFront.h"
#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class AnimationController;

// The user interface's one way to the connection: the connect switch of every page, the
// connection's reports mirrored into the app state, the connect-button animation, the
// game-console listener and the payment page. It alone holds the connection's callbacks; each
// report is posted to the GUI thread and never waited for there. Every blocking call of the
// connection runs on a worker. GUI thread unless said otherwise.
class ConnectManager : public QObject, public ConnectFront {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  struct Hooks {
    // The account status check; `done` runs on the GUI thread once it has ended.
    std::function<void(std::function<void()> done)> checkLive;
    // Store builds pay in the shop page.
    bool isAppStore = false;
    // Opens the payment page (a separate window); none: nothing opens.
    std::function<void(const QUrl&)> openPaymentWindow;
    // The monotonic clock of the switch's guard.
    Clock clock = &std::chrono::steady_clock::now;
  };

  ConnectManager(Services services, AppStateManager& state, AnimationController& animation, Hooks hooks,
                 QObject* parent = nullptr);
  ~ConnectManager() override;
  static ConnectManager* create(QQmlEngine* qml, QJSEngine* js);

  // The connect switch: a connect when disconnected, a stop while connecting or connected,
  // nothing otherwise. A call less than a second after the previous call is ignored.
  // `onConnected` belongs to the attempt this call starts: it runs once when that attempt is up,
  // and is dropped when the attempt ends otherwise (refused, failed, stopped) or another attempt
  // takes its place; a call that starts no attempt drops it at once.
  void toggleConnection(bool recordEvent, std::function<void()> onConnected);
  // ConnectFront: the same switch; right after a switch-over's disconnect it is not dropped by
  // the guard, so a new location chosen just after a click still ends in a connection attempt.
  void toggleConnection(bool recordEvent) override;
  Q_INVOKABLE void toggle(bool recordEvent) { toggleConnection(recordEvent, {}); }

  // Starts a connection attempt (no guard, no event).
  void connect();
  // Ends the connection or the attempt on a worker; returns at once.
  void disconnectAsync();
  // ConnectFront: blocks until the connection has ended (the first half of a switch-over to a
  // new location). Any thread but the GUI's.
  void disconnect() override;
  // Stops what runs and connects again, keeping the game-console listener on when it was.
  void reconnect();
  void setNeedSwitch(bool need) override { needSwitch_ = need; }
  bool needSwitch() const { return needSwitch_; }

  // The game-console listener: off when on; else explains why it cannot start, or starts it.
  Q_INVOKABLE void toggleSwitchListen();
  // The payment page: the shop route for store builds, else the signed payment address.
  Q_INVOKABLE void openPayment();

 private:
  // Runs `work` later on the GUI thread, unless this is gone by then. Any thread.
  void post(std::function<void()> work);
  void onStatus(helmsey::VPNStatus status);
  void onStep(tarnel::ConnectStep step);
  void onFailed(const ServiceError& error);  // on the reporting thread
  // Starts a connection attempt; false when it was refused before it began (an expired
  // membership). Either way the action of an earlier attempt is dropped.
  bool startConnect();
  void afterStatusCheck();
  void startAttempt();
  ConnectionSettings settings() const;
  void stopListening();
  void toggle(bool recordEvent, std::function<void()> onConnected, bool guarded);

  const QPointer<ConnectManager> self_{this};
  Services services_;
  AppStateManager& state_;
  AnimationController& animation_;
  Hooks hooks_;
  std::optional<std::chrono::steady_clock::time_point> lastClick_;
  std::atomic<bool> needSwitch_{false};
  // Mirrors the app state's listening flag for workers, which must not read the state.
  std::atomic<bool> listening_{false};
  // What the attempt under way runs once it is up (see toggleConnection).
  std::function<void()> onConnected_;
  // Set by the switch-over's disconnect, taken by the toggle that follows it.
  std::atomic<bool> switchingOver_{false};
};

}  // namespace lumora
