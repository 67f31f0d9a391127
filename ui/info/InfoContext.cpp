#include "ui/info/InfoContext.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/base/AppGlobals.h"

namespace lumora {

bool InfoContext::windowExists() const { return hasWindow ? hasWindow() : mainWindow() != nullptr; }

QString InfoContext::readClipboard() const {
  if (clipboardText) return clipboardText();
  return QGuiApplication::clipboard()->text();
}

void InfoContext::emptyClipboard() const {
  if (clearClipboard) {
    clearClipboard();
    return;
  }
  QGuiApplication::clipboard()->clear();
}

QMetaObject::Connection InfoContext::onClipboardChange(QObject* receiver, std::function<void()> changed) const {
  if (watchClipboard) return watchClipboard(receiver, std::move(changed));
  return QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, receiver, std::move(changed));
}

}  // namespace lumora
