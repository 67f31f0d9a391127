// Keychain items in the desktop's Secret Service, stored with the network-password schema of the
// GNOME keyring (attributes "server" and "user"): the desktop's counterpart of an internet
// password item.
#include <libsecret/secret.h>

#include <memory>
#include <mutex>

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

class SecretServiceKeychain final : public Keychain {
 public:
  KeychainLookup find(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    return findLocked(server, account);
  }

  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    std::lock_guard lock(mutex_);
    // The service replaces an item with the same attributes; an add must never do that.
    const auto existing = findLocked(server, account);
    if (existing.status == status::kSuccess) return status::kDuplicateItem;
    if (existing.status != status::kItemNotFound) return existing.status;
    GError* raw = nullptr;
    const std::string label = server + " (" + account + ")";
    const gboolean stored =
        secret_password_store_sync(SECRET_SCHEMA_COMPAT_NETWORK, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                   value.c_str(), nullptr, &raw, "server", server.c_str(), "user", account.c_str(),
                                   nullptr);
    Error error(raw);
    return stored && !error ? status::kSuccess : status::kNotAvailable;
  }

  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    GError* raw = nullptr;
    const gboolean removed = secret_password_clear_sync(SECRET_SCHEMA_COMPAT_NETWORK, nullptr, &raw, "server",
                                                        server.c_str(), "user", account.c_str(), nullptr);
    Error error(raw);
    if (error) return status::kNotAvailable;
    return removed ? status::kSuccess : status::kItemNotFound;
  }

  const char* backendName() const override { return "secret-service"; }

 private:
  KeychainLookup findLocked(const std::string& server, const std::string& account) {
    GError* raw = nullptr;
    std::unique_ptr<gchar, SecretDeleter> secret(secret_password_lookup_sync(
        SECRET_SCHEMA_COMPAT_NETWORK, nullptr, &raw, "server", server.c_str(), "user", account.c_str(), nullptr));
    Error error(raw);
    if (error) return {status::kNotAvailable, std::nullopt};
    if (!secret) return {status::kItemNotFound, std::nullopt};
    return {status::kSuccess, std::string(secret.get())};
  }

  // libsecret's synchronous calls are thread-safe, but an add is a search followed by a store:
  // serialising them keeps two threads from both adding.
  std::mutex mutex_;
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

std::shared_ptr<Keychain> makeSecretServiceKeychain() { return std::make_shared<SecretServiceKeychain>(); }

std::shared_ptr<Keychain> openKeychain(std::chrono::milliseconds probeTimeout) {
  if (secretServiceAnswers(probeTimeout)) {
    // An earlier run may have found no Secret Service and kept its items in the file.
    return makeLayeredKeychain(makeSecretServiceKeychain(), makeFileKeychain(defaultKeychainFile()));
  }
  return makeFileKeychain(defaultKeychainFile());
}

}  // namespace platform
