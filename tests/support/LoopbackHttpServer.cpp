#include "tests/support/LoopbackHttpServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <stdexcept>

namespace tarnel::test {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// One connection, with or without TLS.
class Stream {
 public:
  Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  long read(char* buffer, std::size_t size) {
    if (ssl_ != nullptr) return SSL_read(ssl_, buffer, static_cast<int>(size));
    return ::recv(fd_, buffer, size, 0);
  }
  bool writeAll(std::string_view data) {
    while (!data.empty()) {
      const long n = ssl_ != nullptr ? SSL_write(ssl_, data.data(), static_cast<int>(data.size()))
                                     : ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
};

// Reads one request; none when the client closed or sent something that is not HTTP.
std::optional<ReceivedRequest> readRequest(Stream& stream) {
  std::string data;
  char buffer[8192];
  std::size_t headEnd = std::string::npos;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxHead) return std::nullopt;
    const long n = stream.read(buffer, sizeof(buffer));
    if (n <= 0) return std::nullopt;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  auto head = parseRequestHead(std::string_view(data).substr(0, headEnd));
  if (!head.wellFormed) return std::nullopt;
  ReceivedRequest request;
  request.method = std::move(head.method);
  request.target = std::move(head.target);
  const auto question = request.target.find('?');
  request.path = request.target.substr(0, question);
  if (question != std::string::npos) request.query = request.target.substr(question + 1);
  request.headers = std::move(head.headers);

  std::size_t length = 0;
  if (const auto contentLength = request.header("Content-Length")) {
    const auto [end, ec] = std::from_chars(contentLength->data(), contentLength->data() + contentLength->size(), length);
    if (ec != std::errc() || end != contentLength->data() + contentLength->size()) return std::nullopt;
  }
  request.body = data.substr(headEnd + 4);
  while (request.body.size() < length) {
    const long n = stream.read(buffer, sizeof(buffer));
    if (n <= 0) return std::nullopt;
    request.body.append(buffer, static_cast<std::size_t>(n));
  }
  request.body.resize(length);
  return request;
}

std::string renderReply(const CannedReply& reply, bool keepAlive) {
  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
  out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  out += keepAlive ? "\r\n" : "Connection: close\r\n\r\n";
  return out + reply.body;
}

}  // namespace

struct LoopbackHttpServer::Tls {
  SSL_CTX* context = nullptr;
  ~Tls() { SSL_CTX_free(context); }
};

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::map<std::string, std::string> ReceivedRequest::queryItems() const {
  std::map<std::string, std::string> items;
  std::string_view rest = query;
  while (!rest.empty()) {
    const auto amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    const auto eq = pair.find('=');
    items[percentDecode(pair.substr(0, eq))] = eq == std::string_view::npos ? "" : percentDecode(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return items;
}

CannedReply CannedReply::text(int status, std::string body, std::string reason) {
  CannedReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = std::move(body);
  return reply;
}

CannedReply CannedReply::hang() {
  CannedReply reply;
  reply.kind = Kind::hang;
  return reply;
}

CannedReply CannedReply::drop() {
  CannedReply reply;
  reply.kind = Kind::drop;
  return reply;
}

LoopbackHttpServer::LoopbackHttpServer(std::optional<TestCA::Leaf> leaf, std::string address, std::uint16_t port)
    : address_(std::move(address)), handler_([](const ReceivedRequest&) { return CannedReply{}; }) {
  if (leaf) {
    tls_ = std::make_shared<Tls>();
    tls_->context = SSL_CTX_new(TLS_server_method());
    if (tls_->context == nullptr ||
        SSL_CTX_use_certificate_chain_file(tls_->context, leaf->certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_->context, leaf->key.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("cannot load the server certificate " + leaf->certificate.string());
    }
    SSL_CTX_set_min_proto_version(tls_->context, TLS1_2_VERSION);
  }
  listener_ = std::make_unique<LoopbackListener>(address_, port);
  listener_->start([this](int fd, const std::string& peer) { serve(fd, peer); });
}

LoopbackHttpServer::~LoopbackHttpServer() { listener_->stop(); }

void LoopbackHttpServer::setHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void LoopbackHttpServer::setKeepAlive(bool on) {
  std::lock_guard lock(mutex_);
  keepAlive_ = on;
}

void LoopbackHttpServer::setReply(CannedReply reply) {
  setHandler([reply = std::move(reply)](const ReceivedRequest&) { return reply; });
}

std::uint16_t LoopbackHttpServer::port() const { return listener_->port(); }

std::string LoopbackHttpServer::url() const {
  const std::string host = address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_;
  return std::string(tls_ ? "https://" : "http://") + host + ":" + std::to_string(port());
}

std::vector<ReceivedRequest> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  requests_.shrink_to_fit();
}

std::size_t LoopbackHttpServer::connectionCount() const { return listener_->connectionCount(); }

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::serve(int fd, const std::string& peer) {
  SSL* ssl = nullptr;
  std::string sni;
  if (tls_) {
    ssl = SSL_new(tls_->context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      ERR_clear_error();
      return;
    }
    if (const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name)) sni = name;
  }
  Stream stream(fd, ssl);
  bool more = true;
  while (more) {
    auto request = readRequest(stream);
    if (!request) break;
    more = false;
    request->sni = sni;
    request->peerAddress = peer;
    Handler handler;
    bool keepAlive = false;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(*request);
      handler = handler_;
      keepAlive = keepAlive_;
    }
    changed_.notify_all();
    const CannedReply reply = handler(*request);
    switch (reply.kind) {
      case CannedReply::Kind::answer:
        if (!stream.writeAll(renderReply(reply, keepAlive))) break;
        if (keepAlive) {
          more = true;
        } else if (ssl != nullptr) {
          SSL_shutdown(ssl);
        }
        break;
      case CannedReply::Kind::hang: {
        // Until the client gives up (readable: closed or more bytes) or the server stops.
        pollfd fds[2] = {{fd, POLLIN, 0}, {listener_->stopFd(), POLLIN, 0}};
        while (poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        break;
      }
      case CannedReply::Kind::drop:
        break;
    }
  }
  if (ssl != nullptr) SSL_free(ssl);
  ERR_clear_error();
}

}  // namespace tarnel::test
