// Start to connected in tunnel mode (Spindrift's engine and capture, inside a network namespace
// of its own) next to proxy mode (local proxies), in one run. Needs root.
// Run: tunnel_bench 2>/dev/null (SpindriftAnswerBench.cpp adds its figures to the same run)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "tests/tunnel/TunnelWorld.h"

namespace {

using Clock = std::chrono::steady_clock;
using helmsey::CoreManager;
using helmsey::VPNStatus;

tarnel::test::TunnelWorld& world() {
  static tarnel::test::TunnelWorld instance;
  return instance;
}

// Runs one start and returns when it is connected (the time) or ended (none).
std::optional<double> startToConnected(const nlohmann::json& configuration) {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<VPNStatus> last;
  const auto begin = Clock::now();
  Clock::time_point at;
  CoreManager::startVPN(configuration, false, false, false, [&](VPNStatus status) {
    std::lock_guard lock(mutex);
    if (status == VPNStatus::connected || status == VPNStatus::disconnected) {
      last = status;
      at = Clock::now();
      changed.notify_all();
    }
  });
  std::unique_lock lock(mutex);
  changed.wait_for(lock, std::chrono::seconds(30), [&] { return last.has_value(); });
  if (last != VPNStatus::connected) return std::nullopt;
  return std::chrono::duration<double>(at - begin).count();
}

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

void run(benchmark::State& state, bool tunnel) {
  auto configuration = world().configuration();
  configuration["isTun"] = tunnel;
  for (auto _ : state) {
    const auto seconds = startToConnected(configuration);
    if (!seconds) {
      state.SkipWithError("the connection did not come up");
      break;
    }
    state.SetIterationTime(*seconds);
    stopEngine();
  }
}

void ProxyModeStartToConnected(benchmark::State& state) { run(state, false); }
void TunnelModeStartToConnected(benchmark::State& state) { run(state, true); }

const auto kMin = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
const auto kMax = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };

BENCHMARK(ProxyModeStartToConnected)
    ->Iterations(1)->Repetitions(20)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", kMin)->ComputeStatistics("max", kMax)->ReportAggregatesOnly(true);
BENCHMARK(TunnelModeStartToConnected)
    ->Iterations(1)->Repetitions(20)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", kMin)->ComputeStatistics("max", kMax)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  tarnel::test::TestHome home;
  benchmark::Initialize(&argc, argv);
  if (const auto reason = tarnel::test::tunnelSkipReason()) {
    std::fprintf(stderr, "tunnel_bench: %s\n", reason->c_str());
    return 1;
  }
  world().startSpindrift();
  helmsey::EngineEnvironment environment;
  environment.tunnelSocket = world().socketPath();
  helmsey::setEngineEnvironment(environment);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
