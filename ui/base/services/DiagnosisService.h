#pragma once

// What the network diagnosis asks of the library beyond node selection and the engine: a fresh
// report, host discovery with each group's answer, the API host rotation, plain fetches, the
// node opening and port probes of its node test, and the report's upload. Blocking, safe on any
// thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIResult.h"
#include "services/log/ReportData.h"
#include "services/network/HttpResponse.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

// The API host in use, read together.
struct ApiHost {
  std::string baseUrl;  // "https://" + host + "/v6"
  std::string host;     // a name or an address
  std::string domain;   // the Host header to send when `host` is an address

  bool operator==(const ApiHost&) const = default;
};

class DiagnosisService {
 public:
  virtual ~DiagnosisService() = default;

  // A report holding what the library knows now (build, device, network, account, protocols).
  virtual tarnel::ReportData newReport() = 0;
  // The credential a trial tunnel presents to the node: the device-derived identifier in UUID form.
  virtual std::string userUID() = 0;

  // Asks the discovery groups again; `each` hears every group's answer (status -1 for a group
  // where every request failed), on the calling thread, before this returns.
  virtual void discover(const std::function<void(const std::shared_ptr<tarnel::HttpResponse>&)>& each) = 0;
  virtual ApiHost apiHost() = 0;
  // Moves every later API call to the next host; false once the retry budget is spent.
  virtual bool nextHost() = 0;
  // Every API host once, the one in use first, in the order nextHost() moves through them. Reads
  // only: the host in use and the retry budget of later calls stay as they are.
  virtual std::vector<ApiHost> apiHosts() = 0;
  // The name of the signed-in account's country `code`; none when the account has no such country.
  virtual std::optional<std::string> countryName(const std::string& code) = 0;

  // One GET of `url` with the given headers, through `proxy` ("http://127.0.0.1:<port>") when
  // given, with the library's time-out.
  virtual tarnel::NetworkResult fetch(const std::string& url, const std::map<std::string, std::string>& headers,
                                      const std::optional<std::string>& proxy) = 0;

  // Opens node `nodeId` with protocol code `protocol`; the answer as received.
  virtual tarnel::APIResult<std::shared_ptr<tarnel::HttpResponse>> openNode(const std::string& protocol,
                                                                           const std::string& nodeId) = 0;
  // Probes every port of each host in turn until one answers 200; one answer per attempt.
  virtual std::vector<std::shared_ptr<tarnel::HttpResponse>> testAllPort(const std::vector<std::string>& hosts,
                                                                        const std::string& domain,
                                                                        const std::vector<std::int64_t>& ports) = 0;

  virtual ServiceError sendReport(const tarnel::ReportData& report) = 0;
};

}  // namespace lumora
