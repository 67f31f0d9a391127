#include "ui/store/StoreContext.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/base/AppGlobals.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

bool StoreContext::windowExists() const { return hasWindow ? hasWindow() : mainWindow() != nullptr; }

void StoreContext::copy(const QString& text) const {
  if (copyText) {
    copyText(text);
    return;
  }
  QGuiApplication::clipboard()->setText(text);
}

StoreContext sharedStoreContext() {
  const StoreContext* shared = SharedInstance<StoreContext>::get();
  return shared ? *shared : StoreContext{};
}

}  // namespace lumora
