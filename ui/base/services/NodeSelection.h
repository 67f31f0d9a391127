#pragma once

// Where to connect, as the location, node and settings pages see it: the user's node, country,
// tag and protocol (kept by the library's node selection, which stores them), the node lists,
// the routing rule lists of a tunnel configuration and the region filter. Safe on any thread;
// nodesByCountry() and fetchNodes() block for their requests.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/connection/VPNProtocol.h"
#include "services/model/NodeModels.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

// The rule lists a tunnel configuration carries, worked out from the service's domain lists, the
// API hosts' addresses and the user's rules; `unlock` is the service's unlock list as held.
struct RuleLists {
  std::vector<std::string> unlock;
  std::vector<std::string> directDomains;
  std::vector<std::string> directIPs;
  std::vector<std::string> blockDomains;
  std::vector<std::string> blockIps;
  std::vector<std::string> proxyDomains;
  std::vector<std::string> proxyIPs;

  bool operator==(const RuleLists&) const = default;
};

class NodeSelection {
 public:
  virtual ~NodeSelection() = default;

  // The user's node when one is picked, else the node of the current connection, else none.
  virtual std::optional<tarnel::Node> currentNode() = 0;
  // The user's node pick (none: automatic choice); stored.
  virtual std::optional<tarnel::Node> selectedNode() = 0;
  virtual void setSelectedNode(const std::optional<tarnel::Node>& node) = 0;
  // The committed country and tag; a change empties the cached node list. Stored.
  virtual std::optional<tarnel::Country> currentCountry() = 0;
  virtual void setCurrentCountry(const std::optional<tarnel::Country>& country) = 0;
  virtual std::optional<tarnel::Tag> currentTag() = 0;
  virtual void setCurrentTag(const std::optional<tarnel::Tag>& tag) = 0;
  // The user's protocol, or under AUTO the one chosen for the attempt; the setter sets the
  // user's protocol and stores it.
  virtual tarnel::VPNProtocol currentProtocol() = 0;
  virtual void setCurrentProtocol(tarnel::VPNProtocol protocol) = 0;
  // True while a connection attempt runs.
  virtual bool isConnecting() = 0;

  // The enabled nodes of one country (any tag when `tagId` is -1), by ascending uptime; the
  // uptime figures are refreshed first when due.
  virtual std::vector<tarnel::Node> nodesByCountry(const std::string& country, std::int64_t tagId) = 0;
  // The cached node list of the chosen region while it is fresh; empty when stale or changed.
  virtual std::vector<tarnel::Node> cachedNodes() = 0;
  // Fetches the node list (leaving out the nodes in `extNodes`, ids joined by ",") into the cache.
  virtual ServiceError fetchNodes(const std::string& extNodes) = 0;
  virtual RuleLists ruleLists() = 0;

  // Regions: the fixed map of region names to country codes, the chosen region ("" for all;
  // stored), and the countries that carry `tag` (all without one) in the chosen region.
  virtual std::map<std::string, std::vector<std::string>> areaMap() = 0;
  virtual std::string selectedArea() = 0;
  virtual void setSelectedArea(const std::string& area) = 0;
  virtual std::vector<tarnel::Country> filterCountries(const std::vector<tarnel::Country>& countries,
                                                       const std::optional<tarnel::Tag>& tag) = 0;
};

}  // namespace lumora
