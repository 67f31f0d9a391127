#include "core/engine/PortReservation.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace helmsey::engine {

PortReservation::PortReservation(const std::string& address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family = AF_INET;
  if (auto* v4 = reinterpret_cast<sockaddr_in*>(&storage); inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    length = sizeof(sockaddr_in);
  } else if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
             inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    family = AF_INET6;
    length = sizeof(sockaddr_in6);
  } else {
    return;
  }
  UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return;
  const int yes = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes) != 0) return;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) return;
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0) return;
  port_ = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
                            : ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  socket_ = std::move(fd);
}

}  // namespace helmsey::engine
