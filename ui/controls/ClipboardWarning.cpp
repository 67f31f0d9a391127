#include "ui/controls/ClipboardWarning.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QScreen>

#include "services/base/Logger.h"
#include "ui/base/ModalWindowType.h"

namespace lumora {

ClipboardWarning::ClipboardWarning(QQmlEngine& engine, ModalWindowRegistry& registry, QObject* parent)
    : QObject(parent), engine_(engine), registry_(registry) {}

ClipboardWarning::~ClipboardWarning() {
  if (window_) {
    registry_.close(ModalWindowType::clipboard);
    delete window_.data();
  }
}

bool ClipboardWarning::open() {
  registry_.close(ModalWindowType::clipboard);
  // The replaced window was only hidden by its close; this is where it goes.
  delete window_.data();

  QQmlComponent component(&engine_, QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Controls/ClipboardWarningWindow.qml")));
  QObject* made = component.create();
  auto* window = qobject_cast<QQuickWindow*>(made);
  if (!window) {
    tarnel::Logger::log(tarnel::LogLevel::error, "clipboard warning window:", component.errorString().toStdString());
    delete made;
    return false;
  }
  QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
  window_ = window;
  if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    window->setPosition(area.center() - QPoint(window->width() / 2, window->height() / 2));
  }
  window->show();
  window->raise();
  window->requestActivate();
  registry_.add(ModalWindowType::clipboard, window);
  return true;
}

void ClipboardWarning::close() { registry_.close(ModalWindowType::clipboard); }

}  // namespace lumora
