#include "services/network/Concurrent.h"

#include <optional>

namespace tarnel {

ConcurrentResult Concurrent::concurrentProcessing(const std::vector<std::shared_ptr<NetworkRequest>>& requests) {
  if (requests.empty()) {
    return ConcurrentResult::failure(-1, NetworkError{kNoRequestText, kNoRequestCode, kNoRequestText});
  }

  // Every completion runs inside its exchange on this thread, so the sequence's state needs no lock.
  std::optional<ConcurrentResult> result;
  bool cancelled = false;
  std::size_t finished = 0;

  for (std::size_t i = 0; i < requests.size() && !cancelled; ++i) {
    const auto index = static_cast<std::int64_t>(i);
    auto completion = [&](const NetworkResult& outcome) {
      if (cancelled) return;
      ++finished;
      if (outcome.isSuccess()) {
        result = ConcurrentResult::success(index, outcome.response());
        cancelled = true;  // a success ends the sequence: no later request is sent
      } else if (finished == requests.size()) {
        result = ConcurrentResult::failure(index, *outcome.error());
      }
    };
    if (requests[i]) {
      requests[i]->request(completion);
    } else {
      completion(NetworkResult::failure(NetworkError{kNoRequestText, kNoRequestCode, kNoRequestText}));
    }
  }
  return std::move(*result);
}

}  // namespace tarnel
