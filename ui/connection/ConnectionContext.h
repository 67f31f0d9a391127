#pragma once

#include <functional>
#include <memory>

#include "ui/base/ConnectFront.h"
#include "ui/base/services/Services.h"
#include "ui/connection/ExtensionAuthoriser.h"

namespace lumora {

class AppStateManager;

// What the connection pages need from the program around them. The composition root fills one
// and installs it (SharedInstance); each test fills its own with fakes.
struct ConnectionContext {
  Services services;
  AppStateManager* state = nullptr;
  // Stops and restarts the connection; none: "Reconnect" only applies.
  std::shared_ptr<ConnectFront> front;
  // The checks tunnel mode needs; none: tunnel mode cannot be activated.
  std::shared_ptr<ExtensionAuthoriser> authoriser;
  // Whether the program has a window; none: the main window.
  std::function<bool()> hasWindow;
  // Opens the tunnel-mode approval window (its kind's registry slot); none: nothing opens.
  std::function<void()> openApprovalWindow;
  // Ends the program with this status.
  std::function<void(int)> quit;

  bool windowExists() const;
};

}  // namespace lumora
