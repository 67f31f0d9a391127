#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
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
// A file that is not a JSON object reads as an empty domain and is replaced by the next write.
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

  // Test seam: runs inside every write after the new content is complete on disk and before it
  // replaces the file (to stop a writer at the worst moment).
  void setBeforeReplaceForTesting(std::function<void()> hook);

 private:
  void refreshLocked();
  bool writeLocked(const std::function<void(nlohmann::json&)>& change);

  const std::filesystem::path file_;
  std::mutex mutex_;
  nlohmann::json values_ = nlohmann::json::object();
  FileStamp stamp_;
  bool loaded_ = false;
  std::function<void()> beforeReplace_;
};

}  // namespace platform
#pragma GCC visibility pop
