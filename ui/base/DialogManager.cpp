#include "ui/base/DialogManager.h"

#include <QVariantMap>

#include "ui/base/SharedInstance.h"

namespace lumora {

DialogManager::DialogManager(QObject* parent) : QObject(parent) {}

DialogManager* DialogManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<DialogManager>::forQml(qml, js);
}

void DialogManager::setIsShow(bool show) {
  if (show == isShow_) return;
  isShow_ = show;
  emit isShowChanged();
}

QVariantList DialogManager::buttonList() const {
  QVariantList list;
  for (const auto& button : buttons_) {
    list.append(QVariantMap{{QStringLiteral("title"), button.title}, {QStringLiteral("isLight"), button.isLight}});
  }
  return list;
}

void DialogManager::show(std::vector<DialogButton> buttons, const QString& title, bool showClose,
                         std::function<void()> onConfirm, std::function<void()> cancelEvent, DialogContent content) {
  if (buttons.empty()) {
    // Hiding first lets onConfirm open a new dialog that stays.
    buttons.push_back({QString::fromUtf8(QT_TRID_NOOP("Confirm")),
                       [this, onConfirm = std::move(onConfirm)] {
                         setIsShow(false);
                         if (onConfirm) onConfirm();
                       },
                       true});
  }
  buttons_ = std::move(buttons);
  emit buttonsChanged();
  setContent(std::move(content));
  setIsShow(true);
  if (title != title_) {
    title_ = title;
    emit titleChanged();
  }
  if (showClose != showClose_) {
    showClose_ = showClose;
    emit showCloseChanged();
  }
  cancelEvent_ = cancelEvent ? std::move(cancelEvent) : [] {};
}

void DialogManager::showContent(DialogContent content) {
  buttons_.clear();
  emit buttonsChanged();
  setContent(std::move(content));
  setIsShow(true);
  if (!title_.isEmpty()) {
    title_.clear();
    emit titleChanged();
  }
  if (showClose_) {
    showClose_ = false;
    emit showCloseChanged();
  }
}

void DialogManager::setContent(DialogContent content) {
  disconnect(bodyWatch_);
  content_ = std::move(content);
  if (content_.component) {
    bodyWatch_ = connect(content_.component, &QObject::destroyed, this, &DialogManager::bodyGone);
  }
  emit contentChanged();
}

void DialogManager::bodyGone() {
  disconnect(bodyWatch_);
  content_ = {};
  emit contentChanged();
  buttons_.clear();
  emit buttonsChanged();
  // The page that would have heard the cancel is gone with its body.
  cancelEvent_ = [] {};
  setIsShow(false);
}

void DialogManager::press(int index) {
  // A dialog that is already closing takes no second press (a double click would act twice).
  if (!isShow_) return;
  if (index < 0 || static_cast<std::size_t>(index) >= buttons_.size()) return;
  // A copy: the action may replace the dialog, and with it the list it came from.
  const auto action = buttons_[static_cast<std::size_t>(index)].action;
  if (action) action();
}

void DialogManager::close() {
  const auto cancel = cancelEvent_;
  cancel();
  setIsShow(false);
}

std::function<void()> DialogManager::callable(const QJSValue& function) {
  if (!function.isCallable()) return {};
  return [function]() mutable { function.call(); };
}

std::vector<DialogButton> DialogManager::buttonsFrom(const QJSValue& list) {
  std::vector<DialogButton> buttons;
  if (!list.isArray()) return buttons;
  const int length = list.property(QStringLiteral("length")).toInt();
  for (int i = 0; i < length; ++i) {
    const QJSValue item = list.property(static_cast<quint32>(i));
    const QJSValue light = item.property(QStringLiteral("isLight"));
    buttons.push_back({item.property(QStringLiteral("title")).toString(),
                       callable(item.property(QStringLiteral("action"))), light.isUndefined() || light.toBool()});
  }
  return buttons;
}

void DialogManager::showText(const QString& message, const QString& title, bool showClose, const QJSValue& buttons,
                             const QJSValue& cancelEvent) {
  show(buttonsFrom(buttons), title, showClose, {}, callable(cancelEvent), DialogContent::fromText(message));
}

void DialogManager::showComponent(QQmlComponent* component, const QString& title, bool showClose,
                                  const QJSValue& buttons, const QJSValue& cancelEvent) {
  show(buttonsFrom(buttons), title, showClose, {}, callable(cancelEvent), DialogContent::fromComponent(component));
}

}  // namespace lumora
