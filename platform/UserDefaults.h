#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"

namespace platform {

// A user-defaults domain: string keys to JSON values (texts, numbers, booleans, lists), kept in
// one JSON object file. Every write is on disk before it returns (atomic replace, see
// replaceFileAtomically), so a crash never leaves a torn file.
//
// Several processes may use one domain (the application, a second instance, tests). Policy:
// - a read compares the file's stamp (inode, size, modification time) with the version held in
//   memory and parses the file again when it changed, so a value written by another process is
//   seen by the next read; one stat() per read is the whole cost while nothing changes;
// - a write is a read-modify-write of the whole file under an exclusive flock on "<file>.lock",
//   starting from the file as it is on disk at that moment, so writers of different keys in
//   different processes never drop each other's values.
// A file that cannot be the domain (not JSON, not an object, nested deeper than kMaxDepth: cut
// short, emptied or overwritten by something else) is set aside beside it under a name of its own
// (setFileAside, tag "damaged"), reported to the damage observer, and the domain starts afresh;
// everything else in the folder stays. When it cannot be moved, the domain reads as empty and
// refuses writes, so the file is never written over.
//
// All members are safe to call from several threads at once.
class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file);

  // The application's own domain: appConfigDir()/<bundle id>.json, fixed at first use.
  static UserDefaults& standard();

  const std::filesystem::path& file() const { return file_; }

  // The value under `key`, or none when the key is absent.
  std::optional<nlohmann::json> object(const std::string& key);

  // Keeps `value` under `key`, or removes the key when `value` is none. False when the file
  // could not be written (memory then keeps what the file holds).
  bool set(const std::string& key, const std::optional<nlohmann::json>& value);

  // Empties the whole domain.
  bool removeAll();

  // The domain never holds values nested deeper than this (the file's object counts as one
  // level); a file that does is damaged, and set() refuses such a value.
  static constexpr std::size_t kMaxDepth = 32;

  // What was wrong with a damaged file and where it went (none: it could not be moved).
  struct Damage {
    std::filesystem::path file;
    std::optional<std::filesystem::path> setAsideAs;
    std::string reason;
  };
  // Told of each damaged file, on the calling thread, after the domain's lock is released.
  // Without an observer a line goes to standard error.
  void setDamageObserver(std::function<void(const Damage&)> observer);

  // Test seam: runs inside every write after the new content is complete on disk and before it
  // replaces the file (to stop a writer at the worst moment).
  void setBeforeReplaceForTesting(std::function<void()> hook);

 private:
  void refreshLocked(bool holdingFileLock);
  void setAsideLocked(std::string reason, bool holdingFileLock);
  bool writeLocked(const std::function<void(nlohmann::json&)>& change);
  // Hands the damage found under `lock` to the observer once the lock is released.
  void reportDamage(std::unique_lock<std::mutex>& lock);

  const std::filesystem::path file_;
  std::mutex mutex_;
  nlohmann::json values_ = nlohmann::json::object();
  FileStamp stamp_;
  bool loaded_ = false;
  std::function<void()> beforeReplace_;
  bool unmovable_ = false;  // the file on disk is damaged and could not be set aside
  std::vector<Damage> damage_;
  std::function<void(const Damage&)> damageObserver_;
};

}  // namespace platform
