// The network diagnosis report.
#include <memory>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointOutcomes.h"
#include "services/api/EndpointSupport.h"
#include "services/common/Global.h"
#include "services/log/ReportData.h"

namespace tarnel {

std::shared_ptr<APIErrorInfo> APIManager::sendReport(const ReportData& report) {
  if (api_detail::signedInAsGuestFirst()) return api_detail::noUserError();
  // A report that cannot be written still goes out, as an empty object.
  const Json body = toMap(report);
  APIRequest request;
  return api_detail::flagOutcome(
      request.perform<bool>("lite/users/" + Global::userId() + "/check", HttpMethod::POST, body));
}

}  // namespace tarnel
