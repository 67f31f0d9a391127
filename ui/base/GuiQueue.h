#pragma once

#include <functional>

namespace lumora {

// Work for the application's (GUI) thread, handed over from any thread without waiting: the
// work goes into a queue under a lock and the GUI thread's event loop is woken to run what is
// queued, in order. The hand-off is made through our own lock, so what the work carries is
// plainly visible to the GUI thread (and to the race checker). Dropped when there is no
// application object.
class GuiQueue {
 public:
  static void post(std::function<void()> work);
};

}  // namespace lumora
