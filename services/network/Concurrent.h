#pragma once

// Which of several equivalent requests gets a good answer first? The requests are tried one
// after another in list order; the first success ends the sequence, and no later request is sent.

#include <cstdint>
#include <memory>
#include <vector>

#include "services/network/HttpResponse.h"
#include "services/network/NetworkRequest.h"

namespace tarnel {

class Concurrent {
 public:
  // What an empty list answers at once: failure at index -1 with this code and text.
  static constexpr std::int64_t kNoRequestCode = -1;
  static constexpr const char* kNoRequestText = "no request to send";

  // Blocks the calling thread for the whole sequence (each exchange bounded by its time-out).
  // Gives the position and answer of the earliest request that succeeded, or, when none did, the
  // position (size - 1) and error of the last one. A null entry counts as a failed request.
  static ConcurrentResult concurrentProcessing(const std::vector<std::shared_ptr<NetworkRequest>>& requests);

  Concurrent() = delete;
};

}  // namespace tarnel
