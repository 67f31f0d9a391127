// The home screen's connect, measured in one run on this machine, in the real program under its
// own X server, through a real v2ray node on loopback:
//   ui_connect        the click on the connect button to the first frame that shows "Connected"
//   library_connect   ConnectionController::openConnection alone (no click, no window work) to
//                     the same moment: the connected status
//   library_success   ConnectionController::openConnection to connect_success (the page check
//                     passed), the figure connection_bench calls "connect"
//   gui_stall         the longest late tick of a 2 ms timer on the GUI thread from each click to
//                     the end of its connect or disconnect; also less the time the thread was
//                     runnable but not run (a loaded machine), and the same for the second after
//                     each disconnect (BENCH_STALLS=1 prints each round's worst tick in parts)
//   rss               the program's resident memory while connected
//   steal             the share of the machine's processor time its host took (a virtual
//                     machine's vCPU descheduled by the hypervisor) during each round: a thread of
//                     the program, or the X server it waits on, is stopped for that time and the
//                     GUI thread's stalls grow with it, so stalls are also given for the rounds
//                     the host left alone
// Rounds alternate the click and the library alone, so the machine's load weighs on both alike.
// Run through scripts/bench-home, which also runs connection_bench for its connect figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QQuickStyle>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "services/connection/ConnectionController.h"
#include "tests/bench/GuiStall.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/shell_e2e/Desktop.h"
#include "tests/support/TestHome.h"

namespace {

using lumora::test::bench::Clock;
using lumora::test::bench::median;
using lumora::test::bench::ms;
using lumora::test::bench::runUntil;
using lumora::test::bench::StallMeter;
using tarnel::ConnectionController;
using namespace std::chrono_literals;

constexpr int kWarmUps = 2;
constexpr int kRounds = 15;
// A round in which the host took less than this share of the processors counts as left alone.
constexpr double kCalmSteal = 2.0;

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The machine's processor time so far, and the part of it the hypervisor took (steal), in ticks.
struct ProcessorTicks {
  double total = 0;
  double steal = 0;
};

ProcessorTicks processorTicks() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  stat >> cpu;
  ProcessorTicks ticks;
  for (int field = 0; field < 10; ++field) {
    double value = 0;
    if (!(stat >> value)) break;
    if (field < 8) ticks.total += value;  // guest time is already counted in user time
    if (field == 7) ticks.steal = value;
  }
  return ticks;
}

double stealShare(const ProcessorTicks& from, const ProcessorTicks& to) {
  const double total = to.total - from.total;
  return total > 0 ? 100.0 * (to.steal - from.steal) / total : 0.0;
}

ConnectionController::Phase phase() { return ConnectionController::shared().phase(); }

struct Bench {
  lumora::test::AppWorld& world;
  lumora::test::NodeWorld& nodes;
  StallMeter stall;
  std::vector<double> ui, library, librarySuccess, stalls, busyStalls, idleStalls, idleBusyStalls, rss, steal;
  Clock::time_point stateShown{};
  std::atomic<Clock::time_point::rep> frameAfterState{0};
  std::atomic<bool> awaitingFrame{false};

  Bench(lumora::test::AppWorld& w, lumora::test::NodeWorld& n) : world(w), nodes(n) {
    // The first frame drawn after the state turned to connected is the one that shows it.
    QObject::connect(world.window(), &QQuickWindow::frameSwapped, world.window(), [this] {
      if (awaitingFrame.exchange(false)) frameAfterState = Clock::now().time_since_epoch().count();
    }, Qt::DirectConnection);
    QObject::connect(&world.state(), &lumora::AppStateManager::currentStateChanged, world.window(), [this] {
      if (world.state().currentState() != QLatin1String("connected") || stateShown != Clock::time_point{}) return;
      stateShown = Clock::now();
      awaitingFrame = true;
    });
  }

  bool quiet() const { return phase() == ConnectionController::Phase::idle && tarnel::test::engineProcesses().empty(); }

  // The connect switch ignores a click within a second of the previous one.
  void pastTheGuard() { runUntil([] { return false; }, 1100); }

  bool uiRound(bool record) {
    pastTheGuard();
    stateShown = {};
    frameAfterState = 0;
    const ProcessorTicks roundStart = processorTicks();
    stall.begin();
    const auto clicked = Clock::now();
    if (!world.click("connectArea")) return false;
    if (!runUntil([this] { return frameAfterState.load() != 0; })) return false;
    const Clock::time_point shown{Clock::duration(frameAfterState.load())};
    // The rest of the attempt (the page check) still belongs to the connect.
    if (!runUntil([] { return phase() == ConnectionController::Phase::connected; })) return false;
    const auto connectStall = stall.end();
    const long kb = residentKb();
    pastTheGuard();
    stall.begin();
    if (!world.click("connectArea")) return false;
    if (!runUntil([this] { return world.text("statusText") == "Disconnected" && quiet(); })) return false;
    const auto disconnectStall = stall.end();
    // The next second on the home page, no click: what the page costs the thread by itself.
    stall.begin();
    runUntil([] { return false; }, 1000);
    const auto idle = stall.end();
    const double roundSteal = stealShare(roundStart, processorTicks());
    if (record) {
      steal.push_back(roundSteal);
      ui.push_back(ms(shown - clicked));
      stalls.push_back(std::max(connectStall.wall, disconnectStall.wall));
      const auto& worst = connectStall.wall > disconnectStall.wall ? connectStall : disconnectStall;
      if (std::getenv("BENCH_STALLS")) {
        std::fprintf(stderr, "stall %.2f ms: work %.2f, waiting to run %.2f, blocked %.2f; host steal %.1f %%\n",
                     worst.wall, worst.work, worst.queued, worst.blocked, roundSteal);
      }
      busyStalls.push_back(std::max(connectStall.program, disconnectStall.program));
      idleStalls.push_back(idle.wall);
      idleBusyStalls.push_back(idle.program);
      rss.push_back(kb / 1024.0);
    }
    return true;
  }

