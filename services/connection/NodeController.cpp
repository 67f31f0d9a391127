#include "services/connection/NodeController.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <unordered_set>

#include "services/base/Logger.h"
#include "services/common/Global.h"
#include "services/common/Store.h"
#include "services/connection/AreaFilter.h"
#include "services/connection/RuleEntry.h"
#include "services/encryption/StringExtension.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"

namespace tarnel {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::string joined(const std::vector<std::string>& list, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) text += separator;
    text += list[i];
  }
  return text;
}

// The JSON text of a choice, or the empty text for none (and for a value that does not encode).
template <class T>
std::string storedForm(const std::optional<T>& value) {
  if (!value) return {};
  return toJson(*value).value_or(std::string());
}

template <class T>
std::optional<T> restored(StoreKeys key) {
  const auto value = Store::getValue(key);
  if (!value) return std::nullopt;
  const auto text = value->string();
  if (!text || text->empty()) return std::nullopt;
  return fromJson<T>(*text);
}

std::string storedText(StoreKeys key) {
  const auto value = Store::getValue(key);
  return value ? value->string().value_or(std::string()) : std::string();
}

// The VMess codes are refused by nodes while our clock disagrees with the service's.
bool clockExcluded(const std::string& code, bool clockOffset) {
  return clockOffset && (code == rawValue(VPNProtocol::VMESS_TLS) || code == rawValue(VPNProtocol::VMESS_TURN));
}

std::vector<std::string> priorityCodes(const std::vector<VPNProtocol>& priority) {
  std::vector<std::string> codes;
  for (auto protocol : priority) codes.emplace_back(rawValue(protocol));
  return codes;
}

using EntryKind = RuleEntryKind;

// The entries of `kind`, by the same rule the proxy rules editor accepts them with.
std::vector<std::string> entriesOf(const std::vector<std::string>& entries, EntryKind kind, bool encode) {
  std::vector<std::string> kept;
  for (const auto& entry : entries) {
    if (ruleEntryKind(entry) == kind) kept.push_back(encode ? idnaEncoded(entry) : entry);
  }
  return kept;
}

std::vector<std::string> concatenated(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Host and port of a probe URL ("https://host:port/test"); port 443 when the URL names none.
struct UrlAuthority {
  std::string host;
  std::int64_t port = 443;
};

UrlAuthority authorityOf(const std::string& url) {
  UrlAuthority result;
  std::string rest = url;
  if (const auto scheme = rest.find("://"); scheme != std::string::npos) rest = rest.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const auto at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) return result;
    result.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size() && rest[close + 1] == ':') portText = rest.substr(close + 2);
  } else if (const auto colon = rest.rfind(':'); colon != std::string::npos) {
    result.host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
  } else {
    result.host = rest;
  }
  if (!portText.empty() && portText.size() <= 5 &&
      std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    result.port = std::stoll(portText);
  }
  return result;
}

std::int64_t refreshMinutes() {
  const Login login = Global::loginInfo();
  return login.other ? login.other->lite_update_interval : NodeController::kDefaultRefreshMinutes;
}

}  // namespace

NodeController& NodeController::shared() {
  static NodeController instance(makeAPINodeService());
  static const bool hooked = [] {
    Global::setCurrentTagCheck([](const std::unordered_set<std::int64_t>& tagIds) {
      const auto tag = instance.currentTag();
      if (tag && !tagIds.contains(tag->id)) instance.setCurrentTag(std::nullopt);
    });
    return true;
  }();
  (void)hooked;
  return instance;
}

NodeController::NodeController(std::unique_ptr<NodeService> service) : service_(std::move(service)) {
  currentNode_ = restored<Node>(StoreKeys::CURRENT_NODE);
  selectedNode_ = restored<Node>(StoreKeys::SELECTED_NODE);
  currentCountry_ = restored<Country>(StoreKeys::CURRENT_COUNTRY);
  currentTag_ = restored<Tag>(StoreKeys::CURRENT_TAG);
  // An unknown stored code counts as automatic choice.
  selectedProtocol_ = vpnProtocolFromRaw(storedText(StoreKeys::SELECTED_PROTOCOL)).value_or(VPNProtocol::AUTO);
  service_->attach(*this);
}

