#include "services/connection/Config.h"

#include <utility>

namespace tarnel {

Config::Config(bool isSmart, bool isTun, std::vector<std::string> unlock, std::vector<std::string> alway,
               std::vector<std::string> alwayIPs, std::vector<std::string> direct,
               std::vector<std::string> directIPs, std::vector<std::string> blockDomains,
               std::vector<std::string> blockIPs, std::string dns, std::string dnsStrategy)
    : isSmart(isSmart),
      isTun(isTun),
      unlock(std::move(unlock)),
      alway(std::move(alway)),
      alwayIPs(std::move(alwayIPs)),
      direct(std::move(direct)),
      directIPs(std::move(directIPs)),
      blockDomains(std::move(blockDomains)),
      blockIPs(std::move(blockIPs)),
      dns(std::move(dns)),
      dnsStrategy(std::move(dnsStrategy)) {}

}  // namespace tarnel
