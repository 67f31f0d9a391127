#include "platform/NetworkPath.h"

#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

std::string readFirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::optional<long> readNumber(const std::filesystem::path& file) {
  const std::string text = readFirstLine(file);
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || text.empty()) return std::nullopt;
  return value;
}

std::string deviceType(const std::filesystem::path& interfaceDir) {
  std::ifstream in(interfaceDir / "uevent");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("DEVTYPE=", 0) == 0) return line.substr(8);
  }
  return {};
}

// Tables without destructors: the path monitor's thread may still read them while the
// process's statics are torn down.
struct LinkTypeName {
  long type;
  std::string_view name;
};
constexpr LinkTypeName kLinkTypeNames[] = {
    {ARPHRD_PPP, "ppp"},       {ARPHRD_NONE, "none"},       {ARPHRD_SIT, "sit"},
    {ARPHRD_TUNNEL, "ipip"},   {ARPHRD_TUNNEL6, "tunnel6"}, {ARPHRD_IPGRE, "gre"},
    {ARPHRD_IP6GRE, "gre6"},   {ARPHRD_INFINIBAND, "infiniband"}, {ARPHRD_IEEE80211, "ieee802.11"},
    {ARPHRD_IEEE80211_RADIOTAP, "ieee802.11/radiotap"},   {ARPHRD_RAWIP, "rawip"},
};

struct DeviceTypeName {
  std::string_view devtype;
  std::string_view name;
};
constexpr DeviceTypeName kDeviceTypeNames[] = {
    {"bridge", "Bridge"}, {"vlan", "VLAN"}, {"bond", "Bond"}, {"wwan", "WWAN"}, {"bluetooth", "Bluetooth"},
};

std::string linkTypeName(long type) {
  for (const auto& entry : kLinkTypeNames) {
    if (entry.type == type) return std::string(entry.name);
  }
  return std::to_string(type);
}

// --- rtnetlink ---

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Sends one dump request and hands every answer message to `each`; false on any failure.
template <class Each>
bool dump(int fd, std::uint16_t type, std::uint32_t sequence, Each each) {
  struct {
    nlmsghdr header;
    rtgenmsg body;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = sequence;
  request.body.rtgen_family = AF_UNSPEC;
  if (send(fd, &request, request.header.nlmsg_len, 0) < 0) return false;

  alignas(nlmsghdr) char buffer[32768];
  while (true) {
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    auto length = static_cast<unsigned int>(n);
    for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, length);
         message = NLMSG_NEXT(message, length)) {
      if (message->nlmsg_seq != sequence) continue;
      if (message->nlmsg_type == NLMSG_DONE) return true;
      if (message->nlmsg_type == NLMSG_ERROR) return false;
      each(message);
    }
  }
}

std::optional<NetworkPath> readPath() {
  Fd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.get() < 0) return std::nullopt;
  timeval timeout{2, 0};
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) return std::nullopt;

  struct Link {
    std::string name;
    bool usable = false;
  };
  std::map<int, Link> links;  // by interface index: the order of the interface list
  const bool linksRead = dump(fd.get(), RTM_GETLINK, 1, [&](nlmsghdr* message) {
    if (message->nlmsg_type != RTM_NEWLINK) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    Link link;
    link.usable = (info->ifi_flags & IFF_UP) && (info->ifi_flags & IFF_RUNNING) && !(info->ifi_flags & IFF_LOOPBACK);
    int attributesLength = static_cast<int>(IFLA_PAYLOAD(message));
    for (auto* a = IFLA_RTA(info); RTA_OK(a, attributesLength); a = RTA_NEXT(a, attributesLength)) {
      if (a->rta_type == IFLA_IFNAME) link.name = static_cast<const char*>(RTA_DATA(a));
    }
    links[info->ifi_index] = link;
  });
  if (!linksRead) return std::nullopt;

  std::set<int> addressed;
  const bool addressesRead = dump(fd.get(), RTM_GETADDR, 2, [&](nlmsghdr* message) {
    if (message->nlmsg_type != RTM_NEWADDR) return;
    const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(message));
    std::uint32_t flags = info->ifa_flags;
    int attributesLength = static_cast<int>(IFA_PAYLOAD(message));
    for (auto* a = IFA_RTA(info); RTA_OK(a, attributesLength); a = RTA_NEXT(a, attributesLength)) {
      if (a->rta_type == IFA_FLAGS) flags = *static_cast<const std::uint32_t*>(RTA_DATA(a));
    }
    // Link-local and host addresses reach nothing beyond the link; tentative ones are not usable yet.
    const bool reaching = info->ifa_scope == RT_SCOPE_UNIVERSE || info->ifa_scope == RT_SCOPE_SITE;
    if (reaching && !(flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED))) addressed.insert(static_cast<int>(info->ifa_index));
  });
  if (!addressesRead) return std::nullopt;

  NetworkPath path;
  for (const auto& [index, link] : links) {
    if (link.usable && addressed.count(index) != 0) path.availableInterfaces.push_back(link.name);
  }
  path.satisfied = !path.availableInterfaces.empty();
  return path;
}

}  // namespace

