// How soon Spindrift answers one caller while another holds it: a polkit question nobody
// answers (another caller's stop; the capture's removal after the engine's death) and a start
// that waits for an engine that never listens (another caller's start; the starter's own stop).
// Part of tunnel_bench (root; network namespaces of its own).
#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/tunnel/TunnelWorld.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tarnel::test::ForeignCaller;
using tarnel::test::SpindriftClient;
using tarnel::test::TunnelWorld;

constexpr uid_t kStranger = 65534;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout) {
  const auto until = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Spindrift asking polkit through a pkcheck that waits ten minutes before it answers.
struct PolkitWorld {
  TunnelWorld world;
  fs::path asked = world.sharedDirectory() / "pkcheck.asked";
  PolkitWorld() {
    TunnelWorld::Launch launch;
    launch.path = tarnel::test::makeToolFolder(world.sharedDirectory() / "tools",
                                               "#!/bin/sh\n: > " + asked.string() + "\nexec /bin/sleep 600\n");
    launch.arguments = {"--polkit"};
    world.startSpindrift(launch);
  }
  // Another user's stop, which Spindrift puts to polkit; held open until the caller goes.
  std::unique_ptr<ForeignCaller> openQuestion() {
    fs::remove(asked);
    auto stranger = std::make_unique<ForeignCaller>(world.socketPath(), kStranger, nlohmann::json{{"command", "stop"}});
    if (!waitUntil([&] { return fs::exists(asked); }, std::chrono::seconds(30))) return nullptr;
    return stranger;
  }
};

PolkitWorld& polkitWorld() {
  static PolkitWorld instance;
  return instance;
}

// Spindrift with an engine that never listens: every start waits until the stop or its time-out.
TunnelWorld& slowEngineWorld() {
  static TunnelWorld instance;
  static const bool started = [] {
    const fs::path engine = instance.sharedDirectory() / "slow-v2ray";
    std::ofstream(engine) << "#!/bin/sh\nexec /bin/sleep 600\n";
    fs::permissions(engine, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    TunnelWorld::Launch launch;
    launch.arguments = {"--v2ray", engine.string()};
    instance.startSpindrift(launch);
    return true;
  }();
  (void)started;
  return instance;
}

bool startTunnel(SpindriftClient& client, const nlohmann::json& configuration) {
  return client.send({{"command", "start"}, {"configuration", configuration}}) && client.waitFor("connected");
}

void StopWhilePolkitQuestionOpen(benchmark::State& state) {
  auto& polkit = polkitWorld();
  for (auto _ : state) {
    SpindriftClient owner(polkit.world.socketPath());
    const bool started = startTunnel(owner, polkit.world.configuration());
    const auto question = polkit.openQuestion();
    if (!started || !question) {
      state.SkipWithError("no tunnel or no open polkit question");
      break;
    }
    SpindriftClient other(polkit.world.socketPath());
    const auto start = Clock::now();
    if (!other.send({{"command", "stop"}}) || !other.waitFor("disconnected")) {
      state.SkipWithError("the stop was not answered");
      break;
    }
    state.SetIterationTime(secondsSince(start));
  }
}

// From the engine's death to its owner being told, which Spindrift does once the capture is gone.
void CaptureRemovedAfterEngineDeathWhilePolkitQuestionOpen(benchmark::State& state) {
  auto& polkit = polkitWorld();
  for (auto _ : state) {
    SpindriftClient owner(polkit.world.socketPath());
    const pid_t engine = startTunnel(owner, polkit.world.configuration()) ? polkit.world.enginePid() : -1;
    const auto question = polkit.openQuestion();
    if (engine <= 0 || !question) {
      state.SkipWithError("no engine or no open polkit question");
      break;
    }
    const auto start = Clock::now();
    ::kill(engine, SIGKILL);
    if (!owner.waitFor("disconnected")) {
      state.SkipWithError("the engine's death was not noticed");
      break;
    }
    state.SetIterationTime(secondsSince(start));
    if (polkit.world.networkState().find("table inet spindrift") != std::string::npos) {
      state.SkipWithError("the capture is still there");
      break;
    }
  }
}

// A start that the slow engine keeps waiting: taken and "connecting", not yet connected.
bool startWaiting(SpindriftClient& starter, TunnelWorld& world) {
  return starter.send({{"command", "start"}, {"configuration", world.configuration()}}) &&
         starter.waitFor("connecting");
}

// The waiting start is ended (by its own stop) outside the timed part.
void AnotherStartWhileAStartWaitsForTheEngine(benchmark::State& state) {
  auto& world = slowEngineWorld();
  for (auto _ : state) {
    SpindriftClient starter(world.socketPath());
    if (!startWaiting(starter, world)) {
      state.SkipWithError("the start was not taken");
      break;
    }
    SpindriftClient other(world.socketPath());
    const auto start = Clock::now();
    const auto answer = other.send({{"command", "start"}, {"configuration", world.configuration()}})
                            ? other.next()
                            : std::nullopt;
    const double seconds = secondsSince(start);
    if (!answer || answer->value("failure", "") != "busy") {
      state.SkipWithError("another start was not answered as busy");
      break;
    }
    state.SetIterationTime(seconds);
    if (!starter.send({{"command", "stop"}}) || !starter.waitFor("disconnected")) {
      state.SkipWithError("the waiting start did not end");
      break;
    }
  }
}

void OwnStopWhileTheStartWaitsForTheEngine(benchmark::State& state) {
  auto& world = slowEngineWorld();
  for (auto _ : state) {
    SpindriftClient starter(world.socketPath());
    if (!startWaiting(starter, world)) {
      state.SkipWithError("the start was not taken");
      break;
    }
    const auto start = Clock::now();
    if (!starter.send({{"command", "stop"}}) || !starter.waitFor("disconnected")) {
      state.SkipWithError("the waiting start did not end");
      break;
    }
    state.SetIterationTime(secondsSince(start));
  }
}

const auto kMin = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
const auto kMax = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };

#define SPINDRIFT_ANSWER_BENCHMARK(name)                                                              \
  BENCHMARK(name)->Iterations(1)->Repetitions(10)->UseManualTime()->Unit(benchmark::kMillisecond)      \
      ->ComputeStatistics("min", kMin)->ComputeStatistics("max", kMax)->ReportAggregatesOnly(true)

SPINDRIFT_ANSWER_BENCHMARK(StopWhilePolkitQuestionOpen);
SPINDRIFT_ANSWER_BENCHMARK(CaptureRemovedAfterEngineDeathWhilePolkitQuestionOpen);
SPINDRIFT_ANSWER_BENCHMARK(AnotherStartWhileAStartWaitsForTheEngine);
SPINDRIFT_ANSWER_BENCHMARK(OwnStopWhileTheStartWaitsForTheEngine);

}  // namespace
