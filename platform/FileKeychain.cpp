// The keychain of last resort: a JSON list of items in a 0600 file inside a 0700 folder.
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"
#include "platform/BoundedJson.h"
#include "platform/Keychain.h"
#include "platform/XdgPaths.h"

namespace platform {
namespace {

using nlohmann::json;
namespace status = keychain_status;

class FileKeychain final : public Keychain {
 public:
  explicit FileKeychain(std::filesystem::path file) : file_(std::move(file)) {}

  KeychainLookup find(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    const Loaded loaded = load();
    if (loaded.status != status::kSuccess) return {loaded.status, std::nullopt};
    if (const auto* item = lookup(loaded.items, server, account)) {
      const auto& value = (*item)["value"];
      if (value.is_string()) return {status::kSuccess, value.get<std::string>()};
      return {status::kDecode, std::nullopt};
    }
    return {status::kItemNotFound, std::nullopt};
  }

  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    return modify([&](json& items) {
      if (lookup(items, server, account) != nullptr) return status::kDuplicateItem;
      items.push_back(json{{"server", server}, {"account", account}, {"value", value}});
      return status::kSuccess;
    });
  }

  std::int32_t remove(const std::string& server, const std::string& account) override {
    return modify([&](json& items) {
      for (auto it = items.begin(); it != items.end(); ++it) {
        if (matches(*it, server, account)) {
          items.erase(it);
          return status::kSuccess;
        }
      }
      return status::kItemNotFound;
    });
  }

  const char* backendName() const override { return "file"; }

 private:
  static bool matches(const json& item, const std::string& server, const std::string& account) {
    return item.is_object() && item.value("server", json()) == server && item.value("account", json()) == account;
  }

  static const json* lookup(const json& items, const std::string& server, const std::string& account) {
    for (const auto& item : items) {
      if (matches(item, server, account)) return &item;
    }
    return nullptr;
  }

  struct Loaded {
    std::int32_t status = status::kSuccess;  // kIO: unreadable; kDecode: not a list of items
    json items = json::array();
  };

  // The list of items: empty when there is no file yet.
  Loaded load() const {
    if (!stampOf(file_).exists) return {};
    const auto content = readWholeFile(file_);
    if (!content) return {status::kIO, json::array()};
    // Bounded: a file nested past any real depth is damage, not a reason to overflow the stack.
    auto parsed = parseJsonBounded<json>(content->bytes);
    if (!parsed || !parsed->is_array()) return {status::kDecode, json::array()};
    return {status::kSuccess, std::move(*parsed)};
  }

  // Moves a damaged store out of the way under a name no earlier copy holds: what it held may
  // still be wanted by someone who looks.
  bool setAside() const {
    for (int n = 0; n < 1000; ++n) {
      std::filesystem::path aside(file_.string() + ".damaged" + (n == 0 ? std::string() : "." + std::to_string(n)));
      std::error_code error;
      if (std::filesystem::exists(aside, error) || error) continue;
      std::filesystem::rename(file_, aside, error);
      return !error;
    }
    return false;
  }

  template <class Change>
  std::int32_t modify(Change change) {
    std::lock_guard lock(mutex_);
    if (!ensureDirectory(file_.parent_path(), 0700)) return status::kIO;
    FileLock interProcess(std::filesystem::path(file_.string() + ".lock"));
    if (!interProcess.locked()) return status::kIO;
    Loaded loaded = load();
    if (loaded.status == status::kDecode) {
      if (!setAside()) return status::kIO;
      loaded = Loaded{};
    }
    if (loaded.status != status::kSuccess) return loaded.status;
    const std::int32_t result = change(loaded.items);
    if (result != status::kSuccess) return result;
    std::string text;
    try {
      text = loaded.items.dump(2, ' ', false, json::error_handler_t::strict);
    } catch (const json::exception&) {
      return status::kIO;
    }
    return replaceFileAtomically(file_, text + "\n", 0600) ? status::kSuccess : status::kIO;
  }

