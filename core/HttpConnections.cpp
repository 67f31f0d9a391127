#include "core/HttpConnections.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <utility>

namespace helmsey::http {
namespace {

using Certificates = std::vector<std::unique_ptr<X509, X509Free>>;

// Idle handles kept for one key, and over all keys. Each holds at most a few live connections.
constexpr std::size_t kIdlePerKey = 4;
constexpr std::size_t kIdleTotal = 16;

// What tells a changed bundle apart: a replaced file (update-ca-certificates writes a new one)
// or one rewritten in place.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};

FileIdentity identityOf(const std::filesystem::path& file) {
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) return {};
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// libcurl's own defaults, which the engine used before it kept a store of its own.
std::filesystem::path defaultBundle() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info != nullptr && info->cainfo != nullptr) return info->cainfo;
  return X509_get_default_cert_file();
}
std::filesystem::path defaultDirectory() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info != nullptr && info->capath != nullptr) return info->capath;
  return {};
}

Certificates parseBundle(const std::filesystem::path& file) {
  Certificates certs;
  BIO* bio = BIO_new_file(file.c_str(), "r");
  if (bio == nullptr) {
    ERR_clear_error();
    return certs;
  }
  STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (infos != nullptr) {
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
      X509_INFO* info = sk_X509_INFO_value(infos, i);
      if (info->x509 != nullptr && X509_up_ref(info->x509) == 1) certs.emplace_back(info->x509);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
  }
  ERR_clear_error();
  return certs;
}

void lockShared(CURL*, curl_lock_data data, curl_lock_access, void* user);
void unlockShared(CURL*, curl_lock_data data, void* user);

CURLcode installStore(CURL*, void* sslContext, void* user) {
  if (user == nullptr) return CURLE_SSL_CACERT_BADFILE;  // no store: nothing could be verified
  // The context takes its own reference: the store outlives the generation if it must.
  SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslContext), static_cast<X509_STORE*>(user));
  return CURLE_OK;
}

}  // namespace

class Generation {
 public:
  explicit Generation(X509_STORE* store) : store_(store), share_(curl_share_init()) {
    if (share_ != nullptr) {
      curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lockShared);
      curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, unlockShared);
      curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
      curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
      curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
  }
  ~Generation() {
    dropIdle();
    if (share_ != nullptr) curl_share_cleanup(share_);
    X509_STORE_free(store_);
  }
  Generation(const Generation&) = delete;
  Generation& operator=(const Generation&) = delete;

  X509_STORE* store() const { return store_; }
  CURLSH* share() const { return share_; }
  std::mutex& lockFor(curl_lock_data data) { return locks_.at(static_cast<std::size_t>(data)); }

  void retire() {
    retired_.store(true);
    dropIdle();
  }

  CURL* takeIdle(const std::string& key) {
    std::lock_guard lock(idleMutex_);
    for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
      if (it->first != key) continue;
      CURL* handle = it->second;
      idle_.erase(std::next(it).base());
      return handle;
    }
    return nullptr;
  }

  void giveBack(const std::string& key, CURL* handle) {
    std::vector<CURL*> evicted;
    {
      std::lock_guard lock(idleMutex_);
      if (retired_.load()) {
        evicted.push_back(handle);
      } else {
        idle_.emplace_back(key, handle);
        std::size_t sameKey = 0;
        for (auto it = idle_.rbegin(); it != idle_.rend();) {
          if (it->first == key && ++sameKey > kIdlePerKey) {
            evicted.push_back(it->second);
            it = std::make_reverse_iterator(idle_.erase(std::next(it).base()));
          } else {
            ++it;
          }
        }
        while (idle_.size() > kIdleTotal) {
          evicted.push_back(idle_.front().second);
          idle_.pop_front();
        }
      }
    }
    // Closing connections may write to the network: never under the lock.
    for (CURL* h : evicted) curl_easy_cleanup(h);
  }

  std::size_t idleCount() {
    std::lock_guard lock(idleMutex_);
    return idle_.size();
  }

 private:
  void dropIdle() {
    std::deque<std::pair<std::string, CURL*>> idle;
    {
      std::lock_guard lock(idleMutex_);
      idle.swap(idle_);
    }
    for (auto& entry : idle) curl_easy_cleanup(entry.second);
  }

  X509_STORE* store_;
  CURLSH* share_;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  std::atomic<bool> retired_{false};
  std::mutex idleMutex_;
  std::deque<std::pair<std::string, CURL*>> idle_;  // oldest first
};

namespace {

void lockShared(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<Generation*>(user)->lockFor(data).lock();
}
void unlockShared(CURL*, curl_lock_data data, void* user) { static_cast<Generation*>(user)->lockFor(data).unlock(); }

class Pool {
 public:
  // Made on first use and never destroyed: exchanges on other threads may still run while the
  // process's static objects are torn down.
  static Pool& shared() {
    static Pool* pool = new Pool;
    return *pool;
  }

