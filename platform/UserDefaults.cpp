#include "platform/UserDefaults.h"

#include <unistd.h>

#include <utility>

#include "platform/BoundedJson.h"
#include "platform/ConsoleCopy.h"
#include "platform/BundleConfig.h"
#include "platform/LogText.h"
#include "platform/XdgPaths.h"

namespace platform {
namespace {

std::optional<nlohmann::json> parseDomain(const std::string& bytes, std::string& reason) {
  auto parsed = parseJsonBounded<nlohmann::json>(bytes, &reason, UserDefaults::kMaxDepth);
  if (!parsed) return std::nullopt;
  if (!parsed->is_object()) {
    reason = std::string("holds a JSON ") + parsed->type_name() + ", not an object";
    return std::nullopt;
  }
  return parsed;
}

// Levels of arrays and objects, counted without recursion (the value may come from anywhere).
std::size_t depthOf(const nlohmann::json& value) {
  std::size_t deepest = 0;
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&value, 0}};
  while (!pending.empty()) {
    const auto [current, above] = pending.back();
    pending.pop_back();
    if (!current->is_structured()) continue;
    deepest = std::max(deepest, above + 1);
    for (const auto& element : *current) pending.emplace_back(&element, above + 1);
  }
  return deepest;
}

std::filesystem::path lockFileOf(const std::filesystem::path& file) {
  return std::filesystem::path(file.string() + ".lock");
}

void reportToStandardError(const UserDefaults::Damage& damage) {
  std::string line = "settings file " + damage.file.string() + " is damaged (" + damage.reason + "); ";
  line += damage.setAsideAs ? "set aside as " + damage.setAsideAs->string() + ", starting afresh"
                            : std::string("it could not be set aside and is left as it is");
  line = escapeControlCharacters(line) + "\n";  // the path and the reason may hold anything
  writeConsoleLine(STDERR_FILENO, line);
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

UserDefaults& UserDefaults::standard() {
  static UserDefaults domain(appConfigDir() / (std::string(bundle::kBundleIdentifier) + ".json"));
  return domain;
}

void UserDefaults::refreshLocked(bool holdingFileLock) {
  const FileStamp now = stampOf(file_);
  if (loaded_ && now == stamp_) return;
  if (!now.exists) {
    values_ = nlohmann::json::object();
    stamp_ = now;
    loaded_ = true;
    unmovable_ = false;
    return;
  }
  auto content = readWholeFile(file_);
  if (!content) {
    // Unreadable for now (permissions, a race with a replace): keep what memory holds and try
    // again on the next call.
    return;
  }
  std::string reason;
  if (auto domain = parseDomain(content->bytes, reason)) {
    values_ = std::move(*domain);
    stamp_ = content->stamp;
    loaded_ = true;
    unmovable_ = false;
    return;
  }
  setAsideLocked(std::move(reason), holdingFileLock);
}

void UserDefaults::setAsideLocked(std::string reason, bool holdingFileLock) {
  // Writers replace the file only under the inter-process lock: under it, what is read now is
  // what gets moved, and a good file another process just wrote is never taken for damage.
  std::optional<FileLock> interProcess;
  if (!holdingFileLock) {
    interProcess.emplace(lockFileOf(file_));
    if (!interProcess->locked()) return;
  }
  const auto content = readWholeFile(file_);
  if (!content) {
    loaded_ = false;
    return;
  }
  if (auto domain = parseDomain(content->bytes, reason)) {
    values_ = std::move(*domain);
    stamp_ = content->stamp;
    loaded_ = true;
    unmovable_ = false;
    return;
  }
  values_ = nlohmann::json::object();
  loaded_ = true;
  const auto setAside = setFileAside(file_, "damaged");
  if (setAside) {
    stamp_ = stampOf(file_);
    unmovable_ = false;
  } else {
    stamp_ = content->stamp;
    unmovable_ = true;
  }
  damage_.push_back(Damage{file_, setAside, std::move(reason)});
}

void UserDefaults::reportDamage(std::unique_lock<std::mutex>& lock) {
  if (damage_.empty()) return;
  const std::vector<Damage> found = std::exchange(damage_, {});
  const auto observer = damageObserver_;
  lock.unlock();
  for (const auto& damage : found) {
    if (observer) {
      observer(damage);
    } else {
      reportToStandardError(damage);
    }
  }
}

std::optional<nlohmann::json> UserDefaults::object(const std::string& key) {
  std::unique_lock lock(mutex_);
  refreshLocked(false);
  std::optional<nlohmann::json> value;
  if (const auto it = values_.find(key); it != values_.end()) value = *it;
  reportDamage(lock);
  return value;
}

bool UserDefaults::writeLocked(const std::function<void(nlohmann::json&)>& change) {
  if (!ensureDirectory(file_.parent_path())) return false;
  FileLock interProcess(lockFileOf(file_));
  if (!interProcess.locked()) return false;
  // Start from what is on disk now: another process may have written since our last read.
  loaded_ = false;
  refreshLocked(true);
  if (!loaded_ || unmovable_) return false;
  nlohmann::json next = values_;
  change(next);
  if (depthOf(next) > kMaxDepth) return false;  // it would not read back
  std::string text;
  try {
    // Compact: the file is read and written whole at every change.
    text = next.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
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
  std::unique_lock lock(mutex_);
  const bool written = writeLocked([&](nlohmann::json& domain) {
    if (value) {
      domain[key] = *value;
    } else {
      domain.erase(key);
    }
  });
  reportDamage(lock);
  return written;
}

bool UserDefaults::removeAll() {
  std::unique_lock lock(mutex_);
  const bool written = writeLocked([](nlohmann::json& domain) { domain = nlohmann::json::object(); });
  reportDamage(lock);
  return written;
}

void UserDefaults::setDamageObserver(std::function<void(const Damage&)> observer) {
  std::lock_guard lock(mutex_);
  damageObserver_ = std::move(observer);
}

void UserDefaults::setBeforeReplaceForTesting(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  beforeReplace_ = std::move(hook);
}

}  // namespace platform
