#include "ui/shell/QuitPath.h"

#include <QMetaObject>
#include <QTimer>

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

  // The engine reports the stop on its own thread; the report comes back here queued, and is
  // dropped if the bound already ended the program's way out.
  QPointer<QuitPath> self(this);
  engine_->stopVPN([self](helmsey::VPNStatus) {
    QMetaObject::invokeMethod(
        self.data(),
        [self] {
          if (self) self->finish();
        },
        Qt::QueuedConnection);
  });
  QTimer::singleShot(stopBound_, this, &QuitPath::finish);
}

void QuitPath::finish() {
  if (finished_) return;
  finished_ = true;
  // A stop that reported restored the settings itself; after one that did not, this puts back
  // whatever is still ours. Either way it is safe to ask.
  if (actions_.restoreSystemProxy) actions_.restoreSystemProxy();
  if (relaunch_) {
    if (actions_.releaseInstance) actions_.releaseInstance();
    if (actions_.relaunch && !actions_.relaunch()) exitCode_ = 1;
  }
  if (actions_.exit) actions_.exit(exitCode_);
}

}  // namespace lumora
