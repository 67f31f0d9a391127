#pragma once

// The cloud log as the pages use it: error records, analytics events and feedback. Each call
// uploads on the calling thread (up to the request time-out) and keeps a failed record for a
// later resend, so pages never call it on the GUI thread: they hand records to CloudLogQueue.

#include <functional>
#include <map>
#include <string>

#include "services/log/EventType.h"
#include "services/log/LogTopic.h"

namespace lumora {

using LogFields = std::map<std::string, std::string>;

class CloudLogService {
 public:
  virtual ~CloudLogService() = default;

  // `complete`, when given, learns whether the record was delivered, before log returns.
  virtual void log(const LogFields& fields, tarnel::LogTopic topic,
                   const std::function<void(bool delivered)>& complete = {}) = 0;
  virtual void onEvent(tarnel::EventType event, const std::string& value, const LogFields& message) = 0;
  virtual void addFeedback(const std::string& content, const std::string& email) = 0;
};

}  // namespace lumora
