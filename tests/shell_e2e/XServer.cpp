#include "tests/shell_e2e/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace lumora::test {

namespace {

using Clock = std::chrono::steady_clock;

// Many servers start at once while the suite runs in parallel, and one that loses the race for a
// display number (or is starved until it gives up) exits: the next try finds the number taken
// and picks another.
constexpr int kAttempts = 5;
// A healthy start takes a fraction of a second even on a busy machine; one that has not given
// its number by then hangs.
constexpr std::chrono::seconds kStartBound{30};

// What Xvfb said on its way out, for the message; its last lines are the reason.
std::string lastLines(int fd) {
  std::string text;
  char buffer[4096];
  off_t offset = 0;
  for (ssize_t got; (got = ::pread(fd, buffer, sizeof buffer, offset)) > 0; offset += got) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::size_t start = text.size();
  for (int lines = 0; lines < 6 && start != std::string::npos && start > 0; ++lines) {
    start = text.rfind('\n', start - 1);
  }
  std::string lines = start == std::string::npos ? text : text.substr(start + 1);
  for (std::size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; at += 5) lines.replace(at, 1, "\n    ");
  return lines;
}

std::string howItEnded(pid_t pid, bool hung) {
  if (hung) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return "gave no display number within " + std::to_string(kStartBound.count()) + " s";
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return "ended";
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status) == 127 ? "could not be run" : "exited with status " + std::to_string(WEXITSTATUS(status));
  }
  return "was killed by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

XServer::XServer() {
  std::string reasons;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    std::string reason;
    if (start(reason)) {
      ::setenv("DISPLAY", display_.c_str(), 1);
      return;
    }
    reasons += "\n  try " + std::to_string(attempt) + ": " + reason;
    // Apart from the others that started with this one, so they do not meet again.
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt + ::getpid() % 50));
  }
  throw std::runtime_error("Xvfb did not start in " + std::to_string(kAttempts) + " tries:" + reasons);
}

bool XServer::start(std::string& reason) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    reason = "no pipe";
    return false;
  }
  const int log = ::memfd_create("xvfb-log", MFD_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    // Xvfb writes the display number it chose to this descriptor once it accepts clients.
    ::dup2(pipeFds[1], 3);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(log >= 0 ? log : devNull, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    if (log >= 0) ::close(log);
    reason = "no process";
    return false;
  }
  std::string number;
  bool hung = false;
  const auto deadline = Clock::now() + kStartBound;
  pollfd wait{pipeFds[0], POLLIN, 0};
  while (number.empty() || number.back() != '\n') {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ready = ::poll(&wait, 1, static_cast<int>(std::max<long long>(left, 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) hung = true;
    if (ready <= 0) break;
    char buffer[16];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    number.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipeFds[0]);
  if (number.empty() || number.back() != '\n') {
    reason = "Xvfb " + howItEnded(pid, hung);
    if (log >= 0) {
      const std::string said = lastLines(log);
      if (!said.empty()) reason += ", saying:\n    " + said;
      ::close(log);
    }
    return false;
  }
  if (log >= 0) ::close(log);
  number.pop_back();
  pid_ = pid;
  display_ = ":" + number;
  return true;
}

XServer::~XServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

}  // namespace lumora::test
