#include "services/base/ConnectStep.h"

#include <cstddef>

namespace tarnel {
namespace {

constexpr std::array<std::string_view, 5> kRawValues{
    "open_node", "check_port", "open_connect", "check_availability", "connect_success",
};

}  // namespace

std::string_view rawValue(ConnectStep step) {
  const auto index = static_cast<std::size_t>(step);
  return index < kRawValues.size() ? kRawValues[index] : std::string_view{};
}

std::optional<ConnectStep> connectStepFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return kAllConnectSteps[i];
  }
  return std::nullopt;
}

}  // namespace tarnel
