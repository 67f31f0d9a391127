#include "ui/account/Countdown.h"

namespace lumora {

Countdown::Countdown(QObject* parent, int tickMs) : QObject(parent) {
  timer_.setInterval(tickMs);
  connect(&timer_, &QTimer::timeout, this, &Countdown::tick);
}

void Countdown::start(int seconds) {
  if (running() || seconds < 1) return;
  remaining_ = seconds;
  timer_.start();
  emit changed();
}

void Countdown::tick() {
  if (!running()) return;
  remaining_ -= 1;
  if (remaining_ < 1) {
    remaining_ = 0;
    timer_.stop();
  }
  emit changed();
}

}  // namespace lumora
