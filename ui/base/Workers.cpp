#include "ui/base/Workers.h"

namespace lumora {

QThreadPool& Workers::pool() {
  static QThreadPool workers;
  return workers;
}

}  // namespace lumora
