#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

namespace lumora {

class EngineService;

// The one way out of the program. Quit, Restart, a fatal dialog and the update all come here:
// the VPN is stopped first and the stop is waited for (at most `stopBound`, so a stop that never
// reports cannot hold the program), the desktop's proxy settings are put back, then the program
// ends, or starts anew for a restart. Never blocks the GUI thread: the stop runs on the engine's
// own thread and its report comes back queued.
class QuitPath : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    // Ends the event loop with the code (QCoreApplication::exit in the program).
    std::function<void(int)> exit;
    // Starts the program anew, detached; false when it could not be started.
    std::function<bool()> relaunch;
    // Puts back the desktop proxy settings our engine changed, if any are still ours.
    std::function<void()> restoreSystemProxy;
    // Lets go of what a new instance needs (the single-instance socket) before it starts.
    std::function<void()> releaseInstance;
  };

  QuitPath(std::shared_ptr<EngineService> engine, Actions actions, std::chrono::milliseconds stopBound,
           QObject* parent = nullptr);

  // Starts leaving; a second call while leaving is ignored (the first one's code stands).
  Q_INVOKABLE void quit(int exitCode = 0);
  // Leaves, then starts the program again.
  Q_INVOKABLE void restart();

  bool isLeaving() const { return leaving_; }

 signals:
  // The stop has been asked for; the window may show that the program is closing.
  void leaving();

 private:
  void leave(int exitCode, bool relaunch);
  void finish();

  std::shared_ptr<EngineService> engine_;
  Actions actions_;
  std::chrono::milliseconds stopBound_;
  bool leaving_ = false;
  bool finished_ = false;
  bool relaunch_ = false;
  int exitCode_ = 0;
};

}  // namespace lumora
