#pragma once

// One network diagnosis: eight steps that test the direct network, host discovery, the API hosts
// and one node (with trial tunnels through the engine), collect the engine's logs and leave a
// report. It runs as one blocking job on a worker; the page hears the step and the end through
// callbacks on that worker and re-posts them. Cancelling wakes every wait of the job, ends it at
// the next step boundary or probe, and stops a trial tunnel it started.
//
// The trials share the engine with the user's connection. The run only ever stops a tunnel it
// started itself, and a connection the user starts while the run goes on wins: it replaces the
// trial, no further trial is started, and the run's last step leaves it running.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/VPNStatus.h"
#include "services/log/ReportData.h"
#include "ui/base/ConnectFront.h"
#include "ui/base/services/Services.h"

namespace lumora {

// The build-time addresses the run fetches: two domestic portals fetched directly, and three
// foreign sites fetched through a trial tunnel (the first repeated as the third).
struct DiagnosisAddresses {
  std::vector<std::string> referenceSites;
  std::vector<std::string> proxyTestSites;

  // The addresses this build was configured with.
  static DiagnosisAddresses configured();
};

// The user's settings the run uses, read on the GUI thread when the run starts.
struct DiagnosisSettings {
  bool tunnelMode = false;
  bool smartRoute = true;
  bool reconnect = false;
};

class DiagnosisRun : public std::enable_shared_from_this<DiagnosisRun> {
 public:
  static constexpr int kTotalSteps = 8;
  // A node list that stays empty after a successful fetch is asked for at most this often.
  static constexpr int kMaxNodeFetches = 3;

  struct Options {
    DiagnosisAddresses addresses;
    DiagnosisSettings settings;
    // How long a trial tunnel may take to come up, and a stop to be confirmed.
    std::chrono::milliseconds trialTimeout = std::chrono::seconds(25);
  };

  // `onStep` hears each step number (2 to 7) as the step begins; `onFinished` the report once the
  // run is through (step 8). Neither is called after cancel(). Both come on the run's thread.
  struct Listener {
    std::function<void(int step)> onStep;
    std::function<void(const tarnel::ReportData& report)> onFinished;
  };

  DiagnosisRun(Services services, std::shared_ptr<ConnectFront> front, Options options, Listener listener);

  // The whole run, blocking; step 1 begins at once. Any thread but the GUI's. Call once.
  void run();
  // Ends the run as soon as it can; afterwards no listener is called. Any thread; idempotent.
  void cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // True once run() has returned (with the trial tunnel, if any, stopped when cancelled).
  bool done() const;
  // Waits until run() has returned; false on time-out.
  bool waitDone(std::chrono::milliseconds timeout) const;

  // The report as the run left it; read only after done().
  const tarnel::ReportData& report() const { return report_; }
  // Whether a trial tunnel was started and not yet stopped by the run.
  bool trialRunning() const { return trial_.load(std::memory_order_acquire) != 0; }
  // Whether someone else (the user) started a connection while the run went on.
  bool superseded() const { return superseded_.load(std::memory_order_acquire); }

 private:
  class OneShot;

  bool enterStep(int step);
  std::int64_t now() const;
  std::string elapsedText(std::int64_t start) const;

  void testReferenceSites();
  void discover();
  void testAPIHost();
  void testNode();
  void collectLogs();

  bool trial(const tarnel::ReportNodeInfo& record, const std::string& host, std::int64_t port,
             tarnel::VPNProtocol protocol);
  bool testProxyFetch(tarnel::ReportNodeInfo record);
  // Stops the run's own trial tunnel, if one runs, and waits (bounded) for its confirmation; a
  // connection started by someone else is left alone.
  void stopTrial();
  // Waits for `shot` until it fires, the trial time-out passes or the run is cancelled.
  std::optional<helmsey::VPNStatus> wait(const std::shared_ptr<OneShot>& shot);

  Services services_;
  std::shared_ptr<ConnectFront> front_;
  Options options_;
  Listener listener_;
  tarnel::ReportData report_;

  std::atomic<bool> cancelled_{false};
  // The engine's number of the trial tunnel that may run (0: none), and the newest start the run
  // knows of: its own last trial, or the newest before the run began. A start by anyone else
  // after that makes the run give up the engine.
  std::atomic<std::uint64_t> trial_{0};
  std::uint64_t ownNewest_ = 0;  // run thread only
  std::atomic<bool> superseded_{false};
  mutable std::mutex waitMutex_;
  mutable std::condition_variable woken_;  // done_ changed
  bool done_ = false;                      // under waitMutex_
  std::shared_ptr<OneShot> waiting_;       // the trial start waited for, under waitMutex_
};

}  // namespace lumora
