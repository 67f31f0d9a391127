#pragma once

// How the operations that answer "error or none" read a result whose success may still be no
// success: an answer that is not the service's error object passes the pipeline as a success of
// the status-flag and as-received kinds even when it is an error page (a proxy's 502, a 404 page).
// Such an answer did not do what was asked, so these operations report it as the network error
// the model kinds give for it, instead of telling the user it worked.

#include <memory>

#include "services/api/APIRequest.h"
#include "services/model/APIErrorInfo.h"

namespace tarnel::api_detail {

// Status flag: none for a 2xx answer (or one without a body), the failure's error, else -1.
inline std::shared_ptr<APIErrorInfo> flagOutcome(const APIResult<bool>& result) {
  if (!result.isSuccess()) return result.error();
  if (result.value() && !*result.value()) return networkError();
  return nullptr;
}

// Answer as received: none for a status below 400, the failure's error, else -1.
inline std::shared_ptr<APIErrorInfo> answerOutcome(const APIResult<std::shared_ptr<HttpResponse>>& result) {
  if (!result.isSuccess()) return result.error();
  if (result.value() && *result.value() && (*result.value())->statusCode >= 400) return networkError();
  return nullptr;
}

}  // namespace tarnel::api_detail
