#include "ui/diagnosis/DiagnosisRun.h"

#include <utility>

#include "services/base/VPNProtocol.h"
#include "services/connection/Config.h"
#include "services/encryption/StringExtension.h"
#include "services/model/Json.h"
#include "services/model/OpenModels.h"

namespace lumora {
namespace {

using tarnel::HttpResponse;

std::shared_ptr<HttpResponse> madeUp(std::int64_t code, std::string message, std::int64_t time, std::string host,
                                     std::string path, std::int64_t port) {
  return std::make_shared<HttpResponse>(code, std::move(message), std::nullopt, time, std::move(host),
                                        std::move(path), port, std::map<std::string, std::string>{});
}

std::vector<std::string> splitNonEmpty(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::string piece;
  for (const char c : text) {
    if (c == separator) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

}  // namespace

// The first of a status callback, the time-out or a cancel ends the wait; later ones do nothing.
// Shared with the engine's callbacks, which may come after the run has ended, on any thread.
class DiagnosisRun::OneShot {
 public:
  // True when this call was the first.
  bool fire(helmsey::VPNStatus status) {
    std::lock_guard lock(mutex_);
    if (status_) return false;
    status_ = status;
    changed_.notify_all();
    return true;
  }
  void wake() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  // The status that ended the wait: the first fire(), or userCanceled once `timeout` has passed
  // without one; none when `stop` turned true first.
  std::optional<helmsey::VPNStatus> wait(std::chrono::milliseconds timeout, const std::function<bool()>& stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return status_.has_value() || stop(); })) {
      status_ = helmsey::VPNStatus::userCanceled;
    }
    return status_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<helmsey::VPNStatus> status_;
};

DiagnosisRun::DiagnosisRun(Services services, std::shared_ptr<ConnectFront> front, Options options,
                           Listener listener)
    : services_(std::move(services)),
      front_(std::move(front)),
      options_(std::move(options)),
      listener_(std::move(listener)) {}

void DiagnosisRun::cancel() {
  if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
  std::shared_ptr<OneShot> waiting;
  {
    std::lock_guard lock(waitMutex_);
    waiting = waiting_;
  }
  // The flag is set before the wake takes the one-shot's lock, so the waiter cannot miss it.
  if (waiting) waiting->wake();
}

bool DiagnosisRun::done() const {
  std::lock_guard lock(waitMutex_);
  return done_;
}

bool DiagnosisRun::waitDone(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(waitMutex_);
  return woken_.wait_for(lock, timeout, [this] { return done_; });
}

std::int64_t DiagnosisRun::now() const { return services_.status->serverTimeMilliseconds(); }

std::string DiagnosisRun::elapsedText(std::int64_t start) const { return std::to_string(now() - start) + " ms"; }

bool DiagnosisRun::enterStep(int step) {
  if (cancelled()) return false;
  if (listener_.onStep) listener_.onStep(step);
  return !cancelled();
}

void DiagnosisRun::run() {
  // What the library knows by itself; the steps add what they find.
  if (!cancelled()) report_ = services_.diagnosis->newReport();
  report_.app.runningModel = options_.settings.tunnelMode ? "Tunnel" : "Listen";

  const bool finished = [this] {
    if (cancelled()) return false;
    // Taken before step 1: a connection the user starts from here on is never replaced by a trial.
    ownNewest_ = services_.engine->newestConnection();
    // Step 1: every test starts without a tunnel of the user's.
    if (front_) front_->disconnect();
    if (!enterStep(2)) return false;
    testReferenceSites();
    if (!enterStep(3)) return false;
    discover();
    if (!enterStep(4)) return false;
    testAPIHost();
    if (!enterStep(5)) return false;
    testNode();
    if (!enterStep(6)) return false;
    collectLogs();
    if (!enterStep(7)) return false;
    // Ends the trial tunnel of step 5; a connection the user started meanwhile is theirs and stays.
    stopTrial();
    // Step 8 reaches the page together with the report (onFinished), never before it.
    return !cancelled();
  }();

  // A cancelled run leaves no trial tunnel behind, and nothing else of the engine's is touched.
  stopTrial();
  if (finished && !cancelled() && listener_.onFinished) listener_.onFinished(report_);

  std::lock_guard lock(waitMutex_);
  done_ = true;
  woken_.notify_all();
}

void DiagnosisRun::testReferenceSites() {
  for (const auto& url : options_.addresses.referenceSites) {
    if (cancelled()) return;
    const std::int64_t start = now();
    const tarnel::NetworkResult result = services_.diagnosis->fetch(url, {}, std::nullopt);
    tarnel::ReportNetworkTest test(url, elapsedText(start), -1, "unknown error");
    if (const auto response = result.response()) {
      test.code = response->statusCode;
      test.msg = "";
    } else if (const auto error = result.error()) {
      test.code = error->code;
      test.msg = error->debugDescription();
    }
    report_.network.tests.push_back(std::move(test));
  }
}

void DiagnosisRun::discover() {
  services_.diagnosis->discover([this](const std::shared_ptr<HttpResponse>& answer) {
    if (answer) report_.app.httpdns.push_back(answer);
  });
}

void DiagnosisRun::testAPIHost() {
  // Each host once, read without moving the program's host or spending its retry budget.
  std::vector<ApiHost> hosts = services_.diagnosis->apiHosts();
  if (hosts.empty()) hosts.push_back(services_.diagnosis->apiHost());
  for (const auto& host : hosts) {
    if (cancelled()) return;
    const std::int64_t start = now();
    std::map<std::string, std::string> headers;
    if (tarnel::isIP(host.host)) headers["Host"] = host.domain;
    const tarnel::NetworkResult result = services_.diagnosis->fetch(host.baseUrl + "/test", headers, std::nullopt);
    if (const auto response = result.response()) {
      report_.app.api.push_back(response);
      return;
    }
    const auto error = result.error();
    if (!error) return;
    report_.app.api.push_back(madeUp(error->code, error->debugDescription(), now() - start, host.host, "test", 443));
  }
}

void DiagnosisRun::testNode() {
  std::vector<tarnel::Node> nodes = services_.nodes->cachedNodes();
  // A list that stays empty after a successful fetch is not asked for without end.
  for (int fetches = 0; nodes.empty() && fetches < kMaxNodeFetches; ++fetches) {
    if (cancelled()) return;
    if (services_.nodes->fetchNodes("")) return;
    nodes = services_.nodes->cachedNodes();
  }
  if (nodes.empty() || cancelled()) return;

  const tarnel::Node& node = nodes.front();
  // An unknown code (or the empty one of automatic choice, which no node is opened with) is
  // tested as the relay protocol.
  tarnel::VPNProtocol protocol =
      tarnel::vpnProtocolFromRaw(node.protocal).value_or(tarnel::VPNProtocol::TROJAN_TURN);
  if (protocol == tarnel::VPNProtocol::AUTO) protocol = tarnel::VPNProtocol::TROJAN_TURN;
  const std::string code(tarnel::rawValue(protocol));
  tarnel::ReportNodeInfo record(node.node_id, node.name, code,
                                services_.diagnosis->countryName(node.country).value_or(""),
                                node.tags.value_or(std::vector<std::int64_t>{}), "", "", "", std::nullopt, 0,
                                node.port_turn.value_or(0), {}, {}, {});

  const std::int64_t start = now();
  const auto opened = services_.diagnosis->openNode(code, node.node_id);
  std::optional<tarnel::Open> open;
  if (opened.isSuccess()) {
    const std::shared_ptr<HttpResponse> response = opened.value().value_or(nullptr);
    if (!response) {
      record.open.push_back(madeUp(-1, "unknown error", now() - start, "", "", 0));
    } else {
      record.open.push_back(response);
      if (response->statusCode == 200) open = tarnel::fromJson<tarnel::Open>(response->value().value_or(""));
    }
  } else if (const auto answer = opened.response()) {
    record.open.push_back(answer);
  } else {
    const auto& error = opened.error();
    record.open.push_back(madeUp(error->errCode, error->errMsg, now() - start, "", "", 0));
  }

  if (open && !cancelled()) {
    record.server = open->node.server;
    record.host = open->node.host;
    record.domain = open->node.domain;
    record.port = open->node.port;

    std::vector<std::string> hosts;
    if (tarnel::isDirect(protocol)) {
      hosts.push_back(record.server);
    } else if (open->turn) {
      hosts = splitNonEmpty(open->turn->server, ',');
    }
    // A relay answer without relay data leaves nothing to probe: only the summary is kept.
    if (!hosts.empty()) {
      const std::string domain =
          record.host + "-" + std::string(tarnel::domainSpacing(protocol)) + "." + record.domain;
      std::vector<std::int64_t> ports;
      if (protocol == tarnel::VPNProtocol::TROJAN_WS) ports.push_back(443);
      record.port_test = services_.diagnosis->testAllPort(hosts, domain, ports);
      for (const auto& probe : record.port_test) {
        if (cancelled()) return;
        if (superseded()) break;
        if (!probe || probe->statusCode != 200) continue;
        if (trial(record, probe->host, probe->port, protocol)) break;
      }
    }
  }
  if (cancelled()) return;
  report_.app.nodes.push_back(std::move(record));
}

bool DiagnosisRun::trial(const tarnel::ReportNodeInfo& record, const std::string& host, std::int64_t port,
                         tarnel::VPNProtocol protocol) {
  stopTrial();
  if (cancelled() || superseded()) return false;

  const RuleLists rules = services_.nodes->ruleLists();
  const auto& settings = options_.settings;
  tarnel::Config config(settings.smartRoute, settings.tunnelMode, rules.unlock, rules.proxyDomains, rules.proxyIPs,
                        rules.directDomains, rules.directIPs, rules.blockDomains, rules.blockIps, "auto", "UseIP");
  const std::string code(tarnel::rawValue(protocol));
  config.protocol = code;
  config.serverName = record.host + "-" + code + "." + record.domain;
  config.servers = tarnel::ConfigServer(host, port, services_.diagnosis->userUID());

  auto shot = std::make_shared<OneShot>();
  // The trial's number is known only once asked for; until then a status of it has nothing to
  // compare with, and only connected counts.
  auto number = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::weak_ptr<EngineService> engine = services_.engine;
  const std::uint64_t started = services_.engine->startVPNAfter(
      ownNewest_, config, settings.reconnect, false, false, [shot, number, engine](helmsey::VPNStatus status) {
        if (status == helmsey::VPNStatus::connected) {
          shot->fire(status);
          return;
        }
        // Replaced by someone else's start: the trial is over at once rather than at its time-out.
        const auto shared = engine.lock();
        const std::uint64_t own = number->load(std::memory_order_acquire);
        if (status == helmsey::VPNStatus::disconnected && shared && own != 0 && shared->newestConnection() != own) {
          shot->fire(status);
        }
      });
  if (started == 0) {
    // The user started a connection since the run began: theirs stays, no trial replaces it.
    superseded_.store(true, std::memory_order_release);
    return false;
  }
  number->store(started, std::memory_order_release);
  ownNewest_ = started;
  trial_.store(started, std::memory_order_release);
  // The tunnel of a trial that did not come up stays for the next trial's stop or the last step.
  const auto status = wait(shot);
  if (services_.engine->newestConnection() != started) superseded_.store(true, std::memory_order_release);
  if (status != helmsey::VPNStatus::connected || cancelled() || superseded()) return false;
  return testProxyFetch(record);
}

bool DiagnosisRun::testProxyFetch(tarnel::ReportNodeInfo record) {
  std::optional<std::string> proxy;
  if (!options_.settings.tunnelMode) proxy = "http://127.0.0.1:" + std::to_string(services_.engine->httpPort());
  bool reached = false;
  for (const auto& url : options_.addresses.proxyTestSites) {
    if (cancelled()) return false;
    const std::int64_t start = now();
    const tarnel::NetworkResult result = services_.diagnosis->fetch(url, {}, proxy);
    if (const auto response = result.response()) {
      record.test.push_back(response);
      if (response->statusCode >= 200 && response->statusCode <= 500) {
        reached = true;
        break;
      }
    } else if (const auto error = result.error()) {
      record.test.push_back(madeUp(error->code, error->debugDescription(), now() - start, url, "", 443));
    } else {
      record.test.push_back(madeUp(-1, "unknown error", now() - start, url, "", 443));
    }
  }
  report_.app.nodes.push_back(std::move(record));
  return reached;
}

void DiagnosisRun::collectLogs() {
  services_.engine->setIsTun(options_.settings.tunnelMode);
  report_.extra = services_.engine->getLog(helmsey::LogType::crash);
  if (cancelled()) return;
  report_.core = services_.engine->getLog(helmsey::LogType::core);
}

void DiagnosisRun::stopTrial() {
  const std::uint64_t trial = trial_.exchange(0, std::memory_order_acq_rel);
  if (trial == 0) return;
  // Someone else's start replaced the trial on the engine at some point.
  if (services_.engine->newestConnection() != trial) superseded_.store(true, std::memory_order_release);
  auto shot = std::make_shared<OneShot>();
  // The engine may confirm more than once, or late: only the first confirmation counts. It stops
  // the trial only while the trial is what it runs: a connection that replaced it stays.
  services_.engine->stopVPN(trial, [shot](helmsey::VPNStatus status) { shot->fire(status); });
  // Waited for even after a cancel, so the tunnel is down when the run reports done; bounded in
  // case the engine never confirms.
  (void)shot->wait(options_.trialTimeout, [] { return false; });
}

std::optional<helmsey::VPNStatus> DiagnosisRun::wait(const std::shared_ptr<OneShot>& shot) {
  {
    std::lock_guard lock(waitMutex_);
    waiting_ = shot;
  }
  const auto status = shot->wait(options_.trialTimeout, [this] { return cancelled(); });
  std::lock_guard lock(waitMutex_);
  waiting_.reset();
  return status;
}

}  // namespace lumora
