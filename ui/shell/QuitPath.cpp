#include "ui/shell/QuitPath.h"

#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "ui/base/GuiQueue.h"
#include "ui/base/Workers.h"
#include "ui/base/services/EngineService.h"

namespace lumora {

// What leaveNow's callers share: who leaves, and the steps it has finished. The steps run on
// threads of their own, which hold it, so that one that outlives its bound touches nothing gone.
struct QuitPath::LeavingNow {
  std::mutex mutex;
  std::condition_variable changed;
  bool taken = false;
  bool stopped = false;
  bool restored = false;
  bool done = false;
};

QuitPath::QuitPath(std::shared_ptr<EngineService> engine, Actions actions, std::chrono::milliseconds stopBound,
                   QObject* parent)
    : QObject(parent),
      engine_(std::move(engine)),
      actions_(std::move(actions)),
      leavingNow_(std::make_shared<LeavingNow>()),
      stopBound_(stopBound) {}

void QuitPath::quit(int exitCode) { leave(exitCode, false); }

void QuitPath::restart() { leave(0, true); }

void QuitPath::leave(int exitCode, bool relaunch) {
  if (leaving_) return;
  leaving_ = true;
  exitCode_ = exitCode;
  relaunch_ = relaunch;
  emit leaving();

  // The cancel blocks until the attempt has let go of the engine; the engine then reports the
  // stop on its own thread. The report comes back here queued, and is dropped if the bound
  // already moved the way out on.
  // The guard is read only on the GUI thread.
  QPointer<QuitPath> self(this);
  Workers::run([self, engine = engine_, cancel = actions_.cancelConnection] {
    if (cancel) cancel();
    engine->stopVPN([self](helmsey::VPNStatus) {
      GuiQueue::post([self] {
        if (self) self->stopped();
      });
    });
  });
  QTimer::singleShot(stopBound_, this, &QuitPath::stopped);
}

void QuitPath::stopped() {
  if (stopped_) return;
  stopped_ = true;
  // A stop that reported restored the settings itself; after one that did not, the restore puts
  // back whatever is still ours. Either way it is safe to ask. It runs commands of the desktop,
  // so off the GUI thread, and it too is bounded: the program ends when it is done or when the
  // bound passes again.
  Workers::run(
      this,
      [restore = actions_.restoreSystemProxy, beforeExit = actions_.beforeExit] {
        if (restore) restore();
        if (beforeExit) beforeExit();
      },
      [this] { finish(); });
  QTimer::singleShot(stopBound_, this, &QuitPath::finish);
}

void QuitPath::leaveNow(int exitCode) {
  const auto state = leavingNow_;
  {
    std::unique_lock lock(state->mutex);
    if (state->taken) {
      // Another thread is leaving (two threads can meet here when both find the display gone):
      // its steps are not run twice, and the process ends once they are done.
      state->changed.wait(lock, [&] { return state->done; });
      lock.unlock();
      if (actions_.endProcess) actions_.endProcess(exitCode);
      return;
    }
    state->taken = true;
  }
  // Each step runs on a thread of its own and is waited for within the bound: a stop or a restore
  // that never ends is left behind, as the quit path leaves it, and the process still ends.
  const auto runBounded = [&](std::function<void(std::function<void()>)> step, bool LeavingNow::*flag) {
    std::thread([state, step = std::move(step), flag] {
      step([state, flag] {
        std::lock_guard lock(state->mutex);
        (*state).*flag = true;
        state->changed.notify_all();
      });
    }).detach();
    std::unique_lock lock(state->mutex);
    state->changed.wait_for(lock, stopBound_, [&] { return (*state).*flag; });
  };
  runBounded(
      [engine = engine_, cancel = actions_.cancelConnection](std::function<void()> finished) {
        if (cancel) cancel();
        engine->stopVPN([finished = std::move(finished)](helmsey::VPNStatus) { finished(); });
      },
      &LeavingNow::stopped);
  runBounded(
      [restore = actions_.restoreSystemProxy, beforeExit = actions_.beforeExit](std::function<void()> finished) {
        if (restore) restore();
        if (beforeExit) beforeExit();
        finished();
      },
      &LeavingNow::restored);
  {
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
  }
  if (actions_.endProcess) actions_.endProcess(exitCode);
}

void QuitPath::finish() {
  if (finished_) return;
  finished_ = true;
  if (relaunch_) {
    if (actions_.releaseInstance) actions_.releaseInstance();
    if (actions_.relaunch && !actions_.relaunch()) exitCode_ = 1;
  }
  if (actions_.exit) actions_.exit(exitCode_);
}

}  // namespace lumora
