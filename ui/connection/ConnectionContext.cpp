#include "ui/connection/ConnectionContext.h"

#include "ui/base/AppGlobals.h"

namespace lumora {

bool ConnectionContext::windowExists() const { return hasWindow ? hasWindow() : mainWindow() != nullptr; }

}  // namespace lumora
