#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// Result codes of keychain operations, numbered as the macOS keychain numbers them so that the
// messages the service library prints read the same on every platform.
namespace keychain_status {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kIO = -36;                  // the store could not be read or written
inline constexpr std::int32_t kNotAvailable = -25291;     // no keychain service answers
inline constexpr std::int32_t kDuplicateItem = -25299;    // an item with that server and account exists
inline constexpr std::int32_t kItemNotFound = -25300;
inline constexpr std::int32_t kDecode = -26275;           // the item, or the store holding it, is damaged
}  // namespace keychain_status

struct KeychainLookup {
  std::int32_t status = keychain_status::kItemNotFound;
  std::optional<std::string> value;  // present exactly when status is kSuccess
};

// Internet-password items, one value per (server, account). Implementations are safe to call
// from several threads at once.
class Keychain {
 public:
  virtual ~Keychain() = default;

  virtual KeychainLookup find(const std::string& server, const std::string& account) = 0;
  // Adds a new item; never replaces one: an existing item gives kDuplicateItem.
  virtual std::int32_t add(const std::string& server, const std::string& account, const std::string& value) = 0;
  virtual std::int32_t remove(const std::string& server, const std::string& account) = 0;

  // "secret-service" or "file": which store answered.
  virtual const char* backendName() const = 0;
};

// The keychain of the desktop session: the Secret Service on the session bus
// (DBUS_SESSION_BUS_ADDRESS) when it answers a ping within `probeTimeout`, over the file store
// (makeLayeredKeychain, with the accounts `keptInBoth` kept in the file too), each of its calls
// bounded by `probeTimeout` too; otherwise only a file that only the user can read,
// appDataDir()/keychain.json. The file lives outside the user-defaults folder, so emptying the
// settings leaves the device identity in place.
std::shared_ptr<Keychain> openKeychain(std::chrono::milliseconds probeTimeout = std::chrono::milliseconds(2000),
                                       std::set<std::string> keptInBoth = {});

// Whether a Secret Service answers on the session bus within `timeout`.
bool secretServiceAnswers(std::chrono::milliseconds timeout);

// The two stores, for callers (and tests) that choose themselves.
// Each call of the Secret Service store ends within `callBound`: one that waits longer (for a
// prompt no one answers, such as the new keyring's password) is cancelled and answers
// kNotAvailable, and so do all later calls of that store.
std::shared_ptr<Keychain> makeSecretServiceKeychain(
    std::chrono::milliseconds callBound = std::chrono::milliseconds(2000));
std::shared_ptr<Keychain> makeFileKeychain(std::filesystem::path file);

// `primary` in front of `fallback`: an item is looked for in both before it counts as absent, and
// one found only in the fallback moves to the primary (added there, then removed from the
// fallback). Adds go to the primary, to the fallback only while the primary does not answer;
// removes go to both.
//
// Items of the accounts in `keptInBoth` hold nothing secret (the device identifier): the fallback
// keeps a copy of each, so that a run on which the primary does not answer (the fallback alone
// then serves) reads the same value as a run on which it does. Such an item found only in the
// fallback is added to the primary and stays in the fallback; one found in the primary is copied
// into the fallback when the fallback lacks it, holds another value or cannot be parsed. The
// primary's value wins: it is the older one wherever the two came apart.
std::shared_ptr<Keychain> makeLayeredKeychain(std::shared_ptr<Keychain> primary, std::shared_ptr<Keychain> fallback,
                                              std::set<std::string> keptInBoth = {});

// Where openKeychain() keeps the file store. A file store that does not parse answers kDecode
// on lookups; the next change sets it aside as "<file>.damaged" (".damaged.1", … when that is
// taken) and starts an empty one. An item whose value is not a text answers kDecode.
std::filesystem::path defaultKeychainFile();

}  // namespace platform
#pragma GCC visibility pop
