// Time from ConnectionController::openConnection to the step connect_success on loopback: node
// list and node opening from the service double, the port probe and the tunnel against a v2ray
// node, the real engine, and the first availability page through the engine's proxy.
// Run: connection_bench 2>/dev/null
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "tests/e2e/E2EWorld.h"
#include "tests/support/TestHome.h"

namespace {

using Clock = std::chrono::steady_clock;

void openConnectionToConnectSuccess(benchmark::State& state) {
  tarnel::test::E2EWorld world({{"A"}});
  std::vector<double> samples;
  for (auto _ : state) {
    world.events().clear();
    const auto started = Clock::now();
    world.controller().openConnection();
    if (!world.events().waitFor("connect_success")) {
      state.SkipWithError("no connect_success");
      break;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started;
    state.SetIterationTime(elapsed.count());
    samples.push_back(elapsed.count() * 1000.0);
    world.controller().disconnect();
  }
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  state.counters["min_ms"] = samples.front();
  state.counters["median_ms"] = samples[samples.size() / 2];
  state.counters["max_ms"] = samples.back();
}

BENCHMARK(openConnectionToConnectSuccess)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // A home of its own, as every test process has: the settings store and the keychain file.
  tarnel::test::TestHome home;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
