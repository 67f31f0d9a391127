#pragma once

// The account status check and the server settings it brings, the application's language, the
// server-adjusted clock, start-up discovery and the user's proxy rules. The endpoint calls block
// the calling thread; the reads are cheap copies. Safe on any thread.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "services/common/AppInfo.h"
#include "services/connection/VPNProtocol.h"
#include "services/model/LiveModels.h"
#include "services/model/NodeModels.h"
#include "services/model/RuleModels.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

class StatusService {
 public:
  virtual ~StatusService() = default;

  // The status check: on success the status (currentLive()) and the login are up to date.
  virtual ServiceError live() = 0;
  // Refreshes the account parts of `fetch` (tarnel::FetchPart bits) into the held login.
  virtual ServiceError update(std::int64_t fetch) = 0;
  // Fetches the routing domain lists; a failure keeps the held ones.
  virtual void updateDomain() = 0;

  // Start-up: the network-type monitor (returns at once) and host discovery (true when an API
  // host is usable).
  virtual void startNetworkMonitor() = 0;
  virtual bool initDNS() = 0;

  // The last status answer; a default value before the first.
  virtual tarnel::Live currentLive() = 0;
  // The running build's identity (version, build, agent, app id).
  virtual tarnel::AppInfo appInfo() = 0;

  // "en", "zh-Hans" or "zh-Hant"; setting it stores the choice. apiLanguage: "zh" or "en".
  virtual std::string language() = 0;
  virtual void setLanguage(const std::string& code) = 0;
  virtual std::string apiLanguage() = 0;

  // Wall clock in milliseconds since 1970 plus the server's offset: only for comparing with the
  // server's time stamps, never for measuring elapsed time.
  virtual std::int64_t serverTimeMilliseconds() = 0;

  // What the held login offers: its protocols (server order), its tags that some country
  // carries, and its countries by code.
  virtual std::vector<tarnel::VPNProtocol> availableProtocols() = 0;
  virtual std::vector<tarnel::Tag> allTags() = 0;
  virtual std::map<std::string, tarnel::Country> countryMap() = 0;

  // The user's proxy rules as held (and stored) locally, and their upload to the service, which
  // is true on success and leaves the held rule alone.
  virtual tarnel::ProxyRule proxyRule() = 0;
  virtual void setProxyRule(const tarnel::ProxyRule& rule) = 0;
  virtual bool saveProxyRules(const tarnel::ProxyRule& rule) = 0;
};

}  // namespace lumora
