#include "tests/shell_e2e/DesktopHosts.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace lumora::test {

DesktopHosts::DesktopHosts() {
  for (const auto& arguments : std::vector<std::vector<const char*>>{
           {"openbox", "--sm-disable", nullptr},
           {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height", "24",
            nullptr}}) {
    const pid_t child = spawn(arguments);
    if (child < 0) {
      started_ = false;
      continue;
    }
    children_.push_back(child);
  }
  // Both take their places on the screen within a moment; the caller waits for the tray itself.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const pid_t child : children_) {
    if (::waitpid(child, nullptr, WNOHANG) == child) started_ = false;
  }
}

DesktopHosts::~DesktopHosts() {
  for (const pid_t child : children_) ::kill(child, SIGTERM);
  for (const pid_t child : children_) ::waitpid(child, nullptr, 0);
}

pid_t DesktopHosts::spawn(const std::vector<const char*>& arguments) {
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execvp(arguments[0], const_cast<char* const*>(arguments.data()));
    ::_exit(127);
  }
  return child;
}

}  // namespace lumora::test
