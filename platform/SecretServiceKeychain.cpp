// Keychain items in the desktop's Secret Service, stored with the network-password schema of the
// GNOME keyring (attributes "server" and "user"): the desktop's counterpart of an internet
// password item.
#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

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

// Runs one libsecret call on a thread of its own, so that the caller never waits much past
// `bound`. libsecret's calls wait for the service's prompts (a new keyring's password, an unlock)
// as long as no one answers: at the bound the call is cancelled, which dismisses the prompt and
// ends it. A cancelled call that still does not end (libsecret has been seen to lose a cancelled
// call's answer and wait for ever) is left behind on its thread, which owns all it uses.
template <class Result>
struct BoundedCall {
  bool expired = false;           // the bound passed before the call ended
  std::optional<Result> result;   // none: the call was left behind

  template <class Call>
  static BoundedCall run(std::chrono::milliseconds bound, Call call) {
    struct Shared {
      std::unique_ptr<GCancellable, ObjectDeleter> cancellable{g_cancellable_new()};
      std::mutex mutex;
      std::condition_variable ended;
      std::optional<Result> result;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, call = std::move(call)]() mutable {
      Result result = call(shared->cancellable.get());
      {
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
      }
      shared->ended.notify_all();
    });
    BoundedCall outcome;
    std::unique_lock lock(shared->mutex);
    const auto done = [&] { return shared->result.has_value(); };
    if (!shared->ended.wait_for(lock, bound, done)) {
      outcome.expired = true;
      g_cancellable_cancel(shared->cancellable.get());
      shared->ended.wait_for(lock, std::chrono::milliseconds(250), done);
    }
    if (done()) {
      outcome.result = std::move(shared->result);
      lock.unlock();
      worker.join();
    } else {
      lock.unlock();
      worker.detach();
    }
    return outcome;
  }
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
    const std::string label = server + " (" + account + ")";
    const auto call = BoundedCall<bool>::run(callBound_, [server, account, label, value](GCancellable* cancellable) {
      GError* raw = nullptr;
      const gboolean stored =
          secret_password_store_sync(SECRET_SCHEMA_COMPAT_NETWORK, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                     value.c_str(), cancellable, &raw, "server", server.c_str(), "user",
                                     account.c_str(), nullptr);
      Error error(raw);
      return stored && !error;
    });
    noteBound(call.expired);
    return call.result.value_or(false) ? status::kSuccess : status::kNotAvailable;
  }

  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (gaveUp_) return status::kNotAvailable;
    const auto call = BoundedCall<std::int32_t>::run(callBound_, [server, account](GCancellable* cancellable) {
      GError* raw = nullptr;
      const gboolean removed = secret_password_clear_sync(SECRET_SCHEMA_COMPAT_NETWORK, cancellable, &raw, "server",
                                                          server.c_str(), "user", account.c_str(), nullptr);
      Error error(raw);
      if (error) return status::kNotAvailable;
      return removed ? status::kSuccess : status::kItemNotFound;
    });
    noteBound(call.expired);
    return call.result.value_or(status::kNotAvailable);
  }

  const char* backendName() const override { return "secret-service"; }

 private:
  KeychainLookup findLocked(const std::string& server, const std::string& account) {
    const auto call = BoundedCall<KeychainLookup>::run(callBound_, [server, account](GCancellable* cancellable) {
      GError* raw = nullptr;
      std::unique_ptr<gchar, SecretDeleter> secret(secret_password_lookup_sync(
          SECRET_SCHEMA_COMPAT_NETWORK, cancellable, &raw, "server", server.c_str(), "user", account.c_str(), nullptr));
      Error error(raw);
      if (error) return KeychainLookup{status::kNotAvailable, std::nullopt};
      if (!secret) return KeychainLookup{status::kItemNotFound, std::nullopt};
      return KeychainLookup{status::kSuccess, std::string(secret.get())};
    });
    noteBound(call.expired);
    return call.result.value_or(KeychainLookup{status::kNotAvailable, std::nullopt});
  }

  // A service that held a call past its bound is waiting for someone to answer a prompt: it
  // counts as not answering for the rest of the run, so no later call waits for it again.
  void noteBound(bool expired) {
    if (expired) gaveUp_ = true;
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

std::shared_ptr<Keychain> openKeychain(std::chrono::milliseconds probeTimeout, std::set<std::string> keptInBoth) {
  if (secretServiceAnswers(probeTimeout)) {
    // An earlier run may have found no Secret Service and kept its items in the file, and a later
    // one may find none again: the file keeps what such a run has to read.
    return makeLayeredKeychain(makeSecretServiceKeychain(probeTimeout), makeFileKeychain(defaultKeychainFile()),
                               std::move(keptInBoth));
  }
  return makeFileKeychain(defaultKeychainFile());
}

}  // namespace platform
