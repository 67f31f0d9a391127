#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// Creates the folder and any missing parents; folders it creates get `mode`.
bool ensureDirectory(const std::filesystem::path& dir, mode_t mode = 0700);

// What identifies one version of a file: an atomic replace gives a new inode, an edit in place a
// new size or modification time. Two equal stamps mean the content was not replaced in between.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::timespec modified{};

  bool operator==(const FileStamp& other) const;
};

FileStamp stampOf(const std::filesystem::path& file);

struct FileContent {
  std::string bytes;
  FileStamp stamp;  // of the very file that was read (taken from the open descriptor)
  bool overLimit = false;  // longer than the limit asked for: `bytes` is left empty
};

// The whole file, or none when it is missing or cannot be read. A file longer than `limit` bytes
// is not read at all (overLimit), so an outsized file costs one fstat, not its size in memory.
std::optional<FileContent> readWholeFile(const std::filesystem::path& file,
                                         std::size_t limit = static_cast<std::size_t>(-1));

// What the functions below are about to do to a file on disk.
enum class FileChange { write, sync, rename };
// Test seam: told, on the calling thread, of every write, fsync and rename the functions below
// make, with the file they concern (the file replaced or set aside, not its temporary). One
// observer for the whole process; none removes it.
void setFileChangeObserverForTesting(std::function<void(FileChange, const std::filesystem::path&)> observer);

// Replaces `file` so that a reader, or the next start after a crash, finds either the old or the
// new content in full, never a part: the content goes to "<file>.tmp" beside it, is flushed to
// disk, renamed over the file, and the folder is flushed so the rename itself survives a power
// loss. Callers serialise writers of one file (FileLock) because the temporary name is fixed.
// `beforeRename` runs after the temporary file is complete, before the rename.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode,
                           const std::function<void()>& beforeRename = {});

// Moves a file that cannot be used out of the way, beside it, under the first free name of
// "<file>.<tag>", "<file>.<tag>-2", "<file>.<tag>-3"…, never over an earlier copy. The new path,
// or none when the file could not be moved (it then stays where it was).
std::optional<std::filesystem::path> setFileAside(const std::filesystem::path& file, std::string_view tag);

// An exclusive advisory lock (flock) on a lock file, held for the object's lifetime: serialises
// the read-modify-write of a file between processes and threads.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& lockFile);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform
#pragma GCC visibility pop
