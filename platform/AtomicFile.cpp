#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace platform {
namespace {

// Owns one descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

FileStamp stampFrom(const struct stat& st) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modified = st.st_mtim;
  return stamp;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

using ChangeObserver = std::function<void(FileChange, const std::filesystem::path&)>;

// Never destroyed: a writer thread still finishing at the process's exit may ask for it after
// static objects are gone.
std::mutex& observerMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::shared_ptr<const ChangeObserver>& changeObserver() {
  static auto* observer = new std::shared_ptr<const ChangeObserver>;
  return *observer;
}

void announce(FileChange change, const std::filesystem::path& file) {
  std::shared_ptr<const ChangeObserver> observer;
  {
    std::lock_guard lock(observerMutex());
    observer = changeObserver();
  }
  if (observer) (*observer)(change, file);
}

bool syncDirectory(const std::filesystem::path& dir, const std::filesystem::path& about) {
  Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return false;
  announce(FileChange::sync, about);
  return ::fsync(fd.get()) == 0;
}

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const {
  if (exists != other.exists) return false;
  if (!exists) return true;
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

bool ensureDirectory(const std::filesystem::path& dir, mode_t mode) {
  if (dir.empty()) return false;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (dir.has_parent_path() && dir.parent_path() != dir && !ensureDirectory(dir.parent_path(), mode)) return false;
  if (::mkdir(dir.c_str(), mode) == 0) return true;
  return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileStamp stampOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  return stampFrom(st);
}

std::optional<FileContent> readWholeFile(const std::filesystem::path& file, std::size_t limit) {
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return std::nullopt;
  FileContent content;
  content.stamp = stampFrom(st);
  if (static_cast<std::uintmax_t>(st.st_size) > limit) {
    content.overLimit = true;
    return content;
  }
  if (st.st_size > 0) content.bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.bytes.append(buffer, static_cast<std::size_t>(n));
    // It grew while being read.
    if (content.bytes.size() > limit) {
      content.bytes.clear();
      content.overLimit = true;
      return content;
    }
  }
  return content;
}

void setFileChangeObserverForTesting(std::function<void(FileChange, const std::filesystem::path&)> observer) {
  auto shared = observer ? std::make_shared<const ChangeObserver>(std::move(observer)) : nullptr;
  std::lock_guard lock(observerMutex());
  changeObserver() = std::move(shared);
}

bool replaceFileAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode,
                           const std::function<void()>& beforeRename) {
  const auto dir = file.parent_path();
  const auto temporary = std::filesystem::path(file.string() + ".tmp");
  Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!fd.valid()) return false;
  // The mode given to open() is filtered by the umask; the file must end up exactly as asked.
  announce(FileChange::write, file);
  bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), content);
  if (written) {
    announce(FileChange::sync, file);
    written = ::fsync(fd.get()) == 0;
  }
  if (!fd.close() || !written) {
    ::unlink(temporary.c_str());
    return false;
  }
  if (beforeRename) beforeRename();
  announce(FileChange::rename, file);
  if (::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return syncDirectory(dir.empty() ? std::filesystem::path(".") : dir, file);
}

FileLock::FileLock(const std::filesystem::path& lockFile) {
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  int rc = 0;
  do {
    rc = ::flock(fd_, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

}  // namespace platform

namespace platform {

std::optional<std::filesystem::path> setFileAside(const std::filesystem::path& file, std::string_view tag) {
  constexpr int kMaxCopies = 1000;
  for (int copy = 1; copy <= kMaxCopies; ++copy) {
    std::string name = file.string() + "." + std::string(tag);
    if (copy > 1) name += "-" + std::to_string(copy);
    const std::filesystem::path target(name);
    // No replace, ever: an earlier copy may be the only one of something the user wants back.
    announce(FileChange::rename, file);
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      syncDirectory(file.parent_path(), file);
      return target;
    }
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return std::nullopt;
    // A file system without the no-replace rename: a hard link refuses an existing name too.
    if (::link(file.c_str(), target.c_str()) == 0) {
      if (::unlink(file.c_str()) != 0) {
        ::unlink(target.c_str());
        return std::nullopt;
      }
      syncDirectory(file.parent_path(), file);
      return target;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace platform
