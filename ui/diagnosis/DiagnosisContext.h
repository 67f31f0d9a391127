#pragma once

#include <chrono>
#include <memory>

#include "ui/base/ConnectFront.h"
#include "ui/base/services/Services.h"
#include "ui/diagnosis/DiagnosisRun.h"

namespace lumora {

class AppStateManager;

// What the diagnosis page needs from the program around it. The composition root fills one and
// installs it (SharedInstance); each test fills its own with fakes.
struct DiagnosisContext {
  Services services;
  AppStateManager* state = nullptr;
  // Ends the user's connection (blocking, off the GUI thread).
  std::shared_ptr<ConnectFront> front;
  DiagnosisAddresses addresses = DiagnosisAddresses::configured();
  std::chrono::milliseconds trialTimeout = std::chrono::seconds(25);
};

}  // namespace lumora
