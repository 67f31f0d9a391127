// The engine's readiness check: only listeners that the child itself holds count.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/engine/ListenProbe.h"
#include "core/engine/UniqueFd.h"

namespace tarnel::test::engine {
namespace {

using helmsey::engine::Endpoint;
using helmsey::engine::listensOn;
using helmsey::engine::UniqueFd;

// A listening socket on address:port (0: any free port), sharing the port as v2ray does.
UniqueFd listenOn(const std::string& address, std::uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int yes = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &where.sin_addr);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(fd.get(), 4) != 0) {
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
  }
  return fd;
}

std::uint16_t portOf(const UniqueFd& fd) {
  sockaddr_in where{};
  socklen_t size = sizeof where;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&where), &size);
  return ntohs(where.sin_port);
}

// A child that holds the sockets it inherited and waits to be killed.
class HoldingChild {
 public:
  HoldingChild() {
    pid_ = ::fork();
    if (pid_ == 0) {
      for (;;) ::pause();
    }
    if (pid_ < 0) throw std::runtime_error("fork failed");
  }
  ~HoldingChild() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

TEST(ListenProbe, OnlyListenersTheChildHoldsCount) {
  // Two ports the test owns for the length of each case; each case decides who listens where.
  UniqueFd reserveA = listenOn("127.0.0.1", 0);
  UniqueFd reserveB = listenOn("127.0.0.1", 0);
  const std::uint16_t a = portOf(reserveA);
  const std::uint16_t b = portOf(reserveB);
  reserveA.reset();
  reserveB.reset();

  struct Listen {
    const char* address;
    std::uint16_t port;
    bool child;  // inherited by the child (and closed here); else held by the test process only
  };
  struct Case {
    const char* name;
    std::vector<Listen> listens;
    std::vector<Endpoint> endpoints;
    bool ready;
  };
  const std::vector<Case> cases = {
      {"the child listens on both", {{"127.0.0.1", a, true}, {"127.0.0.1", b, true}}, {{"127.0.0.1", a}, {"127.0.0.1", b}}, true},
      {"a foreign listener only", {{"127.0.0.1", a, false}}, {{"127.0.0.1", a}}, false},
      {"foreign and child share the port", {{"127.0.0.1", a, false}, {"127.0.0.1", a, true}}, {{"127.0.0.1", a}}, true},
      {"the child on another address", {{"127.0.0.2", a, true}}, {{"127.0.0.1", a}}, false},
      {"the child on one endpoint of two", {{"127.0.0.1", a, true}}, {{"127.0.0.1", a}, {"127.0.0.1", b}}, false},
      {"the child on one, a foreigner on the other",
       {{"127.0.0.1", a, true}, {"127.0.0.1", b, false}},
       {{"127.0.0.1", a}, {"127.0.0.1", b}},
       false},
      {"nobody listens", {}, {{"127.0.0.1", a}}, false},
      {"not an address", {{"127.0.0.1", a, true}}, {{"localhost", a}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<UniqueFd> inherited;
    for (const Listen& l : c.listens) {
      if (l.child) inherited.push_back(listenOn(l.address, l.port));
    }
    HoldingChild child;
    inherited.clear();  // from here on only the child holds them
    std::vector<UniqueFd> foreign;
    for (const Listen& l : c.listens) {
      if (!l.child) foreign.push_back(listenOn(l.address, l.port));
    }
    EXPECT_EQ(listensOn(child.pid(), c.endpoints), c.ready);
  }
}

TEST(ListenProbe, AProcessThatIsGoneListensNowhere) {
  UniqueFd fd = listenOn("127.0.0.1", 0);
  pid_t gone = 0;
  {
    HoldingChild child;
    gone = child.pid();
  }
  EXPECT_TRUE(listensOn(::getpid(), {{"127.0.0.1", portOf(fd)}}));
  EXPECT_FALSE(listensOn(gone, {{"127.0.0.1", portOf(fd)}}));
}

}  // namespace
}  // namespace tarnel::test::engine
