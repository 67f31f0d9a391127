#include "platform/ConsoleCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>

namespace platform {
namespace {

bool writeAll(int fd, std::string_view bytes, std::uintmax_t* written = nullptr) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    left -= static_cast<std::size_t>(n);
    if (written) *written += static_cast<std::uintmax_t>(n);
  }
  return true;
}

// One descriptor, its size, the limit; guarded so rotation and writes from several threads never
// interleave.
struct FileCopy {
  std::mutex mutex;
  std::filesystem::path path;
  std::uintmax_t maxBytes = 0;
  int fd = -1;
  std::uintmax_t size = 0;

  void closeFile() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  bool open() {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat info {};
    size = ::fstat(fd, &info) == 0 ? static_cast<std::uintmax_t>(info.st_size) : 0;
    return true;
  }
  void append(std::string_view out) {
    std::lock_guard lock(mutex);
    if (path.empty()) return;
    if (fd < 0 && !open()) return;
    if (size > 0 && size + out.size() > maxBytes) {
      closeFile();
      std::error_code error;
      std::filesystem::rename(path, std::filesystem::path(path.string() + ".1"), error);
      if (!open()) return;
    }
    writeAll(fd, out, &size);
  }
};

FileCopy& fileCopy() {
  // Never destroyed: threads may still log while the process ends.
  static FileCopy* copy = new FileCopy;
  return *copy;
}

}  // namespace

void setConsoleFileCopy(const std::filesystem::path& file, std::uintmax_t maxBytes) {
  FileCopy& copy = fileCopy();
  std::lock_guard lock(copy.mutex);
  copy.closeFile();
  copy.path = file;
  copy.maxBytes = maxBytes;
  copy.size = 0;
}

void writeConsoleLine(int fd, std::string_view line) {
  writeAll(fd, line);  // a failed console write is not reported
  fileCopy().append(line);
}

}  // namespace platform
