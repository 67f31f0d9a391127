#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
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

  void login(const QString& email, const QString& password, std::int64_t force, const QString& code,
             Completion completion);
  void checkLive(Completion completion);
  QString vipRemainingTime() const;
  bool hasWindow() const;
  // Stops the connection; blocks until it has (workers only). Safe on any thread.
  std::function<void()> disconnecter() const;
  // Opens an http or https address in the browser; anything else (another scheme, no host, the
  // empty text while discovery has not answered) opens nothing. True when handed on.
  bool openWebPage(const QString& address) const;

 private:
  Services services_;
  AppStateManager& state_;
  DeviceManager& devices_;
  Hooks hooks_;
};

}  // namespace lumora
