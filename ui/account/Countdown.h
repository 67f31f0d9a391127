#pragma once

#include <QObject>
#include <QTimer>

namespace lumora {

// The resend countdown of the code buttons: set to a number of seconds, one second off per
// tick, and stopped by itself when it reaches zero. It belongs to its page: when the page goes,
// the countdown goes with it and never fires again. GUI thread only.
class Countdown : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTotalSeconds = 120;

  explicit Countdown(QObject* parent, int tickMs = 1000);

  // Starts from `seconds`; a countdown that runs already is left alone.
  void start(int seconds = kTotalSeconds);
  // One tick: one second less; below one the countdown stops.
  void tick();
  bool running() const { return timer_.isActive(); }
  int remaining() const { return remaining_; }

 signals:
  void changed();

 private:
  QTimer timer_;
  int remaining_ = 0;
};

}  // namespace lumora