std::string interfaceType(const std::filesystem::path& interfaceDir) {
  std::error_code ec;
  const std::string devtype = deviceType(interfaceDir);
  // phy80211 is a link to the radio; whether its target can be followed does not matter.
  if (std::filesystem::exists(std::filesystem::symlink_status(interfaceDir / "wireless", ec)) ||
      std::filesystem::exists(std::filesystem::symlink_status(interfaceDir / "phy80211", ec)) || devtype == "wlan") {
    return std::string(kInterfaceTypeIEEE80211);
  }
  for (const auto& entry : kDeviceTypeNames) {
    if (entry.devtype == devtype) return std::string(entry.name);
  }
  if (!devtype.empty()) return devtype;
  const auto type = readNumber(interfaceDir / "type");
  if (!type) return "unknown";
  if (*type == ARPHRD_ETHER) return std::string(kInterfaceTypeEthernet);
  return linkTypeName(*type);
}

std::optional<std::vector<NetworkInterface>> networkInterfaces(const std::filesystem::path& sysfsRoot) {
  std::error_code ec;
  std::filesystem::directory_iterator it(sysfsRoot, ec);
  if (ec) return std::nullopt;
  std::vector<std::pair<long, NetworkInterface>> found;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    const auto& dir = it->path();
    if (readNumber(dir / "type") == ARPHRD_LOOPBACK) continue;
    const long index = readNumber(dir / "ifindex").value_or(std::numeric_limits<long>::max());
    found.emplace_back(index, NetworkInterface{dir.filename().string(), interfaceType(dir)});
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  std::vector<NetworkInterface> interfaces;
  for (auto& entry : found) interfaces.push_back(std::move(entry.second));
  return interfaces;
}

std::optional<NetworkPath> NetworkPathMonitor::currentPath() { return readPath(); }

NetworkPathMonitor::~NetworkPathMonitor() { stop(); }

bool NetworkPathMonitor::running() const {
  std::lock_guard lock(mutex_);
  return thread_.joinable();
}

bool NetworkPathMonitor::start(Handler handler) {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return true;
  const int events = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (events < 0) return false;
  sockaddr_nl groups{};
  groups.nl_family = AF_NETLINK;
  groups.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (bind(events, reinterpret_cast<sockaddr*>(&groups), sizeof(groups)) != 0 || wake < 0) {
    close(events);
    if (wake >= 0) close(wake);
    return false;
  }
  eventSocket_ = events;
  wakeFd_ = wake;
  thread_ = std::thread([this, handler = std::move(handler)] { run(handler); });
  return true;
}

void NetworkPathMonitor::stop() {
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = write(wakeFd_, &one, sizeof(one));
    thread.swap(thread_);
  }
  thread.join();
  std::lock_guard lock(mutex_);
  close(eventSocket_);
  close(wakeFd_);
  eventSocket_ = wakeFd_ = -1;
}

void NetworkPathMonitor::run(Handler handler) {
  int events = -1;
  int wake = -1;
  {
    std::lock_guard lock(mutex_);
    events = eventSocket_;
    wake = wakeFd_;
  }
  // Subscribed before the first reading, so no change between the two goes unseen.
  std::optional<NetworkPath> last;
  auto report = [&] {
    auto path = readPath();
    if (!path || path == last) return;
    last = path;
    handler(*path);
  };
  report();
  alignas(nlmsghdr) char buffer[16384];
  while (true) {
    pollfd fds[2] = {{events, POLLIN, 0}, {wake, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    // Drain what is queued (an overrun, ENOBUFS, only means: read the whole state again).
    while (true) {
      const ssize_t n = recv(events, buffer, sizeof(buffer), 0);
      if (n > 0 || (n < 0 && (errno == EINTR || errno == ENOBUFS))) continue;
      break;
    }
    report();
  }
}

}  // namespace platform
