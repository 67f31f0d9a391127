#pragma once

#include <string_view>

namespace helmsey {

// The engine's connection status, as every caller sees it.
enum class VPNStatus { connecting, connected, disconnecting, disconnected, userCanceled };

constexpr std::string_view rawValue(VPNStatus status) {
  switch (status) {
    case VPNStatus::connecting: return "connecting";
    case VPNStatus::connected: return "connected";
    case VPNStatus::disconnecting: return "disconnecting";
    case VPNStatus::disconnected: return "disconnected";
    case VPNStatus::userCanceled: return "userCanceled";
  }
  return "";
}

}  // namespace helmsey
