#include "services/log/LogTopic.h"

#include <cstddef>

namespace tarnel {
namespace {

#define TARNEL_LOG_TOPIC_TEXT(name) #name,
constexpr std::array<std::string_view, kAllLogTopics.size()> kRawValues{TARNEL_LOG_TOPICS(TARNEL_LOG_TOPIC_TEXT)};
#undef TARNEL_LOG_TOPIC_TEXT

}  // namespace

std::string_view rawValue(LogTopic topic) {
  const auto index = static_cast<std::size_t>(topic);
  return index < kRawValues.size() ? kRawValues[index] : std::string_view{};
}

std::optional<LogTopic> logTopicFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return kAllLogTopics[i];
  }
  return std::nullopt;
}

}  // namespace tarnel
