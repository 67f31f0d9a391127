#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEngineCertificateError>
#include <QtQml/qqmlregistration.h>

#include "ui/info/InfoContext.h"

namespace lumora {

// The page side of one web view: what a clicked link does, and the clipboard guard. A page that
// shows a payment address ("T" and 33 letters or digits) empties such an address from the
// clipboard once, then warns once when another address of that form lands on the clipboard
// while the page is open. The guard runs only while `active` (the window shows): it stops with
// its window. It reads the clipboard only when the clipboard says it changed, never on a clock.
// A load that takes longer than `loadTimeout` is stopped. GUI thread only.
class WebPageController : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
  Q_PROPERTY(bool guarding READ guarding NOTIFY guardingChanged)
  // How long the page's load may take before it is stopped (milliseconds).
  Q_PROPERTY(int loadTimeout READ loadTimeout CONSTANT)

 public:
  explicit WebPageController(QObject* parent = nullptr);
  WebPageController(InfoContext context, QObject* parent);

  bool active() const { return active_; }
  void setActive(bool active);
  bool guarding() const { return static_cast<bool>(watch_); }
  QString guardedAddress() const { return address_; }
  int loadTimeout() const { return int(context_.pageLoadTimeout.count()); }

  // False when the view must not navigate; the link may have been handed to the browser.
  Q_INVOKABLE bool accepts(const QUrl& url, bool linkClick);
  // Whether the certificate the browser engine refused is one the program trusts for its host.
  Q_INVOKABLE bool trusts(const QWebEngineCertificateError& error) const;
  // A page finished loading: the guard of the page before ends.
  Q_INVOKABLE void pageLoaded();
  // The page's markup, as the page script returned it.
  Q_INVOKABLE void scanPage(const QVariant& markup);
  // The guard's look at a changed clipboard (public for tests).
  void checkClipboard();

  // The first address right after the end of a tag; empty when none.
  static QString pageAddress(const QString& markup);
  static bool isPaymentAddress(const QString& text);

 signals:
  void activeChanged();
  void guardingChanged();

 private:
  void open(const QUrl& target);
  void stopGuard();

  InfoContext context_;
  bool active_ = true;
  QString address_;
  QMetaObject::Connection watch_;  // to the clipboard's change notice, while guarding
  QMetaObject::Connection pendingOpen_;
};

}  // namespace lumora
