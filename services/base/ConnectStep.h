#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnel {

// The steps of one connection attempt, as reported to the user interface. Each raw value is the
// case's own name.
enum class ConnectStep { open_node, check_port, open_connect, check_availability, connect_success };

inline constexpr std::array<ConnectStep, 5> kAllConnectSteps{
    ConnectStep::open_node, ConnectStep::check_port, ConnectStep::open_connect, ConnectStep::check_availability,
    ConnectStep::connect_success,
};

std::string_view rawValue(ConnectStep step);

// The step with exactly that name (case-sensitive), or none.
std::optional<ConnectStep> connectStepFromRaw(std::string_view raw);

}  // namespace tarnel
