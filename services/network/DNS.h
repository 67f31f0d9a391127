#pragma once

// Host discovery: where the service API is today. Built-in endpoint groups are asked in turn for
// the enciphered discovery document at "/v6/get6"; the last answer is kept (in memory and in the
// settings store), its API hosts are probed and handed out one at a time, with a retry budget
// that every API call spends on a transport failure. The answer also names the web, download,
// payment, share and navigation hosts behind the link texts of the user interface.
//
// Every member may be called from any thread. The host list, its indexes, the budget, the answer
// and the official site are guarded together, so a reader never sees one answer's list with
// another's index. Discovery runs are serialised. Tasks started in the background (the refresh
// after a cached start, the web-site and payment-host probes) belong to the instance, which waits
// for them when it is destroyed; it first cancels the probes under way, so that an exit does not
// wait out their time-outs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "services/model/HttpDnsModels.h"
#include "services/network/BackgroundTasks.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

// One discovery endpoint: scheme, host and optional port (no path), and its extra headers.
struct DNSApi {
  std::string url;
  std::optional<std::map<std::string, std::string>> headers;

  bool operator==(const DNSApi& other) const = default;
};

// What discovery starts from: the endpoint groups in the order they are asked, and the official
// web site until an answer names one.
struct DNSDeployment {
  std::vector<std::vector<DNSApi>> groups;
  std::string officialSite;

  // The five groups of the build's configuration: two direct addresses with the discovery name
  // and a named fallback each, the two cloud-storage mirrors, the mirrors by address, and the
  // three HTTP-DNS servers.
  static DNSDeployment builtIn();
};

class DNS {
 public:
  // One entry of the API host list: where requests go, and the name for the Host header when
  // `host` is an address.
  struct API {
    std::string host;
    std::string domain;

    bool operator==(const API& other) const = default;
  };

  static constexpr const char* kDiscoveryPath = "/v6/get6";

  // The process-wide instance, made on first use with the built-in deployment.
  static DNS& shared();
  // Test seam: the endpoint groups and official site the shared instance uses from now on.
  static void setDeploymentForTesting(DNSDeployment deployment);

  explicit DNS(DNSDeployment deployment);
  ~DNS();
  DNS(const DNS&) = delete;
  DNS& operator=(const DNS&) = delete;

  // Start-up discovery: applies the cached answer at once and refreshes it in the background,
  // or, without a usable cache, asks the groups. True when an answer is held at the end.
  bool initDNS();

  // Asks the groups, each at most once, starting at the group that last gave an answer that
  // could be applied, until one does. `callback` sees each group's outcome: the answer of the
  // request that ended its sequence, or a made-up one with status -1 when every request failed.
  void getDNS(const std::function<void(const std::shared_ptr<HttpResponse>&)>& callback = {});

  // Applies an answer text (outer layer removed): decodes it, keeps it in the settings store,
  // builds and probes the API host list and starts the web-site and payment-host probes. A text
  // that does not decode changes nothing and gives false.
  bool handleDNS(const std::string& text);

  // Chooses the official web site among the answer's candidates by probing them in order.
  void probeOfficialSites();

  // Moves to the next API host, spending one unit of the retry budget; true while it lasts.
  bool nextHost();

  // The current API host, read together: empty texts while the host list is empty.
  API currentHost() const;
  // Every API host once, in the order nextHost() would move through them, the current one first.
  // Reads only: neither the current host nor the retry budget changes.
  std::vector<API> hostsFromCurrent() const;
  std::string apiDomain() const;
  std::string apiBaseUrl() const;  // "https://" + host + "/v6"
  std::string apiBaseHost() const;

  // Refills the retry budget to the number of known API hosts.
  void restoreRetryBudget();

  // Link texts for the user interface; those built on a host of the answer are empty while no
  // answer is held or that host is empty.
  std::string payUrl();
  std::string payUrlBackup() const;
  std::string cdndlUrl() const;
  std::string officialEmail() const;
  std::string shareUrl() const;
  std::string custom() const;
  std::string countryIcon() const;  // "%@" stands for an upper-case country code
  std::string officialDomain() const;
  std::string privacyUrl() const;
  std::string serviceUrl() const;
  std::string shareHelp() const;
  std::string shareAchievement();
  std::string shop();
  std::string help() const;  // "%@" stands for the page's name
  std::string share() const;
  std::string mobile() const;
  std::string naviTitle() const;
  std::string naviUrl();

  // State, read as one consistent copy each.
  std::vector<API> dnsApi() const;
  std::vector<std::string> directIPs() const;
  std::int64_t retryCount() const;
  void setRetryCount(std::int64_t value);
  std::int64_t apiIndex() const;
  std::int64_t dnsIndex() const;
  std::int64_t payIndex() const;
  void setPayIndex(std::int64_t value);
  std::optional<HttpDns> dnsData() const;
  std::string officialSiteUrl() const;

  // Waits until the background tasks started so far (and those they start) have ended.
  void waitForBackgroundTasks();

 private:
  void probeSiteAndPayHosts(const HttpDnsBody& body);
  std::string payHost();
  std::string linkSignatureQuery();  // "&ts=<ts>&sign=<signature of ts>"
  std::vector<std::vector<DNSApi>> groups() const;

  mutable std::mutex mutex_;
  std::vector<std::vector<DNSApi>> apis_;
  std::string officialSiteUrl_;
  std::vector<API> dnsApi_;
  std::vector<std::string> directIPs_;
  std::int64_t retryCount_ = 0;
  std::int64_t apiIndex_ = 0;
  std::int64_t dnsIndex_ = 0;
  std::int64_t payIndex_ = 0;
  std::optional<HttpDns> dnsData_;

  std::mutex runMutex_;  // one discovery run at a time
  std::atomic<bool> stopping_{false};
  // Set when the instance is destroyed: every probe under way ends (within about a second).
  std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
  BackgroundTasks tasks_;  // last: its destructor waits for tasks that use the members above
};

}  // namespace tarnel
