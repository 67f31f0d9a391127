#include "ui/base/GuiQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <deque>
#include <mutex>

namespace lumora {

namespace {

struct Inbox {
  std::mutex mutex;
  std::deque<std::function<void()>> work;
  bool wakeUpPending = false;
};

// Never destroyed, like the relay: the worker pool is made before the inbox (its first task posts
// here) and so ends after it, letting its last tasks finish at exit; they still post here.
Inbox& inbox() {
  static auto* box = new Inbox;
  return *box;
}

const QEvent::Type kWakeUp = static_cast<QEvent::Type>(QEvent::registerEventType());

// Lives on the application's thread and runs the queue when woken. It reads nothing of the
// wake-up event: everything the work carries crosses under the inbox's lock.
class Relay final : public QObject {
 protected:
  void customEvent(QEvent*) override {
    std::deque<std::function<void()>> ready;
    {
      std::lock_guard lock(inbox().mutex);
      ready.swap(inbox().work);
      inbox().wakeUpPending = false;
    }
    for (auto& work : ready) work();
  }
};

// Made once, by whichever thread posts first, and handed to the application's thread. It stays
// for the life of the process.
QObject* relay(QCoreApplication* app) {
  static Relay* object = [app] {
    auto* made = new Relay;
    made->moveToThread(app->thread());
    return made;
  }();
  return object;
}

}  // namespace

void GuiQueue::post(std::function<void()> work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QObject* target = relay(app);
  bool wake = false;
  {
    std::lock_guard lock(inbox().mutex);
    inbox().work.push_back(std::move(work));
    wake = !inbox().wakeUpPending;
    inbox().wakeUpPending = true;
  }
  if (wake) QCoreApplication::postEvent(target, new QEvent(kWakeUp));
}

}  // namespace lumora
