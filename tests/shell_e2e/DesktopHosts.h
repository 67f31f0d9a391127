#pragma once

#include <sys/types.h>

#include <vector>

namespace lumora::test {

// What a user's desktop runs besides the X server: a window manager (openbox) and a tray host
// (trayer), on the current DISPLAY, for the life of the object. Each dies with this process.
class DesktopHosts {
 public:
  DesktopHosts();
  ~DesktopHosts();
  DesktopHosts(const DesktopHosts&) = delete;
  DesktopHosts& operator=(const DesktopHosts&) = delete;

  // False when a host could not be started.
  bool started() const { return started_; }

 private:
  pid_t spawn(const std::vector<const char*>& arguments);

  std::vector<pid_t> children_;
  bool started_ = true;
};

}  // namespace lumora::test
