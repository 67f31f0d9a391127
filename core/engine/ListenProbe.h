#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace helmsey::engine {

struct Endpoint {
  std::string address;  // numeric IPv4 or IPv6
  std::uint16_t port = 0;
};

// True when the process `pid` itself holds a listening TCP socket on every endpoint. A connect
// test cannot tell who answers (a stale engine on the same SO_REUSEPORT port would), so the
// listeners on each endpoint's port (a socket-diagnostics query the kernel filters by port) are
// matched against the socket descriptors of that process. The cost follows the listeners on
// those ports and the process's own descriptors, not the machine's socket table.
bool listensOn(pid_t pid, const std::vector<Endpoint>& endpoints);

}  // namespace helmsey::engine
