#include "services/base/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>

namespace tarnel {
namespace {

constexpr std::array<std::pair<LogLevel, std::string_view>, 5> kRawValues{{
    {LogLevel::error, "[Error]"},
    {LogLevel::warning, "[Warning]"},
    {LogLevel::info, "[Info]"},
    {LogLevel::debug, "[Debug]"},
    {LogLevel::verbose, "[Verbose]"},
}};

// The file copy of the console log: one descriptor, its size, the limit; guarded so rotation and
// writes from several threads never interleave.
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
  void append(const std::string& out) {
    std::lock_guard lock(mutex);
    if (path.empty()) return;
    if (fd < 0 && !open()) return;
    if (size > 0 && size + out.size() > maxBytes) {
      closeFile();
      std::error_code error;
      std::filesystem::rename(path, std::filesystem::path(path.string() + ".1"), error);
      if (!open()) return;
    }
    const char* data = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      data += n;
      left -= static_cast<size_t>(n);
      size += static_cast<std::uintmax_t>(n);
    }
  }
};

FileCopy& fileCopy() {
  // Never destroyed: threads may still log while the process ends.
  static FileCopy* copy = new FileCopy;
  return *copy;
}

}  // namespace

void Logger::setFileCopy(const std::filesystem::path& file, std::uintmax_t maxBytes) {
  FileCopy& copy = fileCopy();
  std::lock_guard lock(copy.mutex);
  copy.closeFile();
  copy.path = file;
  copy.maxBytes = maxBytes;
  copy.size = 0;
}

std::string_view rawValue(LogLevel level) {
  for (const auto& [candidate, raw] : kRawValues) {
    if (candidate == level) return raw;
  }
  return {};
}

std::optional<LogLevel> logLevelFromRaw(std::string_view raw) {
  for (const auto& [level, text] : kRawValues) {
    if (text == raw) return level;
  }
  return std::nullopt;
}

std::string Logger::format(const Site& site, std::string_view items) {
  std::string_view file = site.file;
  if (const auto slash = file.rfind('/'); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  std::string line;
  line.reserve(64 + items.size());
  line.append(rawValue(site.level)).append(" ").append(file).append(":");
  line.append(std::to_string(site.line)).append(" ").append(site.function).append(" - ");
  line.append(items);
  return line;
}

void Logger::write(const std::string& line) {
  // One write(2) per line: the line and its line feed go out together.
  std::string out = line + "\n";
  const char* data = out.data();
  size_t left = out.size();
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a failed console write is not reported
    data += n;
    left -= static_cast<size_t>(n);
  }
  fileCopy().append(out);
}

}  // namespace tarnel
