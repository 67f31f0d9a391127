#include "ui/shell/QuitPath.h"

#include <QTimer>

#include "ui/base/GuiQueue.h"
#include "ui/base/Workers.h"
#include "ui/base/services/EngineService.h"

namespace lumora {

QuitPath::QuitPath(std::shared_ptr<EngineService> engine, Actions actions, std::chrono::milliseconds stopBound,
                   QObject* parent)
    : QObject(parent), engine_(std::move(engine)), actions_(std::move(actions)), stopBound_(stopBound) {}

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
