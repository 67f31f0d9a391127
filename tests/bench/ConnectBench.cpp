// The connect path on loopback against its irreducible parts, all in one run:
//   connect        ConnectionController::openConnection to the step connect_success
//   node_list      one node-list call to the service double (a connect makes it when the list is stale)
//   node_open      one node-opening call to the service double
//   port_probe     one port probe of the node
//   engine_start   the bare engine from startVPN to listening, with the configuration a connect hands it
//   first_page     the first availability page through a freshly started engine
//   log_upload     one cloud-log upload (a reconnect records the failed port check)
//   engine_stop    the engine's stop (not part of a connect; a reconnect ends the engine first)
//   reconnect      the node in use is killed; openConnection to connect_success on the next node
//   call_work      one service call's own work: cipher, signature, JSON encoding and decoding
// measured in rounds (each round: the whole, then each part once), and prints, each on a line of
// its own:
//   connect ratio: X        median connect over the sum of the parts' medians
//   reconnect ratio: X      median reconnect over the sum of its parts' medians (two node
//                           openings; two failed probes of the dead node and one of the next;
//                           the cloud-log upload of the failed check; the stop of the engine
//                           that served the dead node)
//   reconnect over connect: X
//   service call work share: X %   cipher, signature, JSON encoding and decoding of one call over
//                                   node_open (a loopback round trip); also with the reading of
//                                   the common parameters from the settings store
//   trust store loads: N    times this process read the system's certificate bundle
// Run: connection_bench 2>/dev/null   (BENCH_TIMELINE=1 shows each reconnect's steps on stderr)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "core/CoreManager.h"
#include "core/HttpEngine.h"
#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/connection/Config.h"
#include "services/encryption/APIEncryption.h"
#include "services/encryption/Encryptor.h"
#include "services/log/CloudLog.h"
#include "services/model/Json.h"
#include "services/model/OpenModels.h"
#include "services/network/NetworkRequest.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/support/TestHome.h"
#include "tests/support/WireCipher.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarnel::test::E2EWorld;
using helmsey::VPNStatus;

constexpr int kRuns = 21;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::map<std::string, std::vector<double>>& samples() {
  static std::map<std::string, std::vector<double>> all;
  return all;
}

