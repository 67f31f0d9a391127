#pragma once

#include <filesystem>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// The per-user folders of the freedesktop base-directory convention, each followed by the
// bundle identifier: where the desktop keeps what macOS keeps in the user-defaults domain,
// the keychain fallback and the caches folder. Read from the environment on every call so
// that tests can point them elsewhere.
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache
std::filesystem::path stateHome();   // $XDG_STATE_HOME or ~/.local/state

std::filesystem::path appConfigDir();  // configHome()/<bundle id>
std::filesystem::path appDataDir();    // dataHome()/<bundle id>
std::filesystem::path appCacheDir();   // cacheHome()/<bundle id>
std::filesystem::path appStateDir();   // stateHome()/<bundle id>

}  // namespace platform
#pragma GCC visibility pop
