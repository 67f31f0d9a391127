#include "core/tunnel/TunnelProvider.h"

#include <arpa/inet.h>
#include <elf.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "core/engine/EngineLog.h"
#include "core/engine/ListenProbe.h"

namespace helmsey::tunnel {
namespace {

bool isAddress(const std::string& text) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

// The node's address, looked up before the capture is in place: the engine's own name lookups
// do not carry the bypass mark, so once captured they would be sent to the engine itself.
std::optional<std::string> resolve(const std::string& host) {
  if (isAddress(host)) return host;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = found->ai_family == AF_INET
                        ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr)
                        : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(found->ai_addr)->sin6_addr);
  const bool ok = ::inet_ntop(found->ai_family, raw, text, sizeof text) != nullptr;
  ::freeaddrinfo(found);
  if (!ok) return std::nullopt;
  return std::string(text);
}

}  // namespace

TunnelProvider::TunnelProvider(Options options)
    : options_(std::move(options)), rules_(options_.stateDirectory) {
  if (rules_.pending()) engine::note("removing the traffic capture left by an earlier run");
  rules_.removeLeftovers();
}

TunnelProvider::~TunnelProvider() { stop(); }

namespace {

// The engine's identity; none (with `error`) when the user does not exist.
std::optional<std::optional<engine::ChildProcess::Identity>> engineIdentity(const std::string& user,
                                                                            std::string& error) {
  if (user.empty()) return std::optional<engine::ChildProcess::Identity>();
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    error = "the engine's user " + user + " does not exist";
    return std::nullopt;
  }
  return std::optional<engine::ChildProcess::Identity>(
      engine::ChildProcess::Identity{found->pw_uid, found->pw_gid, true});
}

// The dynamic loader named in an ELF program's header, if it has one.
std::optional<std::filesystem::path> elfInterpreter(const std::filesystem::path& program) {
  std::ifstream in(program, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
    return std::nullopt;
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr entry{};
    in.seekg(static_cast<std::streamoff>(header.e_phoff + i * sizeof entry));
    if (!in.read(reinterpret_cast<char*>(&entry), sizeof entry)) return std::nullopt;
    if (entry.p_type != PT_INTERP || entry.p_filesz == 0 || entry.p_filesz > 4096) continue;
    std::string path(entry.p_filesz, '\0');
    in.seekg(static_cast<std::streamoff>(entry.p_offset));
    if (!in.read(path.data(), static_cast<std::streamsize>(path.size()))) return std::nullopt;
    path.resize(std::strlen(path.c_str()));
    return std::filesystem::path(path);
  }
  return std::nullopt;
}

// The engine may not be able to read a certificate file that this process can: it is handed
// the certificate itself.
void inlineCertificates(engine::Json& node) {
  if (node.is_object()) {
    if (node.contains("certificateFile") && node["certificateFile"].is_string()) {
      std::ifstream in(node["certificateFile"].get<std::string>());
      engine::Json lines = engine::Json::array();
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
      }
      node.erase("certificateFile");
      node["certificate"] = std::move(lines);
    }
    for (auto& [key, value] : node.items()) inlineCertificates(value);
  } else if (node.is_array()) {
    for (auto& value : node) inlineCertificates(value);
  }
}

}  // namespace