double median(const std::string& name) {
  auto values = samples()[name];
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::unique_ptr<E2EWorld> theWorld;

E2EWorld& world() { return *theWorld; }

std::size_t nodeIndexInUse() {
  const auto node = world().nodes().currentNode();
  return node && node->node_id == "B" ? 1 : 0;
}

bool connect() {
  world().events().clear();
  world().controller().openConnection();
  return world().events().waitFor("connect_success");
}

// The configuration a connect to node `index` hands the engine.
nlohmann::ordered_json engineConfig(std::size_t index) {
  auto& nodes = world().nodes();
  const auto settings = world().controller().settings();
  const std::string id = index == 0 ? "A" : "B";
  tarnel::Config config(settings.isSmart, settings.isTun, tarnel::Global::domains().unlock, nodes.proxyDomains(),
                        nodes.proxyIPs(), nodes.directDomains(), nodes.directIPs(), nodes.blockDomains(),
                        nodes.blockIps(), settings.dns, settings.dnsStrategy);
  config.servers = tarnel::ConfigServer("127.0.0.1", world().node(index).port(), tarnel::Global::userUID());
  config.protocol = "d";
  config.serverName = "h" + id + "-d.node.test";
  return tarnel::toMap(config);
}

// Starts the engine; the time it said connected, none when it did not.
std::optional<Clock::time_point> startEngine(const nlohmann::ordered_json& config) {
  struct Waiter {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<VPNStatus> last;
    Clock::time_point at;
  };
  auto waiter = std::make_shared<Waiter>();
  helmsey::CoreManager::startVPN(config, false, false, false, [waiter](VPNStatus status) {
    if (status != VPNStatus::connected && status != VPNStatus::disconnected) return;
    std::lock_guard lock(waiter->mutex);
    if (waiter->last) return;
    waiter->last = status;
    waiter->at = Clock::now();
    waiter->changed.notify_all();
  });
  std::unique_lock lock(waiter->mutex);
  waiter->changed.wait_for(lock, std::chrono::seconds(15), [&] { return waiter->last.has_value(); });
  if (waiter->last != VPNStatus::connected) return std::nullopt;
  return waiter->at;
}

void stopEngine() {
  auto done = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
  auto stopped = std::make_shared<bool>(false);
  helmsey::CoreManager::stopVPN([done, stopped](VPNStatus) {
    std::lock_guard lock(done->first);
    *stopped = true;
    done->second.notify_all();
  });
  std::unique_lock lock(done->first);
  done->second.wait_for(lock, std::chrono::seconds(15), [&] { return *stopped; });
}

bool fetchPageThroughEngine() {
  const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
  return tarnel::NetworkRequest(world().pageUrl("search"), tarnel::HttpMethod::GET, std::nullopt, std::nullopt,
                                std::nullopt, proxy, std::nullopt)
      .request()
      .isSuccess();
}

// --- one measurement each; false when it could not be made ---

void printTimeline(const char* what, Clock::time_point started) {
  if (std::getenv("BENCH_TIMELINE") == nullptr) return;
  std::fprintf(stderr, "%s\n", what);
  for (const auto& [event, at] : world().events().timeline()) {
    std::fprintf(stderr, "  %7.2f ms %s\n", std::chrono::duration<double, std::milli>(at - started).count(), event.c_str());
  }
}

bool measureConnect() {
  const auto started = Clock::now();
  if (!connect()) return false;
  samples()["connect"].push_back(msSince(started));
  printTimeline("connect", started);
  world().controller().disconnect();
  return true;
}

bool measureReconnect() {
  if (!connect()) return false;
  const std::size_t dying = nodeIndexInUse();
  world().node(dying).kill();
  const auto started = Clock::now();
  const bool reconnected = connect();
  const double ms = msSince(started);
  printTimeline("reconnect", started);
  const bool moved = nodeIndexInUse() != dying;
  world().node(dying).restart();
  world().controller().disconnect();
  if (!reconnected || !moved) return false;
  samples()["reconnect"].push_back(ms);
  return true;
}

bool measureNodeList() {
  const auto started = Clock::now();
  if (tarnel::APIManager::getNodes("") != nullptr) return false;
  samples()["node_list"].push_back(msSince(started));
  return true;
}

bool measureNodeOpen() {
  const auto started = Clock::now();
  if (!tarnel::APIManager::openConnect("d", "A", "", 1).isSuccess()) return false;
  samples()["node_open"].push_back(msSince(started));
  return true;
}

bool measurePortProbe() {
  const std::string url = "https://127.0.0.1:" + std::to_string(world().node(0).port()) + "/test";
  const auto started = Clock::now();
  const auto result = tarnel::NetworkRequest(url, tarnel::HttpMethod::GET, std::nullopt, std::nullopt,
                                             std::map<std::string, std::string>{{"host", "hA-a.node.test"}},
                                             std::nullopt, std::nullopt)
                          .request();
  if (!result.isSuccess()) return false;
  samples()["port_probe"].push_back(msSince(started));
  return true;
}

// The bare engine from start to listening, then its stop.
bool measureEngineStartAndStop() {
  const auto started = Clock::now();
  const auto connected = startEngine(engineConfig(0));
  if (!connected) return false;
  samples()["engine_start"].push_back(std::chrono::duration<double, std::milli>(*connected - started).count());
  const auto stopping = Clock::now();
  stopEngine();
  samples()["engine_stop"].push_back(msSince(stopping));
  return true;
}

bool measureFirstPage() {
  if (!startEngine(engineConfig(0))) return false;
  const auto started = Clock::now();
  const bool fetched = fetchPageThroughEngine();
  const double ms = msSince(started);
  stopEngine();
  if (!fetched) return false;
  samples()["first_page"].push_back(ms);
  return true;
}

// A failed port check is recorded in the cloud log before the next node is tried.
bool measureLogUpload() {
  const auto started = Clock::now();
  bool delivered = false;
  tarnel::CloudLog::log({{"node_id", "A"}, {"protocol", "d"}, {"err_code", "-7"}}, tarnel::LogTopic::ERROR_NODE_PORT_CHECK,
                        [&](bool ok) { delivered = ok; });
  if (!delivered) return false;
  samples()["log_upload"].push_back(msSince(started));
  return true;
}

// What a node-opening call does besides the network: the pipeline's cipher and signature on the
// way out, the deciphering and model decoding of the answer on the way back.
bool measureCallWork() {
  static const auto answerText =
      tarnel::test::wire::encipher(E2EWorld::openAnswer("hA", world().node(0).port()).dump());
  const auto started = Clock::now();
  tarnel::APIRequest request;  // reads the common query parameters
  const tarnel::Json body{{"balance", 1},
                          {"user", {{"id", "u-e2e"}, {"uid", tarnel::Global::userUID()}}},
                          {"game_mode", ""},
                          {"type", "d"}};
  const auto prepared = Clock::now();
  std::string pairs;
  for (const auto& pair : tarnel::makeKeyValuePairs(request.queryParameters)) pairs += (pairs.empty() ? "" : "&") + pair;
  const auto secret = tarnel::sharedEncryptor().encrypt(pairs);
  const auto cipherBody = tarnel::sharedEncryptor().encrypt(tarnel::jsonEncode(body));
  const auto enciphered = Clock::now();
  const auto signature =
      tarnel::APIEncryption::signRequest(std::to_string(tarnel::Global::currentTimeMillisecondsSinceEpoch()));
  const auto signedAt = Clock::now();
  const auto plain = tarnel::sharedEncryptor().decrypt(answerText);
  const auto open = plain ? tarnel::fromJson<tarnel::Open>(*plain) : std::nullopt;
  const auto decoded = Clock::now();
  benchmark::DoNotOptimize(secret);
  benchmark::DoNotOptimize(cipherBody);
  benchmark::DoNotOptimize(signature);
  if (!open) return false;
  const auto ms = [](auto from, auto to) { return std::chrono::duration<double, std::milli>(to - from).count(); };
  samples()["work_prepare"].push_back(ms(started, prepared));
  samples()["work_encipher"].push_back(ms(prepared, enciphered));
  samples()["work_sign"].push_back(ms(enciphered, signedAt));
  samples()["work_decode"].push_back(ms(signedAt, decoded));
  samples()["call_work"].push_back(ms(started, decoded));
  return true;
}

// --- the run ---

std::size_t listFetchesDuringConnects = 0;

// Each round measures the whole and every part once, one after the other, so that the machine's
// load at any moment weighs on the whole and its parts alike. The benchmark's own time is the
// connect's.
void ConnectAndParts(benchmark::State& state) {
  world().controller().disconnect();
  for (auto _ : state) {
    const auto listsBefore = world().service().requests("POST", "lite/users/*/nodes").size();
    const bool connected = measureConnect();
    listFetchesDuringConnects += world().service().requests("POST", "lite/users/*/nodes").size() - listsBefore;
    if (!connected) {
      state.SkipWithError("no connect_success");
      break;
    }
    state.SetIterationTime(samples()["connect"].back() / 1000.0);
    state.PauseTiming();
    const struct {
      const char* name;
      bool (*measure)();
    } parts[] = {{"node list", measureNodeList},       {"node opening", measureNodeOpen},
                 {"port probe", measurePortProbe},     {"engine start", measureEngineStartAndStop},
                 {"first page", measureFirstPage},     {"log upload", measureLogUpload},
                 {"reconnect", measureReconnect}};
    bool failed = false;
    for (const auto& part : parts) {
      if (!part.measure()) {
        state.SkipWithError((std::string(part.name) + " failed").c_str());
        failed = true;
        break;
      }
    }
    for (int i = 0; i < 50 && !failed; ++i) failed = !measureCallWork();
    state.ResumeTiming();
    if (failed) break;
  }
  for (const char* name : {"connect", "node_list", "node_open", "port_probe", "engine_start", "engine_stop",
                           "first_page", "log_upload", "reconnect", "call_work"}) {
    state.counters[std::string(name) + "_ms"] = median(name);
  }
}

BENCHMARK(ConnectAndParts)->UseManualTime()->Iterations(kRuns)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // A home of its own, as every test process has: the settings store and the keychain file.
  tarnel::test::TestHome home;
  benchmark::Initialize(&argc, argv);
  theWorld = std::make_unique<E2EWorld>(std::vector<E2EWorld::NodeSetup>{{"A"}, {"B"}});
  // The real service keeps connections alive between calls; so does its double here.
  world().service().setKeepAlive(true);
  world().logs().setKeepAlive(true);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double listShare = static_cast<double>(listFetchesDuringConnects) / kRuns;
  const double parts = median("node_open") + listShare * median("node_list") + median("port_probe") +
                       median("engine_start") + median("first_page");
  // A reconnect also ends the engine that served the dead node before the next one starts.
  // Two probes of the dead node fail before one of the next succeeds, and the failure is logged.
  const double reconnectParts = 2 * median("node_open") + 3 * median("port_probe") + median("log_upload") +
                                median("engine_stop") + median("engine_start") + median("first_page");
  std::printf("connect median: %.2f ms; parts: node_open %.2f + node_list %.2f x %.2f + port_probe %.2f + "
              "engine_start %.2f + first_page %.2f = %.2f ms\n",
              median("connect"), median("node_open"), median("node_list"), listShare, median("port_probe"),
              median("engine_start"), median("first_page"), parts);
  std::printf("connect ratio: %.2f\n", parts > 0 ? median("connect") / parts : 0.0);
  std::printf("reconnect median: %.2f ms; parts: 2 x node_open + 3 x port_probe + log_upload %.2f + engine_stop %.2f "
              "+ engine_start + first_page = %.2f ms\n",
              median("reconnect"), median("log_upload"), median("engine_stop"), reconnectParts);
  std::printf("reconnect ratio: %.2f\n", reconnectParts > 0 ? median("reconnect") / reconnectParts : 0.0);
  std::printf("reconnect over connect: %.2f\n", median("connect") > 0 ? median("reconnect") / median("connect") : 0.0);
  const double work = median("work_encipher") + median("work_sign") + median("work_decode");
  std::printf("service call work share: %.2f %%\n", median("node_open") > 0 ? 100.0 * work / median("node_open") : 0.0);
  std::printf("service call work share with the parameters read from the settings: %.2f %%\n",
              median("node_open") > 0 ? 100.0 * median("call_work") / median("node_open") : 0.0);
  std::printf("service call work: prepare %.1f + encipher %.1f + sign %.1f + decode %.1f us\n",
              1000 * median("work_prepare"), 1000 * median("work_encipher"), 1000 * median("work_sign"),
              1000 * median("work_decode"));
  std::printf("trust store loads: %llu\n",
              static_cast<unsigned long long>(helmsey::HttpEngine::systemTrustStoreLoads()));
  theWorld.reset();
  return 0;
}
