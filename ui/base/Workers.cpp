#include "ui/base/Workers.h"

namespace lumora {

WorkerPool& Workers::pool() {
  // Enough for the pages' concurrent service calls; a call beyond it waits its turn. At exit the
  // last step of a quit (putting the desktop's proxy back) may still run: it gets the default
  // grace to finish, and a call that waits on the network longer is left behind.
  static WorkerPool workers(8);
  return workers;
}

}  // namespace lumora
