#pragma once

// What the HTTP engine keeps between exchanges: the trust store, TLS sessions and idle easy
// handles with their live connections. Internal to the engine.
//
// The system's certificate bundle is parsed once per process and again only when the file
// changes (another inode, size or modification time). Each new TLS connection is verified
// against one shared X509_STORE holding those authorities and the test seam's extra ones, so a
// handshake never reads the bundle.
//
// A change of the trust store (the bundle, or the extra authorities) starts a new generation:
// idle handles, their connections and the TLS session cache of the old one are dropped, so
// nothing verified under the old store is used again. Handles in use finish their exchange and
// are then discarded.
//
// Idle handles are kept per key (the engine's description of where an exchange connects: URL
// host and port, the address it really connects to, proxy and source), and a handle is only ever
// leased for its own key. libcurl matches live connections on host, connect-to address, port,
// proxy, source and TLS options as well, so a changed API host or a failover never travels over
// a connection to the old one. A handle is used by one thread at a time; the TLS sessions are
// shared through a libcurl share object with a lock per data kind.

#include <curl/curl.h>
#include <openssl/x509.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace helmsey::http {

class Generation;

// One easy handle for one exchange, returned to the pool (or cleaned up) when it goes.
class Lease {
 public:
  Lease() = default;
  Lease(std::shared_ptr<Generation> generation, CURL* handle, std::string key, bool keep);
  ~Lease();
  Lease(Lease&& other) noexcept;
  Lease& operator=(Lease&& other) noexcept;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  CURL* handle() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Prepares the handle for a new exchange: every option back to its default, the share and the
  // trust store of the lease's generation in place, no CA file or directory read by libcurl.
  void prepare();
  // The connection must not be kept (an exchange that failed half-way, for example).
  void discard() { keep_ = false; }

 private:
  void release();

  std::shared_ptr<Generation> generation_;
  CURL* handle_ = nullptr;
  std::string key_;
  bool keep_ = false;
};

// A handle for an exchange to `key`; `keep` false: the handle and its connection end with the
// lease (nothing idle stays behind, TLS sessions are still shared). Empty when libcurl cannot
// make a handle.
Lease lease(const std::string& key, bool keep);

// The extra authorities (test seam); empty `certificates` removes them. Starts a new generation.
struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
void setExtraAuthorities(std::vector<std::unique_ptr<X509, X509Free>> certificates);

// How many times this process has parsed the system's certificate bundle.
std::uint64_t systemBundleParses();
// Test seam: reads the system's authorities from `bundle` instead (empty path: the default).
void setSystemBundle(const std::filesystem::path& bundle);
// Idle handles kept now, over every key (for tests and benchmarks).
std::size_t idleHandles();

}  // namespace helmsey::http
