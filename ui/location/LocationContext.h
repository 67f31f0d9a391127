#pragma once

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;

// What the location, node and tag pages need from the program around them. The composition root
// fills one and installs it (SharedInstance); each test fills its own with fakes.
struct LocationContext {
  Services services;
  AppStateManager* state = nullptr;
};

}  // namespace lumora
