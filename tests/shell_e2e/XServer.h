#pragma once

#include <sys/types.h>

#include <string>

namespace lumora::test {

// A private X server (Xvfb) for the life of the object: it picks its own free display number and
// DISPLAY points at it until the object goes. Throws std::runtime_error when Xvfb cannot start.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace lumora::test
