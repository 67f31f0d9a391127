#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// A user-defaults domain: string keys to JSON values (texts, numbers, booleans, lists), kept in
// one JSON object file.
//
// Values live in memory and are written behind: set() changes memory at once (every reader, on
// any thread, sees the new value from then on) and hands the file to the domain's one writer
// thread. The writer waits kWriteDelay after the first change it has not written yet, so a burst
// of changes becomes one write, then replaces the file atomically (see replaceFileAtomically): a
// crash never leaves a torn file, and a kill -9 loses at most the changes of the last kWriteDelay
// (plus the write under way). flush() hands everything set so far to the file and waits for it;
// the program calls it on its way out, and the destructor does too. The caller's thread never
// writes, syncs or renames a file: only the writer thread does.
//
// Several processes may use one domain (the application, a second instance, tests). Policy:
// - a read compares the file's stamp (inode, size, modification time) with the version held in
//   memory and parses the file again when it changed, so a value written by another process is
//   seen by the next read (unless this process has a change of that key still to write); one
//   stat() per read is the whole cost while nothing changes;
// - a write is a read-modify-write of the whole file under an exclusive flock on "<file>.lock",
//   starting from the file as it is on disk at that moment and applying only the keys changed
//   here, so writers of different keys in different processes never drop each other's values.
// A file that cannot be the domain (larger than kMaxFileBytes, not JSON, not an object, nested
// deeper than kMaxDepth: cut short, emptied or overwritten by something else) reads as an empty
// domain; the writer sets it aside beside it under a name of its own (setFileAside, tag
// "damaged") and reports it to the damage observer; everything else in the folder stays. When it
// cannot be moved, the domain reads as empty and its writes fail, so the file is never written
// over.
//
// All members are safe to call from several threads at once.
class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file);
  // Writes what is still pending and stops the writer.
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The application's own domain: appConfigDir()/<bundle id>.json, fixed at first use.
  static UserDefaults& standard();

  const std::filesystem::path& file() const { return file_; }

  // The value under `key`, or none when the key is absent.
  std::optional<nlohmann::json> object(const std::string& key);

  // Keeps `value` under `key`, or removes the key when `value` is none; the file follows within
  // kWriteDelay. False when the value is refused (nested too deep, a text that is not UTF-8) or
  // the file is known not to be writable; memory then keeps what it held.
  bool set(const std::string& key, const std::optional<nlohmann::json>& value);

  // Empties the whole domain, written behind like set().
  bool removeAll();

  // Writes every change made before the call and waits until it is on disk. False when the
  // file could not be written; the changes that failed are dropped and memory goes back to what
  // the file holds.
  bool flush();
  // flush() of every domain of this process that exists.
  static bool flushAll();

  // How long the writer gathers changes before it writes: the most a kill -9 can lose.
  static constexpr std::chrono::milliseconds kWriteDelay{50};
  // A file above this size is not read: it is treated as damaged.
  static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;
  // The domain never holds values nested deeper than this (the file's object counts as one
  // level); a file that does is damaged, and set() refuses such a value.
  static constexpr std::size_t kMaxDepth = 32;

  // What was wrong with a damaged file and where it went (none: it could not be moved).
  struct Damage {
    std::filesystem::path file;
    std::optional<std::filesystem::path> setAsideAs;
    std::string reason;
  };
  // Told of each damaged file, on the writer thread, with no lock of the domain held. Without an
  // observer a line goes to standard error.
  void setDamageObserver(std::function<void(const Damage&)> observer);

  // Test seam: runs inside every write after the new content is complete on disk and before it
  // replaces the file (to stop a writer at the worst moment, or to make writes slow).
  void setBeforeReplaceForTesting(std::function<void()> hook);
  // Test seam: the writer's gathering time instead of kWriteDelay.
  void setWriteDelayForTesting(std::chrono::milliseconds delay);

 private:
  struct Pending {
    std::optional<nlohmann::json> value;
    std::uint64_t generation = 0;
  };
  struct Batch {
    bool clear = false;
    std::map<std::string, std::optional<nlohmann::json>> changes;
    std::uint64_t generation = 0;
  };
  struct Written {
    bool ok = false;
    std::optional<nlohmann::json> domain;  // what the file now holds, when known
    FileStamp stamp;
    bool unmovable = false;
  };

  void refreshLocked();
  void acceptLocked();
  void startWriterLocked();
  void writerLoop();
  Written writeBatch(const Batch& batch, const std::function<void()>& beforeReplace, std::vector<Damage>& damage);
  static void lockAllForFork();
  static void unlockAllAfterFork();
  static void startAfreshInChild();

  const std::filesystem::path file_;
  std::mutex mutex_;
  // The writer waits on wake_ (a change, a flush or the end), flush() on progress_ (a batch was
  // finished). A forked child makes both anew in place.
  std::condition_variable wake_;
  std::condition_variable progress_;
  nlohmann::json disk_ = nlohmann::json::object();  // what the file held when last read or written
  FileStamp stamp_;
  bool loaded_ = false;
  bool damaged_ = false;    // the file on disk is damaged and still to be set aside
  bool unmovable_ = false;  // the file on disk is damaged and could not be set aside
  // Changes not yet on disk, over disk_; a clear drops everything of disk_ below them.
  std::map<std::string, Pending> pending_;
  std::optional<std::uint64_t> clearPending_;
  std::uint64_t requested_ = 0;  // generation of the latest change
  std::uint64_t finished_ = 0;   // the writer is done with every change up to this generation
  std::uint64_t flushTo_ = 0;    // a flush waits for this generation: no gathering
  std::uint64_t failedUpTo_ = 0;  // the latest batch that could not be written
  std::chrono::steady_clock::time_point firstUnwritten_{};
  std::chrono::milliseconds writeDelay_ = kWriteDelay;
  bool stopping_ = false;
  // The writer runs while there is something to write and ends when all is written; the next
  // change starts another.
  std::unique_ptr<std::thread> writer_;
  bool writerRunning_ = false;
  std::function<void()> beforeReplace_;
  std::function<void(const Damage&)> damageObserver_;
};

}  // namespace platform
#pragma GCC visibility pop
