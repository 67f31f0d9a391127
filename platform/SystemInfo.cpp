#include "platform/SystemInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::optional<std::string> readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// One value of an os-release style file (KEY=value, the value optionally in single or double
// quotes, backslash escapes inside double quotes).
std::optional<std::string> shellStyleValue(const std::filesystem::path& file, const std::string& key) {
  const auto text = readText(file);
  if (!text) return std::nullopt;
  std::istringstream lines(*text);
  std::string line;
  std::optional<std::string> found;
  while (std::getline(lines, line)) {
    line = trimmed(line);
    if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != '=') continue;
    std::string raw = line.substr(key.size() + 1);
    std::string value;
    if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) {
      const char quote = raw.front();
      for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
        if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
        value.push_back(raw[i]);
      }
    } else {
      value = raw;
    }
    found = value;  // the last assignment wins, as in a shell
  }
  return found;
}

bool isProductionRoot(const std::filesystem::path& root) { return root == "/"; }

}  // namespace

std::array<int, 3> parseVersionNumbers(const std::string& text) {
  std::array<int, 3> parts{0, 0, 0};
  std::size_t i = 0;
  for (int part = 0; part < 3; ++part) {
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) break;
    long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      if (value < INT_MAX / 10) value = value * 10 + (text[i] - '0');
      ++i;
    }
    parts[static_cast<std::size_t>(part)] = static_cast<int>(value);
    if (i >= text.size() || text[i] != '.') break;
    ++i;
  }
  return parts;
}

SystemInfo::SystemInfo(std::filesystem::path root) : root_(std::move(root)) {}

std::optional<std::string> SystemInfo::hardwareModel() const {
  const auto text = readText(root_ / "sys/class/dmi/id/product_name");
  if (!text) return std::nullopt;
  auto model = trimmed(*text);
  if (model.empty()) return std::nullopt;
  return model;
}

std::array<int, 3> SystemInfo::systemVersion() const {
  for (const char* file : {"etc/os-release", "usr/lib/os-release"}) {
    if (const auto id = shellStyleValue(root_ / file, "VERSION_ID"); id && !id->empty()) {
      return parseVersionNumbers(*id);
    }
  }
  if (const auto release = readText(root_ / "proc/sys/kernel/osrelease")) return parseVersionNumbers(trimmed(*release));
  if (isProductionRoot(root_)) {
    struct utsname names {};
    if (::uname(&names) == 0) return parseVersionNumbers(names.release);
  }
  return {0, 0, 0};
}

std::optional<std::string> SystemInfo::computerName() const {
  if (const auto pretty = shellStyleValue(root_ / "etc/machine-info", "PRETTY_HOSTNAME")) {
    if (auto name = trimmed(*pretty); !name.empty()) return name;
  }
  if (const auto text = readText(root_ / "etc/hostname")) {
    if (auto name = trimmed(*text); !name.empty()) return name;
  }
  if (isProductionRoot(root_)) {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') return std::string(host);
  }
  return std::nullopt;
}

}  // namespace platform