  const std::filesystem::path file_;
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<Keychain> makeFileKeychain(std::filesystem::path file) {
  return std::make_shared<FileKeychain>(std::move(file));
}

namespace {

class LayeredKeychain final : public Keychain {
 public:
  LayeredKeychain(std::shared_ptr<Keychain> primary, std::shared_ptr<Keychain> fallback,
                  std::set<std::string> keptInBoth)
      : primary_(std::move(primary)), fallback_(std::move(fallback)), keptInBoth_(std::move(keptInBoth)) {}

  KeychainLookup find(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (keptInBoth_.contains(account)) return findKeptInBoth(server, account);
    const KeychainLookup first = primary_->find(server, account);
    if (first.status == status::kSuccess || first.status == status::kDecode) return first;
    const KeychainLookup second = fallback_->find(server, account);
    if (second.status == status::kDecode) return second;
    if (second.status != status::kSuccess) return first;
    // Moved only once the primary holds it: a failed add leaves the item where it was.
    if (first.status == status::kItemNotFound && primary_->add(server, account, *second.value) == status::kSuccess) {
      (void)fallback_->remove(server, account);
    }
    return second;
  }

  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    std::lock_guard lock(mutex_);
    const std::int32_t result = primary_->add(server, account, value);
    if (result == status::kSuccess && keptInBoth_.contains(account)) {
      copyToFallback(server, account, value, fallback_->find(server, account));
    }
    if (result != status::kNotAvailable && result != status::kIO) return result;
    return fallback_->add(server, account, value);
  }

  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    const std::int32_t first = primary_->remove(server, account);
    const std::int32_t second = fallback_->remove(server, account);
    if (first == status::kSuccess || second == status::kSuccess) return status::kSuccess;
    return first == status::kItemNotFound ? second : first;
  }

  const char* backendName() const override { return primary_->backendName(); }

 private:
  KeychainLookup findKeptInBoth(const std::string& server, const std::string& account) {
    const KeychainLookup first = primary_->find(server, account);
    const KeychainLookup second = fallback_->find(server, account);
    if (first.status == status::kSuccess) {
      copyToFallback(server, account, *first.value, second);
      return first;
    }
    if (second.status == status::kSuccess) {
      // Kept in the fallback too: the primary may not answer on the next run. A damaged item in
      // the primary would refuse the add: the copy replaces it.
      if (first.status == status::kDecode) (void)primary_->remove(server, account);
      if (first.status == status::kItemNotFound || first.status == status::kDecode) {
        (void)primary_->add(server, account, *second.value);
      }
      return second;
    }
    // Neither holds a readable item. A damaged copy is reported (it is set aside and replaced
    // when the caller adds anew); a fallback that cannot be read at all is not: the primary's
    // answer, absent or not answering, says more.
    return second.status == status::kDecode ? second : first;
  }

  // Makes the fallback hold `value`, as the primary does, unless it cannot be read or written.
  void copyToFallback(const std::string& server, const std::string& account, const std::string& value,
                      const KeychainLookup& held) {
    if (held.status == status::kSuccess && held.value == value) return;
    if (held.status != status::kSuccess && held.status != status::kItemNotFound && held.status != status::kDecode) {
      return;
    }
    // A store that does not parse is set aside by the remove; an item that does not decode goes.
    if (held.status != status::kItemNotFound) (void)fallback_->remove(server, account);
    (void)fallback_->add(server, account, value);
  }

  const std::shared_ptr<Keychain> primary_;
  const std::shared_ptr<Keychain> fallback_;
  const std::set<std::string> keptInBoth_;
  // A lookup that moves or copies an item is a find, an add and a remove: one at a time.
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<Keychain> makeLayeredKeychain(std::shared_ptr<Keychain> primary, std::shared_ptr<Keychain> fallback,
                                              std::set<std::string> keptInBoth) {
  return std::make_shared<LayeredKeychain>(std::move(primary), std::move(fallback), std::move(keptInBoth));
}

std::filesystem::path defaultKeychainFile() { return appDataDir() / "keychain.json"; }

}  // namespace platform
