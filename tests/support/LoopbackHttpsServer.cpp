#include "tests/support/LoopbackHttpsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <httplib.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <stdexcept>

namespace tarnel::test {
namespace {

constexpr time_t kStallSeconds = 60;

// A dropped connection makes the worker's later write fail; without this the write would kill
// the test process with SIGPIPE instead of failing quietly.
void ignoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

bool LoopbackHttpsServer::isLoopback(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

LoopbackHttpsServer::LoopbackHttpsServer(const TestCA::Leaf& certificate, std::string address,
                                         int port, Handler handler)
    : certificate_(certificate), address_(std::move(address)), port_(port),
      handler_(std::move(handler)) {
  if (!isLoopback(address_)) {
    throw std::runtime_error("test servers listen on loopback only, not " + address_);
  }
  ignoreBrokenPipes();
  start();
}

LoopbackHttpsServer::~LoopbackHttpsServer() { stop(); }

void LoopbackHttpsServer::start() {
  std::lock_guard lock(mutex_);
  if (server_) return;
  auto server = std::make_unique<httplib::SSLServer>(certificate_.certificate.c_str(),
                                                     certificate_.key.c_str());
  if (!server->is_valid()) {
    throw std::runtime_error("cannot load " + certificate_.certificate.string());
  }
  // SO_REUSEADDR only: the library's default adds SO_REUSEPORT, which would let two test
  // servers share one fixed port without an error and split its connections between them.
  server->set_socket_options([](int sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  server->set_keep_alive_max_count(keepAlive_ ? 1000 : 1);
  // Answers leave in more than one write: without this the second waits for the client's
  // delayed acknowledgement (some 40 ms) on a kept connection.
  server->set_tcp_nodelay(true);
  // A handshake, a request or an answer that stalls is waited for as long as only a hang
  // takes: a client slowed by a sanitizer and a busy machine is still served, not cut off.
  server->set_read_timeout(kStallSeconds, 0);
  server->set_write_timeout(kStallSeconds, 0);
  const httplib::Server::Handler route = [this](const httplib::Request& req,
                                                httplib::Response& res) { handler_(req, res); };
  server->Get(".*", route);
  server->Post(".*", route);
  server->Put(".*", route);
  server->Delete(".*", route);
  server->Patch(".*", route);
  server->Options(".*", route);

  if (port_ == 0) {
    port_ = server->bind_to_any_port(address_);
    if (port_ < 0) {
      port_ = 0;
      throw std::runtime_error("cannot bind a port on " + address_);
    }
  } else if (!server->bind_to_port(address_, port_)) {
    throw std::runtime_error("cannot bind " + authority());
  }

  httplib::SSLServer* raw = server.get();
  std::thread thread([raw] { raw->listen_after_bind(); });
  // stop() is only heard once the accept loop runs, so wait for it before handing out the server.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!raw->is_running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!raw->is_running()) {
    raw->stop();
    thread.join();
    throw std::runtime_error("the server on " + authority() + " did not start");
  }
  server_ = std::move(server);
  thread_ = std::move(thread);
}

void LoopbackHttpsServer::setKeepAlive(bool on) {
  bool wasRunning = false;
  {
    std::lock_guard lock(mutex_);
    if (keepAlive_ == on) return;
    keepAlive_ = on;
    wasRunning = server_ != nullptr;
  }
  if (wasRunning) {
    stop();
    start();
  }
}

void LoopbackHttpsServer::stop() {
  std::lock_guard lock(mutex_);
  if (!server_) return;
  server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

bool LoopbackHttpsServer::running() const {
  std::lock_guard lock(mutex_);
  return server_ != nullptr;
}

std::string LoopbackHttpsServer::authority() const {
  const bool v6 = address_.find(':') != std::string::npos;
  return (v6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

void LoopbackHttpsServer::dropConnection(const httplib::Request& request) {
  if (request.ssl == nullptr) return;
  const int fd = SSL_get_fd(request.ssl);
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

}  // namespace tarnel::test

namespace tarnel::test {

std::string LoopbackHttpsServer::serverName(const httplib::Request& request) {
  if (request.ssl == nullptr) return {};
  const char* name = SSL_get_servername(request.ssl, TLSEXT_NAMETYPE_host_name);
  return name == nullptr ? std::string() : std::string(name);
}

std::map<std::string, std::string> LoopbackHttpsServer::headersByLowerName(const httplib::Request& request) {
  std::map<std::string, std::string> headers;
  for (const auto& [name, value] : request.headers) {
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto [it, inserted] = headers.emplace(std::move(key), value);
    if (!inserted) it->second += ", " + value;
  }
  return headers;
}

}  // namespace tarnel::test
