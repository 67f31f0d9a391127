#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;

// What the advanced settings page and the proxy rules editor need beyond the app-wide state:
// the choices of the two drop-down rows, which rows this build shows, and the services the
// editor saves through. The composition root (or a test) builds one and installs it; it
// outlives every page, so a save that is under way finishes even when its page has gone.
// GUI thread only.
class AdvancedSettings : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QStringList strategyChoices READ strategyChoices CONSTANT)
  Q_PROPERTY(bool showTerminalProxy READ showTerminalProxy CONSTANT)
  Q_PROPERTY(bool showDeleteAccount READ showDeleteAccount NOTIFY showDeleteAccountChanged)

 public:
  AdvancedSettings(Services services, AppStateManager& state, QObject* parent = nullptr);
  static AdvancedSettings* create(QQmlEngine* qml, QJSEngine* js);

  const Services& services() const { return services_; }
  AppStateManager& state() const { return state_; }

  // The engine's DNS choices in their fixed order, asked afresh on every call.
  Q_INVOKABLE QStringList dnsChoices() const;
  static QStringList strategyChoices();
  // The command-line proxy exists outside store builds only.
  bool showTerminalProxy() const;
  // Store builds offer account deletion here while the service does not link to it elsewhere.
  bool showDeleteAccount() const;

 signals:
  void showDeleteAccountChanged();

 private:
  Services services_;
  AppStateManager& state_;
};

}  // namespace lumora
