#include "ui/base/Workers.h"

namespace lumora {

WorkerPool& Workers::pool() {
  // Enough for the pages' concurrent service calls; a call beyond it waits its turn.
  static WorkerPool workers(8);
  return workers;
}

}  // namespace lumora
