#pragma once

// Where to connect: the user's choices (node, country, tag, protocol, kept in the settings store),
// the cached node list and its age, the failure memory of this run, and the node, protocol and
// port choice that the connection attempt runs in its steps.
//
// Every member is safe to call from any thread. One mutex guards the state; it is never held
// while the service is asked anything, while something is logged or while a hook of another
// component runs. The blocking operations (openNode, checkPort, pickConnectNode, closeNode,
// getNodesByCountry) run on the caller's thread.
//
// Cancellation: setIsConnecting() starts a new epoch each time it is called. An operation that
// finds, after a service call, that the attempt was stopped (isConnecting false) or that another
// attempt has begun since it started, answers APIErrorCode::abandoned and changes nothing.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "services/base/VPNProtocol.h"
#include "services/common/Store.h"
#include "services/common/StoreKeys.h"
#include "services/connection/NodeService.h"
#include "services/model/APIErrorInfo.h"
#include "services/model/NodeModels.h"
#include "services/model/OpenModels.h"

namespace tarnel {

class NodeController {
 public:
  // Refresh interval of the node list, in minutes, when the sign-in settings carry none.
  static constexpr std::int64_t kDefaultRefreshMinutes = 6;
  // A node list that stays empty is asked for at most this often per attempt.
  static constexpr int kMaxEmptyListFetches = 3;
  static constexpr std::chrono::milliseconds kEmptyListPause{300};

  // The process-wide controller over the real service; made on first use, lives until the
  // process ends. It hands fetched node lists from the API to itself and lets a new sign-in drop
  // a current tag that is no longer offered.
  static NodeController& shared();

  // After the settings store was emptied ("Clear Cache"): the choices and the node list go back
  // to what an empty store gives, so nothing of them is written back later.
  void forgetStoredChoices();

  // Restores the stored choices. `service` is attached to this controller.
  explicit NodeController(std::unique_ptr<NodeService> service);
  ~NodeController();
  NodeController(const NodeController&) = delete;
  NodeController& operator=(const NodeController&) = delete;

  // True while a connection attempt runs. Every call starts a new epoch (see above).
  bool isConnecting() const;
  void setIsConnecting(bool value);

  // The user's node when one is selected, else the node chosen last; the setter replaces the
  // latter and stores it under CURRENT_NODE (the empty text for none).
  std::optional<Node> currentNode() const;
  void setCurrentNode(const std::optional<Node>& node);
  // The node the user picked (none: automatic). Setting it starts the walk afresh (as a new
  // node list does) and stores it under SELECTED_NODE.
  std::optional<Node> selectedNode() const;
  void setSelectedNode(const std::optional<Node>& node);
  // The country and tag the user picked; a change makes the cached list stale and forgets the
  // used-up nodes. Stored under CURRENT_COUNTRY and CURRENT_TAG.
  std::optional<Country> currentCountry() const;
  void setCurrentCountry(const std::optional<Country>& country);
  std::optional<Tag> currentTag() const;
  void setCurrentTag(const std::optional<Tag>& tag);
  // The user's protocol, or under AUTO the one chosen for the attempt. The setter sets the
  // user's protocol, forgets the used-up nodes and stores its code under SELECTED_PROTOCOL.
  VPNProtocol currentProtocol() const;
  void setCurrentProtocol(VPNProtocol protocol);

  // The routing rule lists of the tunnel configuration, worked out on every read from the
  // service's domain lists, the API hosts' addresses and the user's rules.
  std::vector<std::string> directDomains() const;
  std::vector<std::string> directIPs() const;
  std::vector<std::string> blockDomains() const;
  std::vector<std::string> blockIps() const;
  std::vector<std::string> proxyDomains() const;
  std::vector<std::string> proxyIPs() const;

  // The list was just fetched: the walk starts afresh, the used-up nodes are forgotten, the
  // update time (stored under NODE_UPDATE_TIME) is now.
  void markNodesUpdated();
  // A fetched node list: markNodesUpdated(), then the list replaces the cache.
  void nodesFetched(std::vector<Node> nodes);
  // What the choice walks: just the selected (or else the current) node; otherwise the cached
  // list in the chosen area while it is fresh, the empty list when it is stale or the location
  // changed.
  std::vector<Node> getNodes();
  // The enabled nodes of one country on the location screen (any tag when `tag` is -1), by
  // ascending uptime; the classic list and the uptime figures are refreshed when due.
  std::vector<Node> getNodesByCountry(const std::string& country, std::int64_t tag);

