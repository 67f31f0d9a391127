#include "ui/shell/TerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace lumora {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end the handler uses; -1 while no object listens.
std::atomic<int> signalPipe{-1};

void onSignal(int number) {
  const int saved = errno;
  const int fd = signalPipe.load();
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);
  signalPipe.store(pipe_[1]);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(kSignals[i], &action, &previous_[i]);
  }
  active_ = true;
}

TerminationSignals::~TerminationSignals() {
  if (active_) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
    signalPipe.store(-1);
  }
  notifier_.reset();
  for (const int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void TerminationSignals::readPending() {
  unsigned char numbers[16];
  for (;;) {
    const ssize_t got = ::read(pipe_[0], numbers, sizeof numbers);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) emit received(numbers[i]);
  }
}

}  // namespace lumora
