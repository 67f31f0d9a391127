#include "platform/UserDefaults.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
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

// Every live domain, so that a fork() never copies one of their locks while another thread holds
// it (the child would wait for it for ever).
std::mutex& liveDomainsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<UserDefaults*>& liveDomains() {
  static std::vector<UserDefaults*> domains;
  return domains;
}

// Writer threads of a parent that a forked child's domains named. They do not exist in the
// child, so their handles are neither joined nor freed there.
std::vector<std::thread*>& threadsLeftByFork() {
  static auto* threads = new std::vector<std::thread*>;
  return *threads;
}

std::string sizeText(std::size_t bytes) { return std::to_string(bytes / (1024 * 1024)) + " MiB"; }

// The domain in `content`, or the reason it cannot be one.
std::optional<nlohmann::json> domainIn(const FileContent& content, std::string& reason) {
  if (content.overLimit) {
    reason = "larger than " + sizeText(UserDefaults::kMaxFileBytes) + " (" + std::to_string(content.stamp.size) +
             " bytes)";
    return std::nullopt;
  }
  return parseDomain(content.bytes, reason);
}

}  // namespace

void UserDefaults::lockAllForFork() {
  liveDomainsMutex().lock();
  // Room for what the child sets aside is made here, in the parent: the child may not allocate.
  threadsLeftByFork().reserve(threadsLeftByFork().size() + liveDomains().size());
  for (UserDefaults* domain : liveDomains()) domain->mutex_.lock();
}

void UserDefaults::unlockAllAfterFork() {
  for (UserDefaults* domain : liveDomains()) domain->mutex_.unlock();
  liveDomainsMutex().unlock();
}

void UserDefaults::startAfreshInChild() {
  // Only the forking thread lives on in the child: the parent's writer is gone, and it may have
  // been waiting on the condition variables, whose state then counts a waiter that will never
  // wake. Both are made anew in their own storage; the writer's handle is set aside, never
  // joined. Nothing here allocates: another thread of the parent may have held the allocator
  // when it forked, and an allocation would then wait for ever. An engine's child runs this
  // between fork and exec, before it can notice that its parent died.
  for (UserDefaults* domain : liveDomains()) {
    if (domain->writer_) threadsLeftByFork().push_back(domain->writer_.release());
    domain->writerRunning_ = false;
    std::construct_at(&domain->wake_);
    std::construct_at(&domain->progress_);
    domain->stopping_ = false;
  }
  unlockAllAfterFork();
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
  static std::once_flag forkHandlers;
  std::call_once(forkHandlers, [] { ::pthread_atfork(&lockAllForFork, &unlockAllAfterFork, &startAfreshInChild); });
  std::lock_guard lock(liveDomainsMutex());
  liveDomains().push_back(this);
}

UserDefaults::~UserDefaults() {
  {
    std::lock_guard lock(liveDomainsMutex());
    std::erase(liveDomains(), this);
  }
  std::unique_lock lock(mutex_);
  stopping_ = true;  // the writer writes what is pending without gathering more, then ends
  wake_.notify_all();
  progress_.wait(lock, [this] { return !writerRunning_; });
  if (writer_) writer_->join();
}

UserDefaults& UserDefaults::standard() {
  static UserDefaults domain(appConfigDir() / (std::string(bundle::kBundleIdentifier) + ".json"));
  return domain;
}

void UserDefaults::refreshLocked() {
  const FileStamp now = stampOf(file_);
  if (loaded_ && now == stamp_) return;
  if (!now.exists) {
    disk_ = nlohmann::json::object();
    stamp_ = now;
    loaded_ = true;
    damaged_ = false;
    unmovable_ = false;
    return;
  }
  const auto content = readWholeFile(file_, kMaxFileBytes);
  if (!content) {
    // Unreadable for now (permissions, a race with a replace): keep what memory holds and try
    // again on the next call.
    return;
  }
  std::string reason;
  auto domain = domainIn(*content, reason);
  stamp_ = content->stamp;
  loaded_ = true;
  if (domain) {
    disk_ = std::move(*domain);
    damaged_ = false;
    unmovable_ = false;
    return;
  }
  // Moving it is a rename and a sync: the writer's work, never the reader's.
  disk_ = nlohmann::json::object();
  unmovable_ = false;
  damaged_ = true;
  startWriterLocked();
  wake_.notify_all();
}

