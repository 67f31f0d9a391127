#pragma once

#include <QColor>
#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// The kinds of toast; QML reads them as ToastType.info and so on.
namespace ToastKind {
Q_NAMESPACE
QML_NAMED_ELEMENT(ToastType)
enum Value { info, error, warning, success };
Q_ENUM_NS(Value)
}  // namespace ToastKind
using ToastType = ToastKind::Value;

// The one toast of the window: a message key and a kind, shown for three seconds after the
// latest show. GUI thread only; other threads use showToast().
class ToastManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QString message READ message NOTIFY messageChanged)
  Q_PROPERTY(bool isShowing READ isShowing NOTIFY isShowingChanged)
  Q_PROPERTY(int type READ typeValue NOTIFY typeChanged)
  Q_PROPERTY(QColor background READ background NOTIFY typeChanged)
  Q_PROPERTY(QColor foreground READ foreground NOTIFY typeChanged)

 public:
  static constexpr int kLifetimeMs = 3000;

  explicit ToastManager(QObject* parent);
  static ToastManager* create(QQmlEngine* qml, QJSEngine* js);

  QString message() const { return message_; }
  bool isShowing() const { return isShowing_; }
  ToastType type() const { return type_; }
  int typeValue() const { return type_; }
  QColor background() const { return backgroundOf(type_); }
  QColor foreground() const { return foregroundOf(type_); }
  static QColor backgroundOf(ToastType type);
  static QColor foregroundOf(ToastType type);

  // Shows `message` (a localisation key) at once, replacing a toast on screen, and hides it three
  // seconds after this call.
  void show(const QString& message, ToastType type);
  // How long a toast stays (tests shorten it).
  Q_INVOKABLE void setLifetimeMs(int ms) { hideTimer_.setInterval(ms); }
  // QML: the kind by name ("info", "error", "warning", "success") or number.
  Q_INVOKABLE void show(const QString& message, const QVariant& type);

 signals:
  void messageChanged();
  void isShowingChanged();
  void typeChanged();

 private:
  void setShowing(bool showing);

  QString message_;
  bool isShowing_ = false;
  ToastType type_ = ToastType::info;
  QTimer hideTimer_;
};

}  // namespace lumora