NodeController::~NodeController() { service_->detach(); }

void NodeController::forgetStoredChoices() {
  std::lock_guard lock(mutex_);
  pendingWrites_.clear();  // choices made before they were forgotten
  currentNode_.reset();
  selectedNode_.reset();
  currentCountry_.reset();
  currentTag_.reset();
  selectedProtocol_ = VPNProtocol::AUTO;
  nodes_.clear();
  updateTime_ = -1;
}

void NodeController::queueWriteLocked(StoreKeys key, std::optional<StoreValue> value) {
  pendingWrites_.push_back(PendingWrite{key, std::move(value), ++writeOrder_});
}

void NodeController::writePending() {
  std::vector<PendingWrite> writes;
  {
    std::lock_guard lock(mutex_);
    writes.swap(pendingWrites_);
  }
  if (writes.empty()) return;
  std::lock_guard lock(writeMutex_);
  for (auto& write : writes) {
    auto& last = lastWritten_[write.key];
    if (last > write.order) continue;  // a later choice of the same key is on disk already
    last = write.order;
    Store::setValue(write.key, write.value);
  }
}

// --- plain state ---------------------------------------------------------------------------

bool NodeController::isConnecting() const {
  std::lock_guard lock(mutex_);
  return isConnecting_;
}

void NodeController::setIsConnecting(bool value) {
  std::lock_guard lock(mutex_);
  isConnecting_ = value;
  ++epoch_;
}

bool NodeController::staleLocked(Epoch epoch) const { return !isConnecting_ || epoch_ != epoch.value; }

std::optional<Node> NodeController::currentNodeLocked() const { return selectedNode_ ? selectedNode_ : currentNode_; }

VPNProtocol NodeController::currentProtocolLocked() const {
  return selectedProtocol_ == VPNProtocol::AUTO ? chosenProtocol_ : selectedProtocol_;
}

void NodeController::setCurrentNodeLocked(const std::optional<Node>& node) {
  currentNode_ = node;
  queueWriteLocked(StoreKeys::CURRENT_NODE, storedForm(node));
}

std::optional<Node> NodeController::currentNode() const {
  std::lock_guard lock(mutex_);
  return currentNodeLocked();
}

void NodeController::setCurrentNode(const std::optional<Node>& node) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  setCurrentNodeLocked(node);
}

std::optional<Node> NodeController::selectedNode() const {
  std::lock_guard lock(mutex_);
  return selectedNode_;
}

void NodeController::setSelectedNode(const std::optional<Node>& node) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  markNodesUpdatedLocked();
  selectedNode_ = node;
  queueWriteLocked(StoreKeys::SELECTED_NODE, storedForm(node));
}

std::optional<Country> NodeController::currentCountry() const {
  std::lock_guard lock(mutex_);
  return currentCountry_;
}

void NodeController::setCurrentCountry(const std::optional<Country>& country) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  currentCountry_ = country;
  isChanged_ = true;
  failedNodes_.clear();
  queueWriteLocked(StoreKeys::CURRENT_COUNTRY, storedForm(country));
}

std::optional<Tag> NodeController::currentTag() const {
  std::lock_guard lock(mutex_);
  return currentTag_;
}

void NodeController::setCurrentTag(const std::optional<Tag>& tag) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  currentTag_ = tag;
  isChanged_ = true;
  failedNodes_.clear();
  queueWriteLocked(StoreKeys::CURRENT_TAG, storedForm(tag));
}

VPNProtocol NodeController::currentProtocol() const {
  std::lock_guard lock(mutex_);
  return currentProtocolLocked();
}

void NodeController::setCurrentProtocol(VPNProtocol protocol) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  selectedProtocol_ = protocol;
  failedNodes_.clear();
  queueWriteLocked(StoreKeys::SELECTED_PROTOCOL, std::string(rawValue(protocol)));
}

std::optional<Open> NodeController::openInfo() const {
  std::lock_guard lock(mutex_);
  return openInfo_;
}

std::map<std::string, std::int64_t> NodeController::fastServer() const {
  std::lock_guard lock(mutex_);
  return fastServer_;
}

std::vector<std::string> NodeController::failedNodes() const {
  std::lock_guard lock(mutex_);
  return failedNodes_;
}