std::optional<nlohmann::json> UserDefaults::object(const std::string& key) {
  std::lock_guard lock(mutex_);
  refreshLocked();
  if (const auto change = pending_.find(key); change != pending_.end()) return change->second.value;
  if (clearPending_) return std::nullopt;
  if (const auto it = disk_.find(key); it != disk_.end()) return *it;
  return std::nullopt;
}

void UserDefaults::startWriterLocked() {
  if (writerRunning_) return;
  // The one before has ended (it cleared writerRunning_ as its last step under the lock).
  if (writer_) writer_->join();
  writerRunning_ = true;
  writer_ = std::make_unique<std::thread>([this] { writerLoop(); });
}

void UserDefaults::acceptLocked() {
  if (finished_ + 1 == requested_) firstUnwritten_ = std::chrono::steady_clock::now();
  startWriterLocked();
  wake_.notify_all();
}

bool UserDefaults::set(const std::string& key, const std::optional<nlohmann::json>& value) {
  if (value) {
    if (depthOf(*value) + 1 > kMaxDepth) return false;  // it would not read back
    try {
      // Refused now rather than by the writer: a text that is not UTF-8 would fail the whole write.
      (void)value->dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
      return false;
    }
  }
  std::lock_guard lock(mutex_);
  if (unmovable_) return false;
  pending_.insert_or_assign(key, Pending{value, ++requested_});
  acceptLocked();
  return true;
}

bool UserDefaults::removeAll() {
  std::lock_guard lock(mutex_);
  if (unmovable_) return false;
  pending_.clear();
  clearPending_ = ++requested_;
  acceptLocked();
  return true;
}

bool UserDefaults::flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = requested_;
  // A damaged file still to be set aside counts as unfinished work too.
  const auto done = [&] { return finished_ >= target && !damaged_; };
  if (done()) {
    // A writer that ended on its own is joined as below: nothing of ours is left, not even a
    // thread that ended, which a process that leaves through _exit would leave unjoined.
    if (!writerRunning_ && writer_) {
      writer_->join();
      writer_.reset();
    }
    return true;
  }
  const std::uint64_t failedBefore = failedUpTo_;
  flushTo_ = std::max(flushTo_, target);
  startWriterLocked();
  wake_.notify_all();
  progress_.wait(lock, done);
  // With nothing left to write the writer ends: wait for that too, so a process that flushes
  // before it forks (tests do) forks without a thread of ours running.
  progress_.wait(lock, [this] { return !writerRunning_ || finished_ < requested_ || damaged_; });
  if (!writerRunning_ && writer_) {
    writer_->join();
    writer_.reset();
  }
  return failedUpTo_ == failedBefore;
}

bool UserDefaults::flushAll() {
  std::lock_guard lock(liveDomainsMutex());  // none goes meanwhile
  bool all = true;
  for (UserDefaults* domain : liveDomains()) all = domain->flush() && all;
  return all;
}

