// The keychain of last resort: a JSON list of items in a 0600 file inside a 0700 folder.
#include <mutex>

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
    const auto items = load();
    if (!items) return {status::kIO, std::nullopt};
    if (const auto* item = lookup(*items, server, account)) {
      const auto& value = (*item)["value"];
      if (value.is_string()) return {status::kSuccess, value.get<std::string>()};
      return {status::kIO, std::nullopt};
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

  // The list of items: empty when there is no file yet; none when it cannot be read. A file that
  // does not hold a list is treated as empty (its items were lost either way) and the next add
  // replaces it.
  std::optional<json> load() const {
    if (!stampOf(file_).exists) return json::array();
    const auto content = readWholeFile(file_);
    if (!content) return std::nullopt;
    auto parsed = parseJsonBounded<json>(content->bytes);
    if (!parsed || !parsed->is_array()) return json::array();
    return parsed;
  }

  template <class Change>
  std::int32_t modify(Change change) {
    std::lock_guard lock(mutex_);
    if (!ensureDirectory(file_.parent_path(), 0700)) return status::kIO;
    FileLock interProcess(std::filesystem::path(file_.string() + ".lock"));
    if (!interProcess.locked()) return status::kIO;
    auto items = load();
    if (!items) return status::kIO;
    const std::int32_t result = change(*items);
    if (result != status::kSuccess) return result;
    std::string text;
    try {
      text = items->dump(2, ' ', false, json::error_handler_t::strict);
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

std::filesystem::path defaultKeychainFile() { return appDataDir() / "keychain.json"; }

}  // namespace platform
