#include "core/engine/ListenProbe.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "core/engine/UniqueFd.h"

namespace helmsey::engine {
namespace {

struct Listener {
  std::array<unsigned char, 16> address{};
  bool v6 = false;
  std::uint16_t port = 0;
  unsigned long inode = 0;
};

struct Wanted {
  std::array<unsigned char, 16> address{};
  bool v6 = false;
  std::uint16_t port = 0;

  bool matches(const Listener& l) const {
    return l.v6 == v6 && l.port == port && std::memcmp(l.address.data(), address.data(), v6 ? 16 : 4) == 0;
  }
};

std::optional<Wanted> wantedOf(const Endpoint& endpoint) {
  Wanted wanted;
  wanted.port = endpoint.port;
  if (inet_pton(AF_INET, endpoint.address.c_str(), wanted.address.data()) == 1) return wanted;
  if (inet_pton(AF_INET6, endpoint.address.c_str(), wanted.address.data()) == 1) {
    wanted.v6 = true;
    return wanted;
  }
  return std::nullopt;
}

// Socket inodes of the process's descriptors ("socket:[12345]").
std::set<unsigned long> socketInodes(pid_t pid) {
  std::set<unsigned long> inodes;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) return inodes;
  while (const dirent* entry = ::readdir(handle)) {
    if (entry->d_name[0] == '.') continue;
    char target[64];
    const std::string link = dir + "/" + entry->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    unsigned long inode = 0;
    if (std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes.insert(inode);
  }
  ::closedir(handle);
  return inodes;
}

// --- the kernel's socket diagnostics ---

// The listening TCP sockets of one family on `port`. The kernel filters by port (a bytecode
// program of "port >= P and port <= P"), so the answer holds only those sockets however many the
// machine has. None when the query cannot be made (no socket diagnostics in this kernel).
std::optional<std::vector<Listener>> diagListeners(bool v6, std::uint16_t port) {
  UniqueFd sock(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!sock.valid()) return std::nullopt;
  const timeval patience{1, 0};
  ::setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

  // On a failed test, `no` jumps 4 bytes past the end: the program ends off its end, which rejects.
  const std::array<inet_diag_bc_op, 4> program{{
      {INET_DIAG_BC_S_GE, 8, 20},
      {0, 0, port},
      {INET_DIAG_BC_S_LE, 8, 12},
      {0, 0, port},
  }};
  inet_diag_req_v2 request{};
  request.sdiag_family = v6 ? AF_INET6 : AF_INET;
  request.sdiag_protocol = IPPROTO_TCP;
  request.idiag_states = 1U << TCP_LISTEN;
  nlattr attribute{};
  attribute.nla_type = INET_DIAG_REQ_BYTECODE;
  attribute.nla_len = static_cast<std::uint16_t>(NLA_HDRLEN + sizeof program);
  nlmsghdr header{};
  header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  header.nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(sizeof request) + attribute.nla_len);

  std::array<char, 256> out{};
  static_assert(NLMSG_LENGTH(sizeof(inet_diag_req_v2)) + NLA_HDRLEN + sizeof(program) <= sizeof(out));
  std::memcpy(out.data(), &header, sizeof header);
  std::memcpy(out.data() + NLMSG_HDRLEN, &request, sizeof request);
  std::memcpy(out.data() + NLMSG_LENGTH(sizeof request), &attribute, sizeof attribute);
  std::memcpy(out.data() + NLMSG_LENGTH(sizeof request) + NLA_HDRLEN, program.data(), sizeof program);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(sock.get(), out.data(), header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
    return std::nullopt;
  }

  std::vector<Listener> found;
  alignas(nlmsghdr) std::array<char, 16384> in{};
  for (;;) {
    const ssize_t n = ::recv(sock.get(), in.data(), in.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    auto length = static_cast<unsigned int>(n);
    for (auto* message = reinterpret_cast<nlmsghdr*>(in.data()); NLMSG_OK(message, length);
         message = NLMSG_NEXT(message, length)) {
      if (message->nlmsg_type == NLMSG_DONE) return found;
      if (message->nlmsg_type == NLMSG_ERROR) return std::nullopt;
      if (message->nlmsg_type != SOCK_DIAG_BY_FAMILY || message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        continue;
      }
      inet_diag_msg diag{};
      std::memcpy(&diag, NLMSG_DATA(message), sizeof diag);
      Listener listener;
      listener.v6 = diag.idiag_family == AF_INET6;
      listener.port = ntohs(diag.id.idiag_sport);
      listener.inode = diag.idiag_inode;
      std::memcpy(listener.address.data(), diag.id.idiag_src, 16);
      found.push_back(listener);
    }
  }
}

// --- the socket table, where the kernel has no socket diagnostics ---

// The kernel prints each 32-bit word of the address as it lies in memory, read as a host integer.
bool parseAddress(const std::string& hex, bool v6, std::array<unsigned char, 16>& out) {
  const std::size_t words = v6 ? 4 : 1;
  if (hex.size() != words * 8) return false;
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t word = static_cast<std::uint32_t>(std::stoul(hex.substr(i * 8, 8), nullptr, 16));
    std::memcpy(out.data() + i * 4, &word, 4);
  }
  return true;
}

std::vector<Listener> tableListeners(pid_t pid, bool v6, std::uint16_t port) {
  std::vector<Listener> found;
  std::ifstream table("/proc/" + std::to_string(pid) + (v6 ? "/net/tcp6" : "/net/tcp"));
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode)) continue;
    if (state != "0A") continue;  // listening
    const std::size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    Listener listener;
    listener.v6 = v6;
    listener.inode = inode;
    try {
      if (!parseAddress(local.substr(0, colon), v6, listener.address)) continue;
      listener.port = static_cast<std::uint16_t>(std::stoul(local.substr(colon + 1), nullptr, 16));
    } catch (const std::exception&) {
      continue;
    }
    if (listener.port == port) found.push_back(listener);
  }
  return found;
}

}  // namespace

bool listensOn(pid_t pid, const std::vector<Endpoint>& endpoints) {
  // First what listens on each endpoint: usually nothing yet, and then the child's descriptors
  // need not be read at all.
  std::vector<std::vector<unsigned long>> candidates;
  for (const auto& endpoint : endpoints) {
    const auto wanted = wantedOf(endpoint);
    if (!wanted) return false;
    auto listeners = diagListeners(wanted->v6, wanted->port);
    if (!listeners) listeners = tableListeners(pid, wanted->v6, wanted->port);
    std::vector<unsigned long> inodes;
    for (const auto& listener : *listeners) {
      if (wanted->matches(listener)) inodes.push_back(listener.inode);
    }
    if (inodes.empty()) return false;
    candidates.push_back(std::move(inodes));
  }
  // A connect test cannot tell who answers (a stale engine on the same SO_REUSEPORT port would):
  // one of the listeners on each endpoint must be a socket the process itself holds.
  const auto own = socketInodes(pid);
  if (own.empty()) return false;
  for (const auto& inodes : candidates) {
    bool ours = false;
    for (const unsigned long inode : inodes) ours = ours || own.count(inode) != 0;
    if (!ours) return false;
  }
  return true;
}

}  // namespace helmsey::engine
