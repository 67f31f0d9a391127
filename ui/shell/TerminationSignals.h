#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace lumora {

// SIGTERM, SIGHUP and SIGINT (a desktop log-out, a shutdown, Ctrl-C in a terminal) turned into a
// signal of the GUI thread, so that they leave through the quit path instead of ending the
// program on the spot. The handler only writes the signal's number to a pipe; the GUI thread's
// event loop reads it. One object at a time; the handlers that were there before come back when
// it goes.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the pipe could not be made: the signals then keep their default action.
  bool isActive() const { return active_; }

 signals:
  void received(int signalNumber);

 private:
  void readPending();

  int pipe_[2] = {-1, -1};
  bool active_ = false;
  struct sigaction previous_[3] = {};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace lumora
