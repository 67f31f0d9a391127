#pragma once

#include <sys/types.h>

#include <string>

namespace lumora::test {

// A private X server (Xvfb) for the life of the object: it picks its own free display number and
// DISPLAY points at it until the object goes. A start that fails is tried again a few times;
// throws std::runtime_error, with what each try ended in, when none succeeds.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }

 private:
  // One try: true with pid_ and display_ set, or false with why not.
  bool start(std::string& reason);

  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace lumora::test