std::map<std::string, std::vector<std::string>> NodeController::failedProtocol() const {
  std::lock_guard lock(mutex_);
  return failedProtocol_;
}

std::vector<Node> NodeController::nodes() const {
  std::lock_guard lock(mutex_);
  return nodes_;
}

std::int64_t NodeController::updateTime() const {
  std::lock_guard lock(mutex_);
  return updateTime_;
}

std::size_t NodeController::nodeIndex() const {
  std::lock_guard lock(mutex_);
  return nodeIndex_;
}

void NodeController::clearFailureMemoryLocked() {
  failedNodes_.clear();
  failedProtocol_.clear();
}

void NodeController::clearFailureMemory() {
  std::lock_guard lock(mutex_);
  clearFailureMemoryLocked();
}

void NodeController::clearFailures(const std::string& nodeId) {
  std::lock_guard lock(mutex_);
  failedProtocol_[nodeId].clear();
  std::erase(failedNodes_, nodeId);
}

// --- rule lists ----------------------------------------------------------------------------

std::vector<std::string> NodeController::directDomains() const {
  const Domains domains = Global::domains();
  return concatenated(concatenated(domains.direct_domain_g0, domains.direct_domain_g1),
                      entriesOf(Global::proxyRule().direct, EntryKind::domain, true));
}

std::vector<std::string> NodeController::directIPs() const {
  return concatenated(DNS::shared().directIPs(), entriesOf(Global::proxyRule().direct, EntryKind::address, false));
}

std::vector<std::string> NodeController::blockDomains() const {
  return entriesOf(Global::proxyRule().block, EntryKind::domain, true);
}

std::vector<std::string> NodeController::blockIps() const {
  return entriesOf(Global::proxyRule().block, EntryKind::address, false);
}

std::vector<std::string> NodeController::proxyDomains() const {
  return entriesOf(concatenated(Global::domains().proxy, Global::proxyRule().proxy), EntryKind::domain, true);
}

std::vector<std::string> NodeController::proxyIPs() const {
  return entriesOf(concatenated(Global::domains().proxy, Global::proxyRule().proxy), EntryKind::address, true);
}

// --- node list -----------------------------------------------------------------------------

void NodeController::markNodesUpdatedLocked() {
  nodeIndex_ = 0;
  failedNodes_.clear();
  updateTime_ = Global::currentTimeMillisecondsSinceEpoch();
  isChanged_ = false;
  queueWriteLocked(StoreKeys::NODE_UPDATE_TIME, updateTime_);
}

void NodeController::markNodesUpdated() {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  markNodesUpdatedLocked();
}

void NodeController::nodesFetched(std::vector<Node> nodes) {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  markNodesUpdatedLocked();
  nodes_ = std::move(nodes);
}

std::vector<Node> NodeController::getNodesLocked() {
  if (const auto node = currentNodeLocked()) {
    nodeIndex_ = 0;
    return {*node};
  }
  if (isChanged_) return {};
  const std::int64_t now = Global::currentTimeMillisecondsSinceEpoch();
  if (updateTime_ == -1) {
    const auto stored = Store::getValue(StoreKeys::NODE_UPDATE_TIME);
    const auto storedTime = stored ? stored->integer() : std::nullopt;
    if (storedTime && *storedTime != 0) {
      updateTime_ = *storedTime;
    } else {
      updateTime_ = now;
      queueWriteLocked(StoreKeys::NODE_UPDATE_TIME, now);
    }
  }
  if (now - updateTime_ <= refreshMinutes() * 60 * 1000) return AreaFilter::filterNodes(nodes_);
  return {};
}

std::vector<Node> NodeController::getNodes() {
  const WriteBehind writes(*this);
  std::lock_guard lock(mutex_);
  return getNodesLocked();
}