bool TunnelProvider::start(const engine::Json& configuration, std::string& error) {
  stop();
  auto settings = engine::readTunnelSettings(configuration, error);
  if (!settings) return false;
  const auto identity = engineIdentity(options_.engineUser, error);
  if (!identity) return false;
  // The engine shares the held port only when the holding socket is its user's (the kernel
  // lets two sockets share a port only for one user): this thread makes it as that user.
  if (*identity) ::syscall(SYS_setfsuid, (*identity)->uid);
  port_.emplace("127.0.0.1");
  if (*identity) ::syscall(SYS_setfsuid, 0);
  if (port_->port() == 0) {
    error = "no port for the transparent inbound";
    return false;
  }
  const auto address = resolve(settings->node.address);
  if (!address) {
    error = "the server address could not be resolved";
    return false;
  }
  if (cancelled_.load()) {
    error = "the start was cancelled";
    return false;
  }
  if (settings->node.serverName.empty() && !isAddress(settings->node.address)) {
    settings->node.serverName = settings->node.address;
  }
  settings->node.address = *address;
  const bool ipv6 = loopbackIpv6Available();
  const auto config = engine::buildCaptureConfig(*settings, port_->port(), ipv6, CaptureRules::kBypassMark,
                                                 options_.extraCa);
  const auto program = engine::findProgram(options_.v2rayProgram);
  if (!program) {
    error = "the proxy engine " + options_.v2rayProgram.string() + " was not found";
    return false;
  }
  auto engineConfig = config.config;
  if (*identity) inlineCertificates(engineConfig);
  std::filesystem::path launched = *program;
  std::vector<std::string> arguments{"-config", "stdin:"};
  if (*identity) {
    // A program with file capabilities (Debian's v2ray may bind low ports) loses ambient
    // capabilities when it is executed; started by its loader, which has none, it keeps them.
    if (const auto loader = elfInterpreter(*program)) {
      arguments.insert(arguments.begin(), program->string());
      launched = *loader;
    }
  }
  child_ = engine::ChildProcess::start(launched, arguments, engineConfig.dump(), error, *identity);
  if (!child_) return false;
  outputOpen_ = true;
  lastLine_.clear();
  partial_.clear();

  std::vector<engine::Endpoint> inbounds{{"127.0.0.1", port_->port()}};
  if (ipv6) inbounds.push_back({"::1", port_->port()});
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!engine::listensOn(child_->pid(), inbounds)) {
    drainOutput();
    if (cancelled_.load()) {
      error = "the start was cancelled";
      tearDown();
      return false;
    }
    if (child_->poll() || std::chrono::steady_clock::now() >= deadline) {
      drainOutput();
      error = "the proxy engine did not start" + (lastLine_.empty() ? std::string() : ": " + lastLine_);
      tearDown();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!rules_.apply(port_->port(), ipv6, error)) {
    tearDown();
    return false;
  }
  engine::note("traffic captured into port " + std::to_string(port_->port()) + (ipv6 ? " (IPv4 and IPv6)" : " (IPv4)"));
  return true;
}

bool TunnelProvider::stop() {
  if (child_) return tearDown();
  return !rules_.pending() || rules_.remove();
}

// The capture goes before the engine, so that no packet is steered into a port nobody serves.
bool TunnelProvider::tearDown() {
  const bool removed = rules_.remove();
  if (child_) {
    child_->terminate(std::chrono::seconds(2));
    drainOutput();
    child_.reset();
  }
  outputOpen_ = false;
  return removed;
}

std::vector<int> TunnelProvider::watchFds() const {
  std::vector<int> fds;
  if (child_) {
    fds.push_back(child_->exitFd());
    if (outputOpen_) fds.push_back(child_->outputFd());
  }
  return fds;
}

bool TunnelProvider::service(std::string& why) {
  if (!child_) return true;
  drainOutput();
  const auto status = child_->poll();
  if (!status) return true;
  drainOutput();
  why = "the proxy engine ended with " + engine::describeWaitStatus(*status) +
        (lastLine_.empty() ? std::string() : ": " + lastLine_);
  engine::note(why);
  tearDown();
  return false;
}

void TunnelProvider::drainOutput() {
  if (!child_ || !outputOpen_) return;
  std::string chunk;
  const bool open = child_->readOutput(chunk);
  if (!chunk.empty()) {
    engine::coreLog().append(chunk);
    partial_ += chunk;
    std::size_t end;
    while ((end = partial_.find('\n')) != std::string::npos) {
      std::string line = partial_.substr(0, end);
      partial_.erase(0, end + 1);
      if (!line.empty()) lastLine_ = std::move(line);
    }
  }
  if (!open) outputOpen_ = false;
}

}  // namespace helmsey::tunnel
