#include "services/log/EventType.h"

#include <cstddef>

namespace tarnel {
namespace {

#define TARNEL_EVENT_TYPE_TEXT(name) #name,
constexpr std::array<std::string_view, kAllEventTypes.size()> kRawValues{TARNEL_EVENT_TYPES(TARNEL_EVENT_TYPE_TEXT)};
#undef TARNEL_EVENT_TYPE_TEXT

}  // namespace

std::string_view rawValue(EventType event) {
  const auto index = static_cast<std::size_t>(event);
  return index < kRawValues.size() ? kRawValues[index] : std::string_view{};
}

std::optional<EventType> eventTypeFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return kAllEventTypes[i];
  }
  return std::nullopt;
}

}  // namespace tarnel
