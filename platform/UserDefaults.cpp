#include "platform/UserDefaults.h"

#include "platform/BundleConfig.h"
#include "platform/XdgPaths.h"

namespace platform {
namespace {

nlohmann::json parseDomain(const std::string& bytes) {
  auto parsed = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !parsed.is_object()) return nlohmann::json::object();
  return parsed;
}

std::filesystem::path lockFileOf(const std::filesystem::path& file) {
  return std::filesystem::path(file.string() + ".lock");
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

UserDefaults& UserDefaults::standard() {
  static UserDefaults domain(appConfigDir() / (std::string(bundle::kBundleIdentifier) + ".json"));
  return domain;
}

void UserDefaults::refreshLocked() {
  const FileStamp now = stampOf(file_);
  if (loaded_ && now == stamp_) return;
  if (!now.exists) {
    values_ = nlohmann::json::object();
    stamp_ = now;
    loaded_ = true;
    return;
  }
  auto content = readWholeFile(file_);
  if (!content) {
    // Unreadable for now (permissions, a race with a replace): keep what memory holds and try
    // again on the next call.
    return;
  }
  values_ = parseDomain(content->bytes);
  stamp_ = content->stamp;
  loaded_ = true;
}

std::optional<nlohmann::json> UserDefaults::object(const std::string& key) {
  std::lock_guard lock(mutex_);
  refreshLocked();
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

bool UserDefaults::writeLocked(const std::function<void(nlohmann::json&)>& change) {
  if (!ensureDirectory(file_.parent_path())) return false;
  FileLock interProcess(lockFileOf(file_));
  if (!interProcess.locked()) return false;
  // Start from what is on disk now: another process may have written since our last read.
  loaded_ = false;
  refreshLocked();
  if (!loaded_) return false;
  nlohmann::json next = values_;
  change(next);
  std::string text;
  try {
    text = next.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception&) {
    return false;  // a text that is not UTF-8: refuse it rather than store something else
  }
  text.push_back('\n');
  if (!replaceFileAtomically(file_, text, 0600, beforeReplace_)) {
    loaded_ = false;
    return false;
  }
  values_ = std::move(next);
  stamp_ = stampOf(file_);
  loaded_ = true;
  return true;
}

bool UserDefaults::set(const std::string& key, const std::optional<nlohmann::json>& value) {
  std::lock_guard lock(mutex_);
  return writeLocked([&](nlohmann::json& domain) {
    if (value) {
      domain[key] = *value;
    } else {
      domain.erase(key);
    }
  });
}

bool UserDefaults::removeAll() {
  std::lock_guard lock(mutex_);
  return writeLocked([](nlohmann::json& domain) { domain = nlohmann::json::object(); });
}

void UserDefaults::setBeforeReplaceForTesting(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  beforeReplace_ = std::move(hook);
}

}  // namespace platform