  bool libraryRound(bool record) {
    pastTheGuard();
    std::atomic<bool> finished{false};
    double toStatus = -1, toSuccess = -1;
    std::thread attempt([&] {
      const auto started = Clock::now();
      std::thread poll([&] {
        bool statusSeen = false;
        const auto deadline = started + 30s;
        while (Clock::now() < deadline) {
          const auto now = phase();
          if (!statusSeen && (now == ConnectionController::Phase::checking || now == ConnectionController::Phase::connected)) {
            toStatus = ms(Clock::now() - started);
            statusSeen = true;
          }
          if (now == ConnectionController::Phase::connected) {
            toSuccess = ms(Clock::now() - started);
            return;
          }
          std::this_thread::sleep_for(100us);
        }
      });
      ConnectionController::shared().openConnection();
      poll.join();
      ConnectionController::shared().disconnect();
      finished = true;
    });
    const bool ended = runUntil([&] { return finished.load(); }, 60000);
    attempt.join();
    if (!ended || toStatus < 0 || toSuccess < 0) return false;
    if (!runUntil([this] { return world.text("statusText") == "Disconnected" && quiet(); })) return false;
    if (record) {
      library.push_back(toStatus);
      librarySuccess.push_back(toSuccess);
    }
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  tarnel::test::TestHome home;
  setenv("GSETTINGS_BACKEND", "memory", 1);
  const auto screen = lumora::test::startDesktop();
  if (!screen) return 1;
  QApplication app(argc, argv);
  lumora::test::styleDesktop(app);

  int code = 0;
  {
    lumora::test::AppWorld world;
    if (!world.start()) {
      std::fprintf(stderr, "the program did not start\n");
      return 1;
    }
    lumora::test::NodeWorld nodes(world, {{"A"}});
    if (!world.signInToHome()) {
      std::fprintf(stderr, "no home page after the sign-in\n");
      return 1;
    }
    // As connection_bench runs it: the desktop's proxy settings are left alone.
    world.state().setSystemProxy(true);
    Bench bench(world, nodes);
    for (int i = 0; i < kWarmUps + kRounds && code == 0; ++i) {
      const bool record = i >= kWarmUps;
      if (!bench.uiRound(record)) {
        std::fprintf(stderr, "round %d: the click did not connect and disconnect\n", i);
        code = 1;
      } else if (!bench.libraryRound(record)) {
        std::fprintf(stderr, "round %d: the library alone did not connect\n", i);
        code = 1;
      }
    }
    if (code == 0) {
      const double uiMs = median(bench.ui);
      const double libraryMs = median(bench.library);
      const double added = uiMs - libraryMs;
      const double allowed = std::max(0.10 * libraryMs, 20.0);
      std::printf("rounds: %d (after %d warm-ups)\n", kRounds, kWarmUps);
      std::printf("click to \"Connected\" on screen, median: %.2f ms (min %.2f, max %.2f)\n", uiMs,
                  *std::min_element(bench.ui.begin(), bench.ui.end()), *std::max_element(bench.ui.begin(), bench.ui.end()));
      std::printf("library alone to the connected status, median: %.2f ms\n", libraryMs);
      std::printf("library alone to connect_success, median: %.2f ms\n", median(bench.librarySuccess));
      std::printf("the user interface adds: %.2f ms (%.1f %%); bar: under %.2f ms\n", added,
                  libraryMs > 0 ? 100.0 * added / libraryMs : 0.0, allowed);
      const auto largest = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
      std::printf("longest GUI-thread stall during connect and disconnect: %.2f ms (median of rounds %.2f); bar: 16 ms\n",
                  largest(bench.stalls), median(bench.stalls));
      std::printf("  less the time the loaded machine kept the thread waiting to run: %.2f ms (median of rounds %.2f)\n",
                  largest(bench.busyStalls), median(bench.busyStalls));
      std::printf("  the home page in the second after each disconnect, no click: %.2f ms (less the machine's: %.2f ms)\n",
                  largest(bench.idleStalls), largest(bench.idleBusyStalls));
      std::printf("host steal during the rounds: median %.1f %%, largest %.1f %% of the machine's processor time\n",
                  median(bench.steal), largest(bench.steal));
      std::vector<double> calmStalls, calmIdle;
      for (std::size_t i = 0; i < bench.stalls.size(); ++i) {
        if (bench.steal[i] < kCalmSteal) {
          calmStalls.push_back(bench.stalls[i]);
          calmIdle.push_back(bench.idleStalls[i]);
        }
      }
      if (calmStalls.empty()) {
        std::printf("  no round with host steal under %.0f %%\n", kCalmSteal);
      } else {
        std::printf("  in the %zu rounds with host steal under %.0f %%: longest stall %.2f ms (median %.2f), the home "
                    "page alone %.2f ms; bar: 16 ms\n",
                    calmStalls.size(), kCalmSteal, largest(calmStalls), median(calmStalls), largest(calmIdle));
      }
      std::printf("resident memory while connected: %.1f MB (largest of rounds %.1f); bar: 150 MB\n",
                  median(bench.rss), *std::max_element(bench.rss.begin(), bench.rss.end()));
    }
    ConnectionController::shared().disconnect();
  }
  return code;
}
