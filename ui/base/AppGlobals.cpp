#include "ui/base/AppGlobals.h"

#include "platform/BundleInfo.h"

namespace lumora {

namespace {
std::optional<bool>& appStoreOverride() {
  static std::optional<bool> value;
  return value;
}

QPointer<QWindow>& mainWindowSlot() {
  static QPointer<QWindow> window;
  return window;
}
}  // namespace

bool isAppStoreBuild() {
  static const bool appStore = platform::mainBundle().isAppStore;
  if (const auto& forced = appStoreOverride()) return *forced;
  return appStore;
}

void setAppStoreBuildForTesting(std::optional<bool> value) { appStoreOverride() = value; }

QWindow* mainWindow() { return mainWindowSlot().data(); }

void setMainWindow(QWindow* window) { mainWindowSlot() = window; }

}  // namespace lumora
