#pragma once

#include <QJSValue>
#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QPointer>
#include <QQmlComponent>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <vector>

namespace lumora {

// One button of the dialog: a localisation key, what it does, and blue (light) or gray.
struct DialogButton {
  QString title;
  std::function<void()> action;
  bool isLight = true;
};

// The body of the dialog: a text shown as it stands (already localised by the caller, or a
// server's message) or a component of the caller's making.
struct DialogContent {
  QString text;
  QPointer<QQmlComponent> component;
  static DialogContent fromText(QString text) { return {std::move(text), {}}; }
  static DialogContent fromComponent(QQmlComponent* component) { return {{}, component}; }
};

// The one dialog of the window. A new dialog replaces the one on screen; the replaced one's
// actions never run. A body of a page's making goes with its page: the dialog then hides, with
// its buttons and cancel event, rather than cover the window empty. GUI thread only; other
// threads use showDialog().
class DialogManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(bool isShow READ isShow WRITE setIsShow NOTIFY isShowChanged)
  Q_PROPERTY(QVariantList buttons READ buttonList NOTIFY buttonsChanged)
  Q_PROPERTY(QString title READ title NOTIFY titleChanged)
  Q_PROPERTY(bool showClose READ showClose NOTIFY showCloseChanged)
  Q_PROPERTY(QString text READ text NOTIFY contentChanged)
  Q_PROPERTY(QQmlComponent* component READ component NOTIFY contentChanged)

 public:
  explicit DialogManager(QObject* parent);
  static DialogManager* create(QQmlEngine* qml, QJSEngine* js);

  bool isShow() const { return isShow_; }
  void setIsShow(bool show);
  const std::vector<DialogButton>& buttons() const { return buttons_; }
  QVariantList buttonList() const;
  QString title() const { return title_; }
  bool showClose() const { return showClose_; }
  QString text() const { return content_.text; }
  QQmlComponent* component() const { return content_.component; }

  // With no buttons the dialog gets one blue "Confirm" that hides the dialog and then runs onConfirm.
  void show(std::vector<DialogButton> buttons, const QString& title, bool showClose, std::function<void()> onConfirm,
            std::function<void()> cancelEvent, DialogContent content);
  // A body of the caller's making only: no heading, no buttons, no close button; the cancel
  // event of the dialog before stays.
  void showContent(DialogContent content);

  // The view's taps: a button runs its action only; the close button runs the cancel event,
  // then hides the dialog.
  Q_INVOKABLE void press(int index);
  Q_INVOKABLE void close();

  // QML: buttons as [{title, isLight, action}], actions and cancel as JS functions.
  Q_INVOKABLE void showText(const QString& message, const QString& title, bool showClose, const QJSValue& buttons,
                            const QJSValue& cancelEvent);
  Q_INVOKABLE void showComponent(QQmlComponent* component, const QString& title, bool showClose,
                                 const QJSValue& buttons, const QJSValue& cancelEvent);
  Q_INVOKABLE void showContentComponent(QQmlComponent* component) { showContent(DialogContent::fromComponent(component)); }

 signals:
  void isShowChanged();
  void buttonsChanged();
  void titleChanged();
  void showCloseChanged();
  void contentChanged();

 private:
  static std::vector<DialogButton> buttonsFrom(const QJSValue& list);
  void setContent(DialogContent content);
  void bodyGone();
  static std::function<void()> callable(const QJSValue& function);

  bool isShow_ = false;
  std::vector<DialogButton> buttons_;
  QString title_ = QString::fromUtf8(QT_TRID_NOOP("tips_title"));
  bool showClose_ = true;
  DialogContent content_;
  std::function<void()> cancelEvent_ = [] {};
  QMetaObject::Connection bodyWatch_;
};

}  // namespace lumora
