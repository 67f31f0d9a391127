#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumora::test {

// What a user's desktop runs besides the X server: a window manager (openbox) and a tray host
// (trayer), on the current DISPLAY, for the life of the object. Each dies with this process. The
// object is made once both are in place: the manager's check window is on the root window and the
// tray's selection has its owner.
class DesktopHosts {
 public:
  DesktopHosts();
  ~DesktopHosts();
  DesktopHosts(const DesktopHosts&) = delete;
  DesktopHosts& operator=(const DesktopHosts&) = delete;

  // False when a host could not be started or did not take its place.
  bool started() const { return failure_.empty(); }
  // Which host failed and how; empty once both are in place.
  const std::string& failure() const { return failure_; }

 private:
  pid_t spawn(const std::vector<const char*>& arguments);

  std::vector<pid_t> children_;
  std::string failure_;
};

}  // namespace lumora::test
