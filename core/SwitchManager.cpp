#include "core/SwitchManager.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/EngineEnvironment.h"
#include "core/engine/ChildProcess.h"
#include "core/engine/EngineLog.h"
#include "core/engine/ListenProbe.h"
#include "core/engine/PortReservation.h"
#include "core/engine/V2rayConfig.h"

namespace helmsey {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kReadyPoll = std::chrono::milliseconds(5);

// The interface of the IPv4 default route, from the kernel's routing table.
std::string defaultRouteInterface() {
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination;
    if (fields >> name >> destination && destination == "00000000") return name;
  }
  return {};
}

std::string lanAddress() {
  const std::string wanted = defaultRouteInterface();
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::string fallback, found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN];
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
    if (entry->ifa_name != nullptr && wanted == entry->ifa_name) {
      found = text;
      break;
    }
    if (fallback.empty()) fallback = text;
  }
  ::freeifaddrs(list);
  return found.empty() ? fallback : found;
}

// Every address of every interface of this machine, IPv4 and IPv6.
std::vector<std::string> ownAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr) continue;
    char text[INET6_ADDRSTRLEN];
    const void* raw = nullptr;
    if (entry->ifa_addr->sa_family == AF_INET) {
      raw = &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      raw = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
    } else {
      continue;
    }
    if (inet_ntop(entry->ifa_addr->sa_family, raw, text, sizeof text) != nullptr) addresses.emplace_back(text);
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace

SwitchManager& SwitchManager::shared() {
  engine::coreLog();
  engine::ChildProcess::prepareLauncher();
  static SwitchManager manager;
  return manager;
}

// Reserved on every address, so the port stays ours whichever LAN address the listener takes.
SwitchManager::SwitchManager() : reservation_(std::make_unique<engine::PortReservation>("0.0.0.0")) {}

SwitchManager::~SwitchManager() {
  std::lock_guard lock(mutex_);
  stopLocked();
}

std::uint16_t SwitchManager::port() const { return reservation_->port(); }

std::string SwitchManager::listenAddress() const {
  if (auto address = engineEnvironment().switchListenAddress) return *address;
  return lanAddress();
}

bool SwitchManager::startListen(const nlohmann::ordered_json& options) {
  std::lock_guard lock(mutex_);
  stopLocked();
  std::string error;
  const auto settings = engine::readSwitchSettings(options, error);
  if (!settings) {
    engine::note("switch listener refused: " + error);
    return false;
  }
  const engine::Endpoint listen{listenAddress(), port()};
  if (listen.address.empty() || listen.port == 0) {
    engine::note("switch listener: no LAN address to listen on");
    return false;
  }
  const auto environment = engineEnvironment();
  const auto config = engine::buildSwitchConfig(*settings, listen, environment.extraCaCertificate, ownAddresses());
  for (const auto& entry : config.refused) engine::note("switch listener: left out " + entry);
  const auto program = engine::findProgram(environment.v2rayProgram);
  if (!program) {
    engine::note("switch listener: the proxy engine was not found");
    return false;
  }
  auto child = engine::ChildProcess::start(*program, {"-config", "stdin:"}, config.config.dump(), error);
  if (!child) {
    engine::note("switch listener could not be started: " + error);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  std::string output;
  bool listening = false;
  while (std::chrono::steady_clock::now() < deadline) {
    child->readOutput(output);
    if (child->poll()) break;
    if (engine::listensOn(child->pid(), {listen})) {
      listening = true;
      break;
    }
    pollfd p{child->exitFd(), POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(kReadyPoll.count()));
  }
  engine::coreLog().append(output);
  if (!listening) {
    engine::note("switch listener did not come up" +
                 (child->exited() ? " (" + engine::describeWaitStatus(child->terminate()) + ")" : std::string()));
    return false;
  }
  const int outputFd = child->outputFd();
  child_ = std::move(child);
  drain_ = std::thread([outputFd, process = child_.get()] {
    // Runs until the child's output ends: when it dies, or when stopListen kills it.
    std::string chunk;
    for (;;) {
      pollfd p{outputFd, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0) continue;
      chunk.clear();
      const bool open = process->readOutput(chunk);
      if (!chunk.empty()) engine::coreLog().append(chunk);
      if (!open) return;
    }
  });
  engine::note("switch listener on " + listen.address + ":" + std::to_string(listen.port));
  return true;
}

void SwitchManager::stopListen() {
  std::lock_guard lock(mutex_);
  stopLocked();
}

void SwitchManager::stopLocked() {
  if (child_) {
    child_->terminate();
    engine::note("switch listener stopped");
  }
  if (drain_.joinable()) drain_.join();
  child_.reset();
}

}  // namespace helmsey
