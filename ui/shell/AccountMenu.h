#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;

// The account menu page: which rows it shows for this build and account, what each row does,
// the customer-service dialog, and sign-out. The page itself keeps no state: the rows follow the
// app state. GUI thread only.
class AccountMenu : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  // Each row: {key, icon, name, route}; route is "" for a row without a page.
  Q_PROPERTY(QVariantList rows READ rows NOTIFY rowsChanged)
  Q_PROPERTY(bool multipleDevices READ multipleDevices NOTIFY rowsChanged)

 public:
  struct Hooks {
    // Opens an address with the desktop's handler (web pages, "mailto:").
    std::function<bool(const QUrl& url)> openUrl;
    // Puts a text on the clipboard, replacing what it held.
    std::function<void(const QString& text)> copyText;
  };

  AccountMenu(Services services, AppStateManager& state, Hooks hooks, QObject* parent);
  static AccountMenu* create(QQmlEngine* qml, QJSEngine* js);

  QVariantList rows() const;
  // The keys of the rows shown, in order.
  QStringList rowKeys() const;
  bool multipleDevices() const;

  // A row was tapped (its page, if any, is already pushed).
  Q_INVOKABLE void activate(const QString& key);
  Q_INVOKABLE void showEmailDialog();
  Q_INVOKABLE void signOut();

  static QString helpCentreUrl();
  static QString appStoreUrl();

 signals:
  void rowsChanged();

 private:
  QString officialEmail() const;

  Services services_;
  AppStateManager& state_;
  Hooks hooks_;
};

}  // namespace lumora
