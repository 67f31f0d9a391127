#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ui/base/ConnectFront.h"

namespace lumora {

// The connection front as the state objects see it, recording what it is asked, in order
// ("needSwitch"/"noSwitch", "disconnect", "toggle" or "toggle:record"). Thread-safe.
class RecordingFront final : public ConnectFront {
 public:
  void setNeedSwitch(bool need) override { record(need ? "needSwitch" : "noSwitch"); }
  void disconnect() override { record("disconnect"); }
  void toggleConnection(bool recordEvent) override { record(recordEvent ? "toggle:record" : "toggle"); }
  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace lumora
