#include "ui/base/AppGlobals.h"

#include "platform/BundleInfo.h"

namespace lumora {

namespace {
QPointer<QWindow>& mainWindowSlot() {
  static QPointer<QWindow> window;
  return window;
}
}  // namespace

bool isAppStoreBuild() {
  static const bool appStore = platform::mainBundle().isAppStore;
  return appStore;
}

QWindow* mainWindow() { return mainWindowSlot().data(); }

void setMainWindow(QWindow* window) { mainWindowSlot() = window; }

}  // namespace lumora
