#include "tests/shell_e2e/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace lumora::test {

XServer::XServer() {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for Xvfb");
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    // Xvfb writes the display number it chose to this descriptor once it accepts clients.
    ::dup2(pipeFds[1], 3);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (pid_ < 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("cannot start Xvfb");
  }
  std::string number;
  pollfd wait{pipeFds[0], POLLIN, 0};
  while (number.empty() || number.back() != '\n') {
    if (::poll(&wait, 1, 10000) <= 0) break;
    char buffer[16];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipeFds[0]);
  if (number.empty() || number.back() != '\n') {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    throw std::runtime_error("Xvfb did not start");
  }
  number.pop_back();
  display_ = ":" + number;
  ::setenv("DISPLAY", display_.c_str(), 1);
}

XServer::~XServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

}  // namespace lumora::test