void UserDefaults::writerLoop() {
  std::unique_lock lock(mutex_);
  const auto hasWork = [this] { return finished_ < requested_ || damaged_; };
  for (;;) {
    if (!hasWork()) {
      // Everything is written: the thread ends, and the next change starts another. An idle
      // program keeps no thread for its settings.
      writerRunning_ = false;
      progress_.notify_all();
      return;
    }
    if (finished_ < requested_) {
      // Gather the rest of a burst, unless someone waits for the file or the domain goes.
      wake_.wait_until(lock, firstUnwritten_ + writeDelay_, [this] { return stopping_ || flushTo_ > finished_; });
    }
    Batch batch;
    batch.generation = requested_;
    batch.clear = clearPending_.has_value();
    for (const auto& [key, change] : pending_) batch.changes.emplace(key, change.value);
    const auto beforeReplace = beforeReplace_;
    lock.unlock();

    std::vector<Damage> damage;
    Written written = writeBatch(batch, beforeReplace, damage);
    if (!damage.empty()) {
      // Told before flush() returns, with no lock held.
      std::function<void(const Damage&)> observer;
      {
        std::lock_guard observerLock(mutex_);
        observer = damageObserver_;
      }
      for (const auto& found : damage) {
        if (observer) {
          observer(found);
        } else {
          reportToStandardError(found);
        }
      }
    }

    lock.lock();
    if (written.domain) {
      disk_ = std::move(*written.domain);
      stamp_ = written.stamp;
      loaded_ = true;
      damaged_ = false;
      unmovable_ = false;
    } else if (written.unmovable) {
      disk_ = nlohmann::json::object();
      stamp_ = written.stamp;
      loaded_ = true;
      damaged_ = false;
      unmovable_ = true;
    } else {
      loaded_ = false;  // the next read takes what the file holds
      damaged_ = false;  // tried; a read finds it again if it is still there
    }
    // Written or failed, this batch's changes are done with; later ones wait for the next.
    std::erase_if(pending_, [&](const auto& entry) { return entry.second.generation <= batch.generation; });
    if (clearPending_ && *clearPending_ <= batch.generation) clearPending_.reset();
    if (!written.ok && batch.generation > finished_) failedUpTo_ = batch.generation;
    finished_ = std::max(finished_, batch.generation);
    if (finished_ < requested_) firstUnwritten_ = std::chrono::steady_clock::now();
    progress_.notify_all();
  }
}

UserDefaults::Written UserDefaults::writeBatch(const Batch& batch, const std::function<void()>& beforeReplace,
                                               std::vector<Damage>& damage) {
  Written result;
  if (!ensureDirectory(file_.parent_path())) return result;
  // Writers replace the file only under the inter-process lock: under it, what is read now is
  // what gets replaced or moved, and a good file another process just wrote is never taken for
  // damage.
  FileLock interProcess(lockFileOf(file_));
  if (!interProcess.locked()) return result;

  // Start from what is on disk now: another process may have written since our last read.
  nlohmann::json domain = nlohmann::json::object();
  if (stampOf(file_).exists) {
    const auto content = readWholeFile(file_, kMaxFileBytes);
    if (!content) return result;
    std::string reason;
    if (auto good = domainIn(*content, reason)) {
      domain = std::move(*good);
    } else {
      const auto setAside = setFileAside(file_, "damaged");
      damage.push_back(Damage{file_, setAside, std::move(reason)});
      if (!setAside) {
        result.unmovable = true;
        result.stamp = content->stamp;
        return result;
      }
    }
  }
  if (batch.clear) domain = nlohmann::json::object();
  for (const auto& [key, value] : batch.changes) {
    if (value) {
      domain[key] = *value;
    } else {
      domain.erase(key);
    }
  }
  if (batch.clear || !batch.changes.empty()) {
    std::string text;
    try {
      // Compact: the file is read and written whole at every change.
      text = domain.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
      return result;  // set() refuses such texts; a file that held one would not have parsed
    }
    text.push_back('\n');
    if (!replaceFileAtomically(file_, text, 0600, beforeReplace)) return result;
  }
  result.ok = true;
  result.stamp = stampOf(file_);
  result.domain = std::move(domain);
  return result;
}

void UserDefaults::setDamageObserver(std::function<void(const Damage&)> observer) {
  std::lock_guard lock(mutex_);
  damageObserver_ = std::move(observer);
}

void UserDefaults::setBeforeReplaceForTesting(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  beforeReplace_ = std::move(hook);
}

void UserDefaults::setWriteDelayForTesting(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  writeDelay_ = delay;
}

}  // namespace platform
