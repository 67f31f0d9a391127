#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// Facts about the running computer, read from the usual files below `root` (the file-system
// root in production; a prepared folder in tests).
class SystemInfo {
 public:
  explicit SystemInfo(std::filesystem::path root = "/");

  // The firmware's product name (sys/class/dmi/id/product_name), trimmed; none when absent.
  std::optional<std::string> hardwareModel() const;

  // The operating system's version as major, minor, patch: VERSION_ID of etc/os-release, else
  // the kernel release; missing parts are 0.
  std::array<int, 3> systemVersion() const;

  // PRETTY_HOSTNAME of etc/machine-info, else the host name (etc/hostname below a test root);
  // none when neither gives a name.
  std::optional<std::string> computerName() const;

 private:
  std::filesystem::path root_;
};

// The leading decimal numbers of a dotted version text ("22.04" gives 22, 4, 0; "6.1.0-18-amd64"
// gives 6, 1, 0).
std::array<int, 3> parseVersionNumbers(const std::string& text);

}  // namespace platform
#pragma GCC visibility pop