std::vector<Node> NodeController::classicNodes() {
  const Login login = Global::loginInfo();
  // The classic list is versioned by the sign-in settings; without them there is nothing to ask.
  if (!login.other) return {};
  const std::string version = login.other->node_updated_at;
  if (storedText(StoreKeys::NODE_VERSION) == version) {
    std::vector<std::optional<std::string>> texts;
    if (const auto stored = Store::getValue(StoreKeys::NODES)) {
      if (const auto plain = stored->stringList()) {
        texts.assign(plain->begin(), plain->end());
      } else if (const auto optional = stored->optionalStringList()) {
        texts = *optional;
      }
    }
    std::vector<Node> cached;
    for (const auto& text : texts) {
      if (!text) continue;
      if (auto node = fromJson<Node>(*text)) cached.push_back(std::move(*node));
    }
    if (!cached.empty()) return cached;
  }
  std::vector<Node> fetched = service_->getClassicNodes();
  std::vector<std::string> texts;
  for (const auto& node : fetched) {
    if (auto text = toJson(node)) texts.push_back(std::move(*text));
  }
  Store::setValue(StoreKeys::NODE_VERSION, version);
  Store::setValue(StoreKeys::NODE_REFRESH_INTERVAL, Global::currentTimeMillisecondsSinceEpoch());
  Store::setValue(StoreKeys::NODES, texts);
  return fetched;
}

std::vector<Node> NodeController::getNodesByCountry(const std::string& country, std::int64_t tag) {
  const std::vector<Node> all = classicNodes();
  const Login login = Global::loginInfo();
  if (!login.other) return {};

  std::optional<std::map<std::string, std::int64_t>> uptime;
  const auto stored = Store::getValue(StoreKeys::NODE_REFRESH_INTERVAL);
  const std::int64_t refreshedAt = stored ? stored->integer().value_or(0) : 0;
  const std::int64_t now = Global::currentTimeMillisecondsSinceEpoch();
  if ((now - refreshedAt) / 60000 >= login.other->load_refresh_interval) {
    const auto answer = service_->getClassicUptime(country);
    Store::setValue(StoreKeys::NODE_REFRESH_INTERVAL, now);
    if (answer) uptime = answer->uptime;
  }

  std::vector<Node> kept;
  for (const auto& node : all) {
    if (node.country != country || node.enabled != 2) continue;
    if (tag != -1 && (!node.tags || std::find(node.tags->begin(), node.tags->end(), tag) == node.tags->end())) {
      continue;
    }
    Node copy = node;
    if (uptime) {
      const auto it = uptime->find(node.node_id);
      copy.uptime = it == uptime->end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    }
    kept.push_back(std::move(copy));
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Node& a, const Node& b) { return a.uptime.value_or(0) < b.uptime.value_or(0); });
  return kept;
}

// --- choice ----------------------------------------------------------------------------------

bool NodeController::isCandidateLocked(const Node& node, const std::string& code, bool clockOffset) {
  // A code this client does not know (or the empty one of automatic choice) cannot be opened or
  // connected, and failing it would never use the node up: such a node is no candidate.
  const auto concrete = [](const std::string& raw) {
    const auto protocol = vpnProtocolFromRaw(raw);
    return protocol && *protocol != VPNProtocol::AUTO;
  };
  if (!concrete(code) || !concrete(node.protocal)) return false;
  if (contains(failedNodes_, node.node_id)) return false;
  if (contains(failedProtocol_[node.node_id], code)) return false;
  if (contains(node.unsupported, code)) return false;
  return !clockExcluded(code, clockOffset);
}

void NodeController::markProtocolFailedLocked(const std::vector<VPNProtocol>& priority) {
  const auto node = currentNodeLocked();
  if (!node) return;
  auto& failed = failedProtocol_[node->node_id];
  failed.emplace_back(rawValue(currentProtocolLocked()));
  // Used up when every protocol we would try has failed on it or is one it does not offer.
  const auto order = priorityCodes(priority);
  if (order.empty()) return;
  std::set<std::string> ruledOut(failed.begin(), failed.end());
  ruledOut.insert(node->unsupported.begin(), node->unsupported.end());
  const bool usedUp = std::all_of(order.begin(), order.end(), [&](const auto& code) { return ruledOut.contains(code); });
  if (usedUp && !contains(failedNodes_, node->node_id)) failedNodes_.push_back(node->node_id);
}

void NodeController::markProtocolFailed() {
  const auto priority = Global::protocolPriority();
  std::lock_guard lock(mutex_);
  markProtocolFailedLocked(priority);
}

