#include "tests/support/V2rayNode.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/support/LoopbackListener.h"

extern char** environ;

namespace tarnel::test {
namespace {

// Holds a kernel-chosen port with a bound, non-listening SO_REUSEPORT socket: v2ray (which binds
// with SO_REUSEPORT) can listen on it, no other test process can be handed it.
int reserveLoopbackPort(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

nlohmann::json inbound(const V2rayNode::Options& options, std::uint16_t port) {
  std::vector<std::string> credentials{options.credential};
  credentials.insert(credentials.end(), options.moreCredentials.begin(), options.moreCredentials.end());
  nlohmann::json clients = nlohmann::json::array();
  nlohmann::json settings;
  std::string protocol;
  for (const auto& credential : credentials) {
    switch (options.kind) {
      case V2rayNode::Kind::vmess: clients.push_back({{"id", credential}, {"alterId", 0}}); break;
      case V2rayNode::Kind::vless: clients.push_back({{"id", credential}}); break;
      case V2rayNode::Kind::trojan:
      case V2rayNode::Kind::trojanWebSocket: clients.push_back({{"password", credential}}); break;
    }
  }
  switch (options.kind) {
    case V2rayNode::Kind::vmess:
      protocol = "vmess";
      settings = {{"clients", clients}};
      break;
    case V2rayNode::Kind::vless:
      protocol = "vless";
      settings = {{"clients", clients}, {"decryption", "none"}};
      break;
    case V2rayNode::Kind::trojan:
    case V2rayNode::Kind::trojanWebSocket:
      protocol = "trojan";
      settings = {{"clients", clients}};
      break;
  }
  nlohmann::json stream = {
      {"network", options.kind == V2rayNode::Kind::trojanWebSocket ? "ws" : "tcp"},
      {"security", "tls"},
      {"tlsSettings",
       {{"certificates",
         {{{"certificateFile", options.certificate.certificate.string()}, {"keyFile", options.certificate.key.string()}}}}}}};
  if (options.kind == V2rayNode::Kind::trojanWebSocket) stream["wsSettings"] = {{"path", options.webSocketPath}};
  if (options.fallbackPort != 0 && (options.kind == V2rayNode::Kind::vless || options.kind == V2rayNode::Kind::trojan)) {
    settings["fallbacks"] = {{{"dest", options.fallbackPort}}};
    stream["tlsSettings"]["alpn"] = {"http/1.1"};
  }
  return {{"listen", options.listenAddress}, {"port", port}, {"protocol", protocol}, {"settings", settings}, {"streamSettings", stream}};
}

}  // namespace

const char* V2rayNode::kindName(Kind kind) {
  switch (kind) {
    case Kind::vmess: return "vmess";
    case Kind::vless: return "vless";
    case Kind::trojan: return "trojan";
    case Kind::trojanWebSocket: return "trojan-ws";
  }
  return "?";
}

V2rayNode::V2rayNode(const Options& options, const std::filesystem::path& directory) {
  if (options.port != 0) {
    port_ = options.port;
  } else {
    reservation_ = reserveLoopbackPort(port_);
    if (reservation_ < 0) throw std::runtime_error("no loopback port for the node");
  }

  nlohmann::json outbound = {{"protocol", "freedom"}, {"settings", {{"domainStrategy", "UseIPv4"}}}};
  if (!options.sendThrough.empty()) outbound["sendThrough"] = options.sendThrough;
  nlohmann::json config = {{"log", {{"loglevel", "warning"}}},
                           {"inbounds", {inbound(options, port_)}},
                           {"outbounds", {outbound}}};
  if (!options.hosts.empty()) config["dns"] = {{"hosts", options.hosts}, {"servers", {"localhost"}}};

  const std::string label = std::string("node-") + kindName(options.kind) + "-" + std::to_string(port_);
  const auto configFile = directory / (label + ".json");
  logFile_ = directory / (label + ".log");
  std::ofstream(configFile) << config.dump(2);

  configFile_ = configFile;
  listenAddress_ = options.listenAddress;
  try {
    launch();
  } catch (...) {
    if (reservation_ >= 0) ::close(reservation_);
    throw;
  }
}

void V2rayNode::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

void V2rayNode::restart() {
  if (pid_ > 0) return;
  launch();
}

void V2rayNode::launch() {
  // A start that ends before it listens (many nodes and engines starting at once) is tried
  // again a few times; one that runs without listening is given a generous while.
  std::string output;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    switch (launchOnce()) {
      case Launch::listening: return;
      case Launch::exited:
        output = log();
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
        continue;
      case Launch::silent:
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        throw std::runtime_error("the node did not listen within 30 s: " + log());
    }
  }
  throw std::runtime_error("the node did not start (3 attempts): " + output);
}

V2rayNode::Launch V2rayNode::launchOnce() {
  const std::filesystem::path configFile = configFile_;
  // Forked by hand for the parent-death signal: a node must not outlive a test that died.
  const int logFd = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  std::string program = "/usr/bin/v2ray", flag = "-config", file = configFile.string();
  char* argv[] = {program.data(), flag.data(), file.data(), nullptr};
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(logFd, STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    ::execve(program.c_str(), argv, environ);
    ::_exit(127);
  }
  ::close(logFd);
  ::close(nullFd);
  if (pid_ < 0) {
    pid_ = -1;
    return Launch::exited;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!acceptsConnections(listenAddress_, port_)) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return Launch::exited;
    }
    if (std::chrono::steady_clock::now() > deadline) return Launch::silent;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Launch::listening;
}

V2rayNode::~V2rayNode() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (reservation_ >= 0) ::close(reservation_);
}

std::string V2rayNode::log() const {
  std::ifstream in(logFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string randomUuid() {
  std::random_device device;
  std::uniform_int_distribution<int> nibble(0, 15);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text.push_back('-');
    int value = nibble(device);
    if (i == 12) value = 4;                  // version 4
    if (i == 16) value = 8 | (value & 3);    // variant 10xx
    text.push_back(kHex[value]);
  }
  return text;
}

}  // namespace tarnel::test
