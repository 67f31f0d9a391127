#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <vector>

#include "ui/base/ModalWindowType.h"

namespace lumora {

// Opens the secondary windows (web pages, a notice's text, windows with content of their own)
// into the registry: one window per kind; opening a kind closes the window of that kind first.
// A closed window is deleted, and with it its page and the page's clipboard guard. The windows
// go with this object at the latest, closed ones not yet deleted among them: a web view must not
// outlive the engine it was made in, and its page may still be loading. GUI thread only.
class ModalWindows : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  ModalWindows(ModalWindowRegistry& registry, QObject* parent);
  ~ModalWindows() override;
  static ModalWindows* create(QQmlEngine* qml, QJSEngine* js);

  // The engine the windows are made in (the main window's).
  void setEngine(QQmlEngine* engine) { engine_ = engine; }

  // `title` is a localisation key; `titled` false makes a window without frame.
  Q_INVOKABLE void openModalWindow(lumora::ModalWindowKind::Value type, bool titled, const QString& title,
                                   const QString& url, double width, double height);
  Q_INVOKABLE void openModalHtmlWindow(lumora::ModalWindowKind::Value type, bool titled, const QString& title,
                                       const QString& html, double width, double height);
  Q_INVOKABLE void closeModalWindow(lumora::ModalWindowKind::Value type);
  // A window whose content is the QML document at `content` (given `properties`).
  QQuickWindow* openContentWindow(ModalWindowType type, bool titled, const QString& title, const QUrl& content,
                                  QSize size, const QVariantMap& properties = {});

  QQuickWindow* window(ModalWindowType type) const;

  // Makes the browser engine pass links of our own schemes ("systembrowser", "qnavigation") to
  // the pages' link handling however they were followed, script included. Before the
  // application object exists.
  static void registerLinkSchemes();

 private:
  QQuickWindow* open(ModalWindowType type, bool titled, const QString& title, QSize size, const QVariantMap& page);

  ModalWindowRegistry& registry_;
  QPointer<QQmlEngine> engine_;
  std::vector<QPointer<QQuickWindow>> made_;  // every window made that still exists
};

}  // namespace lumora
