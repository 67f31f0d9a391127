#pragma once

#include <cstdint>
#include <string>

#include "core/engine/UniqueFd.h"

namespace helmsey::engine {

// A port picked by the kernel and held for the life of this object: a bound, never-listening
// TCP socket with SO_REUSEPORT. The proxy engine also binds with SO_REUSEPORT, so it can listen
// on the port, while every other program's bind (ours included) is kept off it. That is what
// makes "chosen once per process" safe when several clients or tests run side by side.
class PortReservation {
 public:
  // `address` is a numeric IPv4 or IPv6 address; port 0 on failure.
  explicit PortReservation(const std::string& address);

  std::uint16_t port() const { return port_; }

 private:
  UniqueFd socket_;
  std::uint16_t port_ = 0;
};

}  // namespace helmsey::engine
