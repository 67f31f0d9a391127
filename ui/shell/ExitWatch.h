#pragma once

#include <functional>
#include <string>

namespace lumora {

// Hears the ends of the process that bypass the quit path, and hands each to `leave` before
// anything else of the ending runs:
// - the display going away: Qt's X11 platform, finding its connection broken (the X server ended:
//   a crashed session, a log-out that took the server down first), ends the process with exit(1)
//   from inside the event loop, where the quit path can no longer run. Qt says so in its message
//   log first, on the thread that is about to exit; the watch hears that message;
// - any other exit() while the watch is armed: an exit handler hears it, with the status.
// `leave(code, why)` is expected to end the process itself (QuitPath::leaveNow). One watch at a
// time; it is armed from construction until it goes, and its end puts the earlier Qt message
// handler back.
class ExitWatch {
 public:
  using Leave = std::function<void(int exitCode, const std::string& why)>;

  explicit ExitWatch(Leave leave);
  ~ExitWatch();
  ExitWatch(const ExitWatch&) = delete;
  ExitWatch& operator=(const ExitWatch&) = delete;

  // True when `message` (as Qt's message log hands it over) says the display connection broke.
  static bool saysTheDisplayWentAway(const std::string& message);
};

}  // namespace lumora
