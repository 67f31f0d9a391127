#pragma once

#include <string_view>

namespace helmsey {

// The engine's connection status, as every caller sees it.
enum class VPNStatus { connecting, connected, disconnecting, disconnected, userCanceled };

// Why a connection ended before it served, or was ended because the desktop could not be
// pointed at it; none for every other end (a stop, a cancel, a crash after it served).
enum class StartFailure {
  none,
  refused,      // the engine refused the settings, or the proxy engine could not be started
  systemProxy,  // the desktop's proxy could not be set
};

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
