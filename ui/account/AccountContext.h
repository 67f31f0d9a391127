#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <deque>
#include <functional>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class DeviceManager;

// What the account pages need from outside their module: the services, the app state, the
// device model, and the shell's operations, handed in as functions so the feature never
// depends on the shell. The composition root (or a test) builds one and installs it; the pages'
// models find it there. It outlives every page, so the service calls of a page run in its
// context and finish even when their page has gone. GUI thread only.
class AccountContext : public QObject {
  Q_OBJECT

 public:
  using Completion = std::function<void(ServiceError)>;
  struct Hooks {
    // Signs in (on success the state takes the account and the root page follows its kind);
    // the completion hears the outcome on the GUI thread.
    std::function<void(const QString& email, const QString& password, std::int64_t force, const QString& code,
                       Completion completion)>
        login;
    // The account status check; the completion hears the outcome on the GUI thread.
    std::function<void(Completion completion)> checkLive;
    // The remaining membership as text.
    std::function<QString()> vipRemainingTime;
    // Opens a web address with the desktop's browser.
    std::function<bool(const QUrl& url)> openUrl;
    // Whether the application shows any window (links open only then); none: any top-level window.
    std::function<bool()> hasWindow;
    // Ends the connection or the attempt under way and returns once it has; never called on the
    // GUI thread. None: the connection service's own disconnect.
    std::function<void()> disconnect;
  };

  AccountContext(Services services, AppStateManager& state, DeviceManager& devices, Hooks hooks, QObject* parent);

  const Services& services() const { return services_; }
  AppStateManager& state() const { return state_; }
  DeviceManager& devices() const { return devices_; }

  // Sign-ins run one after another, in the order asked: an answer that comes late (the guest
  // sign-in of the sign-in page, say) can never replace the account of a sign-in asked after it.
  void login(const QString& email, const QString& password, std::int64_t force, const QString& code,
             Completion completion);
  // Whether a sign-in is under way or waiting for its turn.
  bool signingIn() const { return signInRunning_ || !signInQueue_.empty(); }
  void checkLive(Completion completion);
  QString vipRemainingTime() const;
  bool hasWindow() const;
  // Stops the connection; blocks until it has (workers only). Safe on any thread.
  std::function<void()> disconnecter() const;
  // Opens an http or https address in the browser; anything else (another scheme, no host, the
  // empty text while discovery has not answered) opens nothing. True when handed on.
  bool openWebPage(const QString& address) const;

 private:
  struct SignIn {
    QString email;
    QString password;
    std::int64_t force = 0;
    QString code;
    Completion completion;
  };
  void startNextSignIn();
  // The account of the signed-in user changed: the device list of another account goes.
  void accountChanged();

  Services services_;
  AppStateManager& state_;
  DeviceManager& devices_;
  Hooks hooks_;
  std::deque<SignIn> signInQueue_;
  bool signInRunning_ = false;
};

}  // namespace lumora