  std::shared_ptr<Generation> current() {
    std::shared_ptr<Generation> retired;
    std::shared_ptr<Generation> now;
    {
      std::lock_guard lock(mutex_);
      const std::filesystem::path bundle = bundleOverride_.empty() ? defaultBundle() : bundleOverride_;
      const FileIdentity identity = identityOf(bundle);
      if (!parsed_ || !(identity == bundleIdentity_) || bundle != bundlePath_) {
        systemCerts_ = parseBundle(bundle);
        bundleIdentity_ = identity;
        bundlePath_ = bundle;
        parsed_ = true;
        parses_.fetch_add(1);
        dirty_ = true;
      }
      if (dirty_ || !current_) {
        retired = std::move(current_);
        current_ = std::make_shared<Generation>(buildStore());
        dirty_ = false;
      }
      now = current_;
    }
    if (retired) retired->retire();
    return now;
  }

  void setExtra(Certificates certificates) {
    std::lock_guard lock(mutex_);
    extra_ = std::move(certificates);
    dirty_ = true;
  }

  void setBundle(const std::filesystem::path& bundle) {
    std::lock_guard lock(mutex_);
    bundleOverride_ = bundle;
  }

  std::uint64_t parses() const { return parses_.load(); }

  std::size_t idle() {
    std::shared_ptr<Generation> generation;
    {
      std::lock_guard lock(mutex_);
      generation = current_;
    }
    return generation ? generation->idleCount() : 0;
  }

 private:
  X509_STORE* buildStore() const {
    X509_STORE* store = X509_STORE_new();
    if (store == nullptr) return nullptr;
    // The store holds references: the bundle's certificates are not parsed again.
    for (const auto& cert : systemCerts_) X509_STORE_add_cert(store, cert.get());
    // Copies: the caller's objects stay the caller's.
    for (const auto& cert : extra_) {
      std::unique_ptr<X509, X509Free> copy(X509_dup(cert.get()));
      if (copy) X509_STORE_add_cert(store, copy.get());
    }
    // Certificates that are only in the hashed directory are still found, read on demand.
    if (bundleOverride_.empty()) {
      const auto directory = defaultDirectory();
      if (!directory.empty()) X509_STORE_load_path(store, directory.c_str());
    }
    // OpenSSL fills a certificate's decoded extensions (key identifiers, constraints) on first use
    // and reads them afterwards without its lock. The store is shared by every exchange thread, so
    // fill them now, while this thread is the store's only user.
    STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
    for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
      if (X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i))) X509_check_purpose(cert, -1, 0);
    }
    // libcurl's defaults for a store it loads itself.
    X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
    ERR_clear_error();
    return store;
  }

  std::mutex mutex_;
  std::filesystem::path bundleOverride_;
  std::filesystem::path bundlePath_;
  FileIdentity bundleIdentity_;
  bool parsed_ = false;
  bool dirty_ = false;
  std::atomic<std::uint64_t> parses_{0};
  Certificates systemCerts_;
  Certificates extra_;
  std::shared_ptr<Generation> current_;
};

}  // namespace

Lease::Lease(std::shared_ptr<Generation> generation, CURL* handle, std::string key, bool keep)
    : generation_(std::move(generation)), handle_(handle), key_(std::move(key)), keep_(keep) {}

Lease::~Lease() { release(); }

Lease::Lease(Lease&& other) noexcept
    : generation_(std::move(other.generation_)),
      handle_(std::exchange(other.handle_, nullptr)),
      key_(std::move(other.key_)),
      keep_(other.keep_) {}

Lease& Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    release();
    generation_ = std::move(other.generation_);
    handle_ = std::exchange(other.handle_, nullptr);
    key_ = std::move(other.key_);
    keep_ = other.keep_;
  }
  return *this;
}

void Lease::release() {
  if (handle_ == nullptr) return;
  CURL* handle = std::exchange(handle_, nullptr);
  // The handle still points at buffers of the exchange that ended: forget them before it idles.
  curl_easy_reset(handle);
  if (keep_ && generation_) {
    generation_->giveBack(key_, handle);
  } else {
    curl_easy_cleanup(handle);
  }
  generation_.reset();
}

void Lease::prepare() {
  if (handle_ == nullptr || !generation_) return;
  curl_easy_reset(handle_);
  if (generation_->share() != nullptr) curl_easy_setopt(handle_, CURLOPT_SHARE, generation_->share());
  // The generation's store replaces whatever libcurl would read from the disk for each connection.
  curl_easy_setopt(handle_, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(handle_, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(handle_, CURLOPT_CA_CACHE_TIMEOUT, 0L);
  curl_easy_setopt(handle_, CURLOPT_SSL_CTX_FUNCTION, installStore);
  curl_easy_setopt(handle_, CURLOPT_SSL_CTX_DATA, generation_->store());
}

Lease lease(const std::string& key, bool keep) {
  auto generation = Pool::shared().current();
  CURL* handle = keep ? generation->takeIdle(key) : nullptr;
  if (handle == nullptr) handle = curl_easy_init();
  if (handle == nullptr) return {};
  return Lease(std::move(generation), handle, key, keep);
}

void setExtraAuthorities(std::vector<std::unique_ptr<X509, X509Free>> certificates) {
  Pool::shared().setExtra(std::move(certificates));
}

std::uint64_t systemBundleParses() { return Pool::shared().parses(); }

void setSystemBundle(const std::filesystem::path& bundle) { Pool::shared().setBundle(bundle); }

std::size_t idleHandles() { return Pool::shared().idle(); }

}  // namespace helmsey::http
