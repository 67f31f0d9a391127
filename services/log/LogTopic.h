#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnel {

// Topics of the cloud log. The raw value, sent as the upload's "__topic__" and kept with a record
// that failed to upload, is the case name itself; the one list below makes both.
#define TARNEL_LOG_TOPICS(X)                                                                            \
  X(APPCTRL) X(DEBUG) X(ERROR_API) X(ERROR_HTTPDNS) X(ERROR_NODE_CONNECT) X(ERROR_NODE_PORT_CHECK) \
  X(ERROR_NODE_USABILITY) X(EXCEPTION) X(FEEDBACK_PC) X(CRASH)

#define TARNEL_LOG_TOPIC_CASE(name) name,
enum class LogTopic { TARNEL_LOG_TOPICS(TARNEL_LOG_TOPIC_CASE) };
#undef TARNEL_LOG_TOPIC_CASE

#define TARNEL_LOG_TOPIC_ENTRY(name) LogTopic::name,
inline constexpr std::array kAllLogTopics{TARNEL_LOG_TOPICS(TARNEL_LOG_TOPIC_ENTRY)};
#undef TARNEL_LOG_TOPIC_ENTRY

std::string_view rawValue(LogTopic topic);

// The topic whose name equals `raw` exactly (case-sensitive), or none.
std::optional<LogTopic> logTopicFromRaw(std::string_view raw);

}  // namespace tarnel
