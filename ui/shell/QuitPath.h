#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

namespace lumora {

class EngineService;

// The one way out of the program. Quit, Restart, a fatal dialog, the update and the termination
// signals (a desktop log-out, a shutdown, Ctrl-C) all come here: a connect attempt under way is
// cancelled and the VPN is stopped first, and the stop is waited for (at most `stopBound`, so a
// stop that never reports cannot hold the program); then the desktop's proxy settings are put
// back, whether or not the stop reported, and the program ends, or starts anew for a restart.
//
// Never blocks the GUI thread: the cancel and the stop run on a worker, the engine reports on its
// own thread, the restore runs on a worker too, and each comes back queued. What every way out
// must do besides goes into `Actions::beforeExit`, the one step that runs on all of them.
//
// When the event loop itself cannot go on (the display went away and the toolkit is ending the
// process), `leaveNow` takes the same steps at once on the calling thread, each within the same
// bound, and ends the process.
class QuitPath : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    // Ends the event loop with the code (QCoreApplication::exit in the program).
    std::function<void(int)> exit;
    // Starts the program anew, detached; false when it could not be started.
    std::function<bool()> relaunch;
    // Cancels a connect attempt under way and ends the connection; blocks until no engine of ours
    // runs. Called on a worker thread.
    std::function<void()> cancelConnection;
    // Puts back the desktop proxy settings our engine changed, if any are still ours. Called on
    // a worker thread, after the stop reported or its bound passed.
    std::function<void()> restoreSystemProxy;
    // Runs on every way out, on a worker thread, once the VPN is down or its bound passed and
    // before the program ends or restarts.
    std::function<void()> beforeExit;
    // Lets go of what a new instance needs (the single-instance socket) before it starts.
    std::function<void()> releaseInstance;
    // Ends the process at once with the code, running no exit-time destructors (leaveNow's last
    // step; _exit in the program).
    std::function<void(int)> endProcess;
  };

  QuitPath(std::shared_ptr<EngineService> engine, Actions actions, std::chrono::milliseconds stopBound,
           QObject* parent = nullptr);

  // Starts leaving; a second call while leaving is ignored (the first one's code stands).
  Q_INVOKABLE void quit(int exitCode = 0);
  // Leaves, then starts the program again.
  Q_INVOKABLE void restart();

  bool isLeaving() const { return leaving_; }

  // The way out when the event loop cannot be returned to. Any thread, blocking: a connect under
  // way is cancelled and the VPN stopped (waited for at most the stop bound), the desktop's proxy
  // put back and `beforeExit` run (at most the bound again), then `endProcess`. It goes ahead
  // whether or not quit() began: what that one left undone is done here, what it did is not
  // undone. A caller that comes while another is leaving waits for it and ends the process too.
  void leaveNow(int exitCode);

 signals:
  // The stop has been asked for; the window may show that the program is closing.
  void leaving();

 private:
  void leave(int exitCode, bool relaunch);
  // The stop reported, or its bound passed: put things back, then end.
  void stopped();
  void finish();

  struct LeavingNow;

  std::shared_ptr<EngineService> engine_;
  Actions actions_;
  const std::shared_ptr<LeavingNow> leavingNow_;
  std::chrono::milliseconds stopBound_;
  bool leaving_ = false;
  bool stopped_ = false;
  bool finished_ = false;
  bool relaunch_ = false;
  int exitCode_ = 0;
};

}  // namespace lumora
