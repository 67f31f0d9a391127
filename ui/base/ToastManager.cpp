#include "ui/base/ToastManager.h"

#include <QMetaEnum>

#include "ui/base/SharedInstance.h"

namespace lumora {

ToastManager::ToastManager(QObject* parent) : QObject(parent) {
  hideTimer_.setSingleShot(true);
  hideTimer_.setInterval(kLifetimeMs);
  connect(&hideTimer_, &QTimer::timeout, this, [this] { setShowing(false); });
}

ToastManager* ToastManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<ToastManager>::forQml(qml, js);
}

QColor ToastManager::backgroundOf(ToastType type) {
  switch (type) {
    case ToastType::info: return QColor(24, 34, 44);
    case ToastType::error: return QColor(43, 29, 29);
    case ToastType::warning: return QColor(41, 34, 24);
    case ToastType::success: return QColor(28, 37, 24);
  }
  return QColor(24, 34, 44);
}

QColor ToastManager::foregroundOf(ToastType type) {
  switch (type) {
    case ToastType::info: return QColor(64, 158, 255);
    case ToastType::error: return QColor(245, 108, 108);
    case ToastType::warning: return QColor(230, 162, 60);
    case ToastType::success: return QColor(103, 194, 58);
  }
  return QColor(64, 158, 255);
}

void ToastManager::show(const QString& message, ToastType type) {
  if (type != type_) {
    type_ = type;
    emit typeChanged();
  }
  hideTimer_.stop();
  if (message != message_) {
    message_ = message;
    emit messageChanged();
  }
  setShowing(true);
  hideTimer_.start();
}

void ToastManager::show(const QString& message, const QVariant& type) {
  bool known = false;
  int value = 0;
  if (type.typeId() == QMetaType::QString) {
    value = QMetaEnum::fromType<ToastType>().keyToValue(type.toString().toUtf8().constData(), &known);
  } else {
    value = type.toInt(&known);
    known = known && value >= ToastType::info && value <= ToastType::success;
  }
  show(message, known ? static_cast<ToastType>(value) : ToastType::info);
}

void ToastManager::setShowing(bool showing) {
  if (showing == isShowing_) return;
  isShowing_ = showing;
  emit isShowingChanged();
}

}  // namespace lumora
