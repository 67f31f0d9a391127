#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class ConnectManager;

// The home screen's work beyond what it shows: the periodic account check while it is shown, the
// notice mark, the routing-mode switch, the disclaimer's schedule, the links it opens and the
// proxy tools. GUI thread only.
class HomeScreen : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  struct Hooks {
    // The account status check (its outcome is its own business).
    std::function<void()> checkLive;
    // The remaining membership as text.
    std::function<QString()> vipRemainingTime;
    // Opens an address with the desktop's default handler; false when it could not.
    std::function<bool(const QUrl&)> openUrl;
    std::chrono::milliseconds statusInterval = std::chrono::seconds(180);
    std::chrono::milliseconds disclaimerDelay = std::chrono::milliseconds(500);
  };

  // The page the browser button opens to try the connection (fixed per build).
  static const char* const kBrowserCheckPage;

  HomeScreen(Services services, AppStateManager& state, ConnectManager& front, Hooks hooks,
             QObject* parent = nullptr);
  static HomeScreen* create(QQmlEngine* qml, QJSEngine* js);

  // The page was shown: the periodic account check (one timer however often the page appears),
  // the notices and the disclaimer check.
  Q_INVOKABLE void appear();
  // The page went: the periodic check stops with it.
  Q_INVOKABLE void disappear();
  bool statusCheckRunning() const { return statusTimer_.isActive(); }

  void loadNotices();
  Q_INVOKABLE void switchRouteMode();
  void confirmRouteChange();

  // The current tag's name and picture address; empty without a tag (or a usable address).
  Q_INVOKABLE bool hasTag() const;
  Q_INVOKABLE QString tagName() const;
  Q_INVOKABLE QString tagIcon() const;
  Q_INVOKABLE bool promotionShown() const;
  Q_INVOKABLE QString promotionText() const;
  Q_INVOKABLE void openPromotionLink();
  Q_INVOKABLE QString membershipText() const;
  Q_INVOKABLE void openMenu();
  Q_INVOKABLE void openNotify();
  Q_INVOKABLE void openTag();
  Q_INVOKABLE void openLocation();
  Q_INVOKABLE void openCustomerService();

  // Proxy tools.
  Q_INVOKABLE int socksPort() const;
  Q_INVOKABLE int httpPort() const;
  Q_INVOKABLE int switchPort() const;
  Q_INVOKABLE QString switchAddress() const;
  Q_INVOKABLE void openSwitchHelp();
  Q_INVOKABLE void openTelegramProxy();
  Q_INVOKABLE void openBrowserCheck();

  // Disclaimer: shown unless its box was ticked less than seven days ago.
  void checkDisclaimer();
  Q_INVOKABLE void setDisclaimerIgnored(bool ignore);
  // Whole days from `thenMs` to `nowMs` (milliseconds since 1970) in the local calendar;
  // negative when `thenMs` lies ahead.
  static std::int64_t dayComponent(std::int64_t thenMs, std::int64_t nowMs);

 signals:
  // Time to open the disclaimer dialog.
  void disclaimerDue();

 private:
  void connectedSwitch();
  void needConnectedDialog();

  Services services_;
  AppStateManager& state_;
  ConnectManager& front_;
  Hooks hooks_;
  QTimer statusTimer_;
  QTimer disclaimerTimer_;
};

}  // namespace lumora
