#include "platform/XdgPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/BundleConfig.h"

namespace platform {
namespace {

std::filesystem::path homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return std::filesystem::temp_directory_path();
}

// The convention says a relative value is invalid and must be ignored.
std::filesystem::path fromEnv(const char* name, const char* fallbackBelowHome) {
  if (const char* value = std::getenv(name); value != nullptr && value[0] == '/') return value;
  return homeDirectory() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path configHome() { return fromEnv("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path dataHome() { return fromEnv("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path cacheHome() { return fromEnv("XDG_CACHE_HOME", ".cache"); }
std::filesystem::path stateHome() { return fromEnv("XDG_STATE_HOME", ".local/state"); }

std::filesystem::path appConfigDir() { return configHome() / bundle::kBundleIdentifier; }
std::filesystem::path appDataDir() { return dataHome() / bundle::kBundleIdentifier; }
std::filesystem::path appCacheDir() { return cacheHome() / bundle::kBundleIdentifier; }
std::filesystem::path appStateDir() { return stateHome() / bundle::kBundleIdentifier; }

}  // namespace platform