  // The steps of a connection attempt. Error or none.
  // Chooses node and protocol and opens the node on the service; none: currentNode(),
  // currentProtocol() and openInfo() are what to use.
  std::shared_ptr<APIErrorInfo> openNode();
  // Probes the opened node's ports; none: fastServer() holds the winning host and port.
  std::shared_ptr<APIErrorInfo> checkPort();
  // Chooses the next node and protocol, skipping what failed.
  std::shared_ptr<APIErrorInfo> pickConnectNode();
  // Remembers that the current protocol failed on the node in play.
  void markProtocolFailed();
  // Releases the node in play on the service; nothing to do without one.
  void closeNode();

  // Forgets every failed node and protocol of this run.
  void clearFailureMemory();
  // Forgets the failures of one node.
  void clearFailures(const std::string& nodeId);

  std::optional<Open> openInfo() const;
  std::map<std::string, std::int64_t> fastServer() const;
  std::vector<std::string> failedNodes() const;
  std::map<std::string, std::vector<std::string>> failedProtocol() const;
  std::vector<Node> nodes() const;
  std::int64_t updateTime() const;
  std::size_t nodeIndex() const;

 private:
  using Lock = std::unique_lock<std::mutex>;

  struct Epoch {
    std::uint64_t value = 0;
  };

  bool staleLocked(Epoch epoch) const;
  std::optional<Node> currentNodeLocked() const;
  VPNProtocol currentProtocolLocked() const;
  void setCurrentNodeLocked(const std::optional<Node>& node);
  void markNodesUpdatedLocked();
  void clearFailureMemoryLocked();
  void markProtocolFailedLocked(const std::vector<VPNProtocol>& priority);
  bool isCandidateLocked(const Node& node, const std::string& code, bool clockOffset);
  std::vector<Node> getNodesLocked();
  std::shared_ptr<APIErrorInfo> pickConnectNode(Epoch epoch);
  std::vector<Node> classicNodes();

  // Settings writes rewrite and flush the settings file. Made under mutex_, they would hold every
  // reader (the user interface's among them) for the length of a disk write; so the choices are
  // queued under mutex_ and written once it is released, by the call that made them.
  struct PendingWrite {
    StoreKeys key;
    std::optional<StoreValue> value;
    std::uint64_t order = 0;
  };
  // Writes what the calls of this scope queued when the scope ends (after its locks, when it is
  // declared before them).
  class WriteBehind {
   public:
    explicit WriteBehind(NodeController& owner) : owner_(owner) {}
    ~WriteBehind() { owner_.writePending(); }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

   private:
    NodeController& owner_;
  };
  void queueWriteLocked(StoreKeys key, std::optional<StoreValue> value);
  void writePending();

  std::unique_ptr<NodeService> service_;

  mutable std::mutex mutex_;
  std::vector<PendingWrite> pendingWrites_;  // guarded by mutex_
  std::uint64_t writeOrder_ = 0;             // guarded by mutex_
  // Writes of different calls may reach writePending in any order: a key keeps its latest value.
  std::mutex writeMutex_;
  std::map<StoreKeys, std::uint64_t> lastWritten_;  // guarded by writeMutex_
  std::optional<Node> currentNode_;
  std::optional<Node> selectedNode_;
  std::optional<Country> currentCountry_;
  std::optional<Tag> currentTag_;
  VPNProtocol selectedProtocol_ = VPNProtocol::AUTO;
  VPNProtocol chosenProtocol_ = VPNProtocol::TROJAN_WS;
  std::map<std::string, std::vector<std::string>> failedProtocol_;
  std::int64_t updateTime_ = -1;  // -1: not read from the store yet; 0: stale
  std::size_t nodeIndex_ = 0;
  bool isChanged_ = false;
  std::vector<std::string> failedNodes_;
  std::optional<Open> openInfo_;
  std::map<std::string, std::int64_t> fastServer_;
  bool isConnecting_ = false;
  std::uint64_t epoch_ = 0;
  std::uint64_t emptyFetchEpoch_ = 0;
  int emptyFetches_ = 0;
  std::vector<Node> nodes_;
};

}  // namespace tarnel