std::shared_ptr<APIErrorInfo> NodeController::pickConnectNode() {
  Epoch epoch;
  {
    std::lock_guard lock(mutex_);
    epoch.value = epoch_;
  }
  return pickConnectNode(epoch);
}

std::shared_ptr<APIErrorInfo> NodeController::pickConnectNode(Epoch epoch) {
  const WriteBehind writes(*this);
  const auto priority = Global::protocolPriority();
  const bool clockOffset = Global::serverTimeOffset() != 0;

  Lock lock(mutex_);
  std::vector<Node> list = getNodesLocked();
  while (list.empty()) {
    if (emptyFetchEpoch_ != epoch.value) {
      emptyFetchEpoch_ = epoch.value;
      emptyFetches_ = 0;
    }
    if (emptyFetches_ >= kMaxEmptyListFetches) {
      // The service keeps answering with no node: give up instead of asking forever.
      updateTime_ = 0;
      clearFailureMemoryLocked();
      return APIErrorInfo::make(APIErrorCode::noCandidate, APIErrorText::noCandidate);
    }
    const bool pause = emptyFetches_ > 0;
    ++emptyFetches_;
    const std::string extNodes = joined(failedNodes_, ",");
    lock.unlock();
    if (pause) std::this_thread::sleep_for(kEmptyListPause);
    auto error = service_->getNodes(extNodes);
    lock.lock();
    if (staleLocked(epoch)) return APIErrorInfo::make(APIErrorCode::abandoned, "");
    if (error) return error;
    list = getNodesLocked();
  }

  const std::string chosen(rawValue(selectedProtocol_));
  if (!chosen.empty()) {
    bool someNodeOffersIt = false;
    for (const auto& node : list) {
      if (contains(node.unsupported, chosen) || clockExcluded(chosen, clockOffset)) {
        failedNodes_.push_back(node.node_id);
      } else {
        someNodeOffersIt = true;
        break;
      }
    }
    if (!someNodeOffersIt) return APIErrorInfo::make(APIErrorCode::unsupportedProtocol, APIErrorText::unsupportedProtocol);
  }

  // First walk: from where the last choice stood, each node with the chosen protocol or, under
  // automatic choice, with its own. A list that shrank since starts from its beginning.
  if (nodeIndex_ > list.size()) nodeIndex_ = 0;
  for (std::size_t i = nodeIndex_; i < list.size(); ++i) {
    const std::string code = chosen.empty() ? list[i].protocal : chosen;
    if (isCandidateLocked(list[i], code, clockOffset)) {
      nodeIndex_ = i;
      chosenProtocol_ = vpnProtocolFromRaw(code).value_or(VPNProtocol::AUTO);
      setCurrentNodeLocked(list[i]);
      return nullptr;
    }
  }

  // Second walk, automatic choice only: protocol order first, node order second.
  if (chosen.empty()) {
    nodeIndex_ = 0;
    for (auto protocol : priority) {
      const std::string code(rawValue(protocol));
      for (std::size_t i = nodeIndex_; i < list.size(); ++i) {
        if (isCandidateLocked(list[i], code, clockOffset)) {
          nodeIndex_ = i;
          chosenProtocol_ = protocol;
          setCurrentNodeLocked(list[i]);
          return nullptr;
        }
      }
    }
  }

  // Nothing left: the next choice asks for a fresh list and starts with a clean memory, so an
  // outage does not rule out every node for the rest of the run.
  updateTime_ = 0;
  clearFailureMemoryLocked();
  if (selectedNode_) return APIErrorInfo::make(APIErrorCode::unavailableNode, APIErrorText::unavailableNode);
  return APIErrorInfo::make(APIErrorCode::noCandidate, APIErrorText::noCandidate);
}

