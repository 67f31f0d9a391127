#include "core/engine/ListenProbe.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace helmsey::engine {
namespace {

constexpr const char* kListenState = "0A";

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

struct Listener {
  std::array<unsigned char, 16> address{};
  bool v6 = false;
  std::uint16_t port = 0;
  unsigned long inode = 0;
};

std::vector<Listener> listeners(pid_t pid, bool v6) {
  std::vector<Listener> found;
  std::ifstream table("/proc/" + std::to_string(pid) + (v6 ? "/net/tcp6" : "/net/tcp"));
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode)) continue;
    if (state != kListenState) continue;
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
    found.push_back(listener);
  }
  return found;
}

}  // namespace

bool listensOn(pid_t pid, const std::vector<Endpoint>& endpoints) {
  const auto inodes = socketInodes(pid);
  if (inodes.empty()) return false;
  auto all = listeners(pid, false);
  const auto six = listeners(pid, true);
  all.insert(all.end(), six.begin(), six.end());
  for (const auto& endpoint : endpoints) {
    std::array<unsigned char, 16> wanted{};
    bool v6 = false;
    if (inet_pton(AF_INET, endpoint.address.c_str(), wanted.data()) != 1) {
      if (inet_pton(AF_INET6, endpoint.address.c_str(), wanted.data()) != 1) return false;
      v6 = true;
    }
    bool found = false;
    for (const auto& listener : all) {
      if (listener.v6 != v6 || listener.port != endpoint.port || inodes.count(listener.inode) == 0) continue;
      if (std::memcmp(listener.address.data(), wanted.data(), v6 ? 16 : 4) == 0) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace helmsey::engine
