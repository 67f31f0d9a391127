// Time from CoreManager::startVPN to connected against a node on loopback, and to the first
// HTTPS page through the new connection. Run: engine_bench 2>/dev/null
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "tests/support/LoopbackHttpsServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"
#include "tests/support/V2rayNode.h"

namespace {

using Clock = std::chrono::steady_clock;
using helmsey::CoreManager;
using helmsey::VPNStatus;

struct World {
  tarnel::test::TempDir dir;
  tarnel::test::TestCA ca{dir.path()};
  std::string credential = tarnel::test::randomUuid();
  std::unique_ptr<tarnel::test::V2rayNode> node;
  std::unique_ptr<tarnel::test::LoopbackHttpsServer> page;

  World() {
    tarnel::test::V2rayNode::Options options;
    options.kind = tarnel::test::V2rayNode::Kind::vless;
    options.credential = credential;
    options.certificate = ca.issue("node", {"node.test"});
    options.hosts = {{"page.test", "127.0.0.1"}};
    node = std::make_unique<tarnel::test::V2rayNode>(options, dir.path());
    page = std::make_unique<tarnel::test::LoopbackHttpsServer>(
        ca.issue("page", {"page.test"}), "127.0.0.1", 0,
        [](const httplib::Request&, httplib::Response& response) { response.set_content("page", "text/plain"); });
    helmsey::EngineEnvironment environment;
    environment.extraCaCertificate = ca.certificatePath();
    helmsey::setEngineEnvironment(environment);
  }

  nlohmann::ordered_json config() const {
    return {{"isSmart", true},   {"isTun", false},          {"unlock", nlohmann::ordered_json::array()},
            {"alway", nlohmann::ordered_json::array()},     {"alwayIPs", nlohmann::ordered_json::array()},
            {"direct", nlohmann::ordered_json::array()},    {"directIPs", nlohmann::ordered_json::array()},
            {"blockDomains", nlohmann::ordered_json::array()}, {"blockIPs", nlohmann::ordered_json::array()},
            {"servers", {{"address", "127.0.0.1"}, {"port", node->port()}, {"password", credential}}},
            {"protocol", "d"},   {"serverName", "node.test"}, {"dns", "auto"}, {"dnsStrategy", "UseIP"}};
  }
};

World& world() {
  static World instance;
  return instance;
}

// Waits for one status of the connection being started.
class Waiter {
 public:
  helmsey::VPNStatusCallback callback() {
    return [this](VPNStatus status) {
      std::lock_guard lock(mutex_);
      if (status == VPNStatus::connected || status == VPNStatus::disconnected) {
        last_ = status;
        at_ = Clock::now();
        changed_.notify_all();
      }
    };
  }
  std::optional<Clock::time_point> connectedAt() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(15), [this] { return last_.has_value(); });
    if (last_ != VPNStatus::connected) return std::nullopt;
    return at_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<VPNStatus> last_;
  Clock::time_point at_;
};

void stopEngine() {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  CoreManager::stopVPN([&](VPNStatus) {
    std::lock_guard lock(mutex);
    finished = true;
    done.notify_all();
  });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
}

bool fetchPage() {
  CURL* curl = curl_easy_init();
  const std::string url = "https://page.test:" + std::to_string(world().page->port()) + "/";
  const std::string proxy = "http://127.0.0.1:" + std::to_string(CoreManager::httpPort());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_CAINFO, world().ca.certificatePath().c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
  const bool ok = curl_easy_perform(curl) == CURLE_OK;
  curl_easy_cleanup(curl);
  return ok;
}

void StartToConnected(benchmark::State& state) {
  const auto config = world().config();
  for (auto _ : state) {
    Waiter waiter;
    const auto begin = Clock::now();
    CoreManager::startVPN(config, false, false, false, waiter.callback());
    const auto connected = waiter.connectedAt();
    if (!connected) {
      state.SkipWithError("the engine did not connect");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(*connected - begin).count());
    stopEngine();
  }
}

void StartToFirstPage(benchmark::State& state) {
  const auto config = world().config();
  for (auto _ : state) {
    Waiter waiter;
    const auto begin = Clock::now();
    CoreManager::startVPN(config, false, false, false, waiter.callback());
    if (!waiter.connectedAt() || !fetchPage()) {
      state.SkipWithError("no page through the new connection");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    stopEngine();
  }
}

const auto kMin = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
const auto kMax = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };

BENCHMARK(StartToConnected)
    ->Iterations(1)->Repetitions(20)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", kMin)->ComputeStatistics("max", kMax)->ReportAggregatesOnly(true);
BENCHMARK(StartToFirstPage)
    ->Iterations(1)->Repetitions(20)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", kMin)->ComputeStatistics("max", kMax)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  tarnel::test::TestHome home;
  benchmark::Initialize(&argc, argv);
  world();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
