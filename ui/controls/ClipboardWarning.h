#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>

namespace lumora {

class ModalWindowRegistry;

// Opens and closes the clipboard warning window, one at a time through the modal-window
// registry: a new warning closes the one on screen first. The page guard that notices a
// replaced payment address calls open(). GUI thread only.
class ClipboardWarning : public QObject {
  Q_OBJECT

 public:
  ClipboardWarning(QQmlEngine& engine, ModalWindowRegistry& registry, QObject* parent);
  ~ClipboardWarning() override;

  // Closes the warning window on screen, if any, then shows a new one centred, in front and
  // focused; the window that was there is released. False when the window could not be made.
  bool open();
  // Closes the warning window, if any.
  void close();
  // The warning window of the last open(), while it exists.
  QQuickWindow* window() const { return window_; }

 private:
  QQmlEngine& engine_;
  ModalWindowRegistry& registry_;
  QPointer<QQuickWindow> window_;
};

}  // namespace lumora
