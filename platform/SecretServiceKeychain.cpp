// Keychain items in the desktop's Secret Service, stored with the network-password schema of the
// GNOME keyring (attributes "server" and "user"): the desktop's counterpart of an internet
// password item.
#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Keychain.h"

namespace platform {
namespace {

namespace status = keychain_status;

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorDeleter>;

struct SecretDeleter {
  void operator()(gchar* text) const { secret_password_free(text); }
};

struct ObjectDeleter {
  void operator()(gpointer object) const { g_object_unref(object); }
};

struct VariantDeleter {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};

struct TextDeleter {
  void operator()(gchar* text) const { g_free(text); }
};

// A cancellable that cancels itself when `bound` passes before the object goes. libsecret's
// calls wait for the service's prompts (a new keyring's password, an unlock) as long as no one
// answers; cancelling dismisses the prompt and ends the call.
class CallBound {
 public:
  explicit CallBound(std::chrono::milliseconds bound) : cancellable_(g_cancellable_new()) {
    watcher_ = std::thread([this, bound] {
      std::unique_lock lock(mutex_);
      if (!finishedChanged_.wait_for(lock, bound, [this] { return finished_; })) {
        expired_ = true;
        g_cancellable_cancel(cancellable_.get());
      }
    });
  }
  ~CallBound() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    finishedChanged_.notify_all();
    watcher_.join();
  }
  CallBound(const CallBound&) = delete;
  CallBound& operator=(const CallBound&) = delete;

  GCancellable* cancellable() const { return cancellable_.get(); }
  bool expired() {
    std::lock_guard lock(mutex_);
    return expired_;
  }

 private:
  std::unique_ptr<GCancellable, ObjectDeleter> cancellable_;
  std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
  bool expired_ = false;
  std::thread watcher_;
};

class SecretServiceKeychain final : public Keychain {
 public:
  explicit SecretServiceKeychain(std::chrono::milliseconds callBound) : callBound_(callBound) {}

  KeychainLookup find(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (gaveUp_) return {status::kNotAvailable, std::nullopt};
    return findLocked(server, account);
  }

  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    std::lock_guard lock(mutex_);
    if (gaveUp_) return status::kNotAvailable;
    // The service replaces an item with the same attributes; an add must never do that.
    const auto existing = findLocked(server, account);
    if (existing.status == status::kSuccess) return status::kDuplicateItem;
    if (existing.status != status::kItemNotFound) return existing.status;
    GError* raw = nullptr;
    const std::string label = server + " (" + account + ")";
    CallBound bound(callBound_);
    const gboolean stored =
        secret_password_store_sync(SECRET_SCHEMA_COMPAT_NETWORK, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                   value.c_str(), bound.cancellable(), &raw, "server", server.c_str(), "user",
                                   account.c_str(), nullptr);
    Error error(raw);
    noteBound(bound);
    return stored && !error ? status::kSuccess : status::kNotAvailable;
  }

  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (gaveUp_) return status::kNotAvailable;
    GError* raw = nullptr;
    CallBound bound(callBound_);
    const gboolean removed = secret_password_clear_sync(SECRET_SCHEMA_COMPAT_NETWORK, bound.cancellable(), &raw,
                                                        "server", server.c_str(), "user", account.c_str(), nullptr);
    Error error(raw);
    noteBound(bound);
    if (error) return status::kNotAvailable;
    return removed ? status::kSuccess : status::kItemNotFound;
  }

  const char* backendName() const override { return "secret-service"; }

 private:
  KeychainLookup findLocked(const std::string& server, const std::string& account) {
    GError* raw = nullptr;
    CallBound bound(callBound_);
    std::unique_ptr<gchar, SecretDeleter> secret(
        secret_password_lookup_sync(SECRET_SCHEMA_COMPAT_NETWORK, bound.cancellable(), &raw, "server",
                                    server.c_str(), "user", account.c_str(), nullptr));
    Error error(raw);
    noteBound(bound);
    if (error) return {status::kNotAvailable, std::nullopt};
    if (!secret) return {status::kItemNotFound, std::nullopt};
    return {status::kSuccess, std::string(secret.get())};
  }

  // A service that held a call past its bound is waiting for someone to answer a prompt: it
  // counts as not answering for the rest of the run, so no later call waits for it again.
  void noteBound(CallBound& bound) {
    if (bound.expired()) gaveUp_ = true;
  }

  const std::chrono::milliseconds callBound_;
  // libsecret's synchronous calls are thread-safe, but an add is a search followed by a store:
  // serialising them keeps two threads from both adding.
  std::mutex mutex_;
  bool gaveUp_ = false;  // guarded by mutex_
};

}  // namespace

bool secretServiceAnswers(std::chrono::milliseconds timeout) {
  GError* raw = nullptr;
  std::unique_ptr<gchar, TextDeleter> address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  Error error(raw);
  if (!address) return false;
  // A private connection: probing must not leave a shared bus connection behind when the answer
  // is no.
  raw = nullptr;
  std::unique_ptr<GDBusConnection, ObjectDeleter> connection(g_dbus_connection_new_for_address_sync(
      address.get(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &raw));
  error.reset(raw);
  if (!connection) return false;
  raw = nullptr;
  // Pinging the well-known name also starts a service that the bus can activate.
  std::unique_ptr<GVariant, VariantDeleter> reply(g_dbus_connection_call_sync(
      connection.get(), "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.DBus.Peer", "Ping",
      nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(timeout.count()), nullptr, &raw));
  error.reset(raw);
  g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
  return reply != nullptr;
}

std::shared_ptr<Keychain> makeSecretServiceKeychain(std::chrono::milliseconds callBound) {
  return std::make_shared<SecretServiceKeychain>(callBound);
}

std::shared_ptr<Keychain> openKeychain(std::chrono::milliseconds probeTimeout) {
  if (secretServiceAnswers(probeTimeout)) {
    // An earlier run may have found no Secret Service and kept its items in the file.
    return makeLayeredKeychain(makeSecretServiceKeychain(probeTimeout), makeFileKeychain(defaultKeychainFile()));
  }
  return makeFileKeychain(defaultKeychainFile());
}

}  // namespace platform