std::shared_ptr<APIErrorInfo> NodeController::openNode() {
  const WriteBehind writes(*this);
  Epoch epoch;
  {
    std::lock_guard lock(mutex_);
    epoch.value = epoch_;
  }
  if (auto error = pickConnectNode(epoch)) return error;
  while (true) {
    std::string code;
    std::string nodeId;
    {
      std::lock_guard lock(mutex_);
      code = rawValue(currentProtocolLocked());
      nodeId = currentNodeLocked().value_or(Node{}).node_id;
    }
    const auto answer = service_->openConnect(code, nodeId, "", 1);
    const auto priority = Global::protocolPriority();
    {
      std::lock_guard lock(mutex_);
      if (staleLocked(epoch)) return APIErrorInfo::make(APIErrorCode::abandoned, "");
      if (answer.isSuccess() && answer.value()) {
        openInfo_ = *answer.value();
        return nullptr;
      }
      // A success without an answer cannot be connected to: it counts as a refusal.
      const auto error = answer.isSuccess() ? APIErrorInfo::make(APIErrorCode::modelError, APIErrorText::modelError)
                                            : answer.error();
      markProtocolFailedLocked(priority);
      setCurrentNodeLocked(std::nullopt);
      if (error->errCode == APIErrorCode::serverNodeRefused1 || error->errCode == APIErrorCode::serverNodeRefused2 ||
          error->errCode == APIErrorCode::serverNodeRefused3) {
        return APIErrorInfo::make(APIErrorCode::nodeRefused, error->errMsg);
      }
      if (selectedNode_) return error;
    }
    if (auto error = pickConnectNode(epoch)) return error;
  }
}

std::shared_ptr<APIErrorInfo> NodeController::checkPort() {
  const WriteBehind writes(*this);
  Epoch epoch;
  std::optional<Open> open;
  VPNProtocol protocol;
  {
    std::lock_guard lock(mutex_);
    epoch.value = epoch_;
    open = openInfo_;
    protocol = currentProtocolLocked();
  }

  std::vector<std::string> hosts;
  std::string domain;
  if (open) {
    if (isDirect(protocol)) {
      hosts.push_back(open->node.server);
    } else if (open->turn) {
      std::string rest = open->turn->server;
      std::size_t start = 0;
      while (start <= rest.size()) {
        const auto comma = rest.find(',', start);
        const auto relay = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!relay.empty()) hosts.push_back(relay);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
    domain = open->node.host + "-" + std::string(domainSpacing(protocol)) + "." + open->node.domain;
  }
  const std::vector<std::int64_t> ports =
      protocol == VPNProtocol::TROJAN_WS ? std::vector<std::int64_t>{443} : std::vector<std::int64_t>{};

  // Nothing to probe (a relay protocol whose answer carries no relay host) fails like a probe
  // that found no port, instead of probing nothing.
  std::optional<APIResult<std::map<std::string, std::int64_t>>> answer;
  if (!hosts.empty()) answer = service_->testNodePorts(hosts, domain, ports);

  const auto priority = Global::protocolPriority();
  std::map<std::string, std::string> record;
  std::shared_ptr<APIErrorInfo> error;
  {
    std::lock_guard lock(mutex_);
    if (staleLocked(epoch)) return APIErrorInfo::make(APIErrorCode::abandoned, "");
    if (answer && answer->isSuccess()) {
      fastServer_ = answer->value().value_or(std::map<std::string, std::int64_t>{});
      return nullptr;
    }
    error = answer ? answer->error() : APIErrorInfo::make(APIErrorCode::networkError, "");
    UrlAuthority failing;
    if (answer) {
      if (const auto* request = std::get_if<std::shared_ptr<NetworkRequest>>(&answer->failureValue());
          request && *request) {
        failing = authorityOf((*request)->url);
      }
    }
    const Node node = currentNodeLocked().value_or(Node{});
    record = {
        {"node_id", node.node_id},
        {"node_name", node.name},
        {"protocol", std::string(rawValue(protocol))},
        {"node_ip", failing.host},
        {"port", std::to_string(failing.port)},
        {"err_code", std::to_string(error->errCode)},
        {"err_msg", error->errMsg},
    };
    markProtocolFailedLocked(priority);
    setCurrentNodeLocked(std::nullopt);
  }
  service_->log(record, LogTopic::ERROR_NODE_PORT_CHECK);
  return error;
}

void NodeController::closeNode() {
  std::optional<Node> node;
  std::string code;
  {
    std::lock_guard lock(mutex_);
    node = currentNodeLocked();
    code = rawValue(currentProtocolLocked());
  }
  if (!node) return;  // nothing was opened that could be released
  service_->connectNode(code, node->node_id);
}

}  // namespace tarnel
