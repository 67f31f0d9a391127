#include "core/engine/EnginePaths.h"

#include <cstdlib>

#include "platform/BundleConfig.h"
#include "platform/XdgPaths.h"

namespace helmsey::engine {
namespace {

// $XDG_RUNTIME_DIR/<bundle id>; the state folder when the session has no runtime folder.
std::filesystem::path runtimeDir() {
  if (const char* value = std::getenv("XDG_RUNTIME_DIR"); value != nullptr && value[0] == '/') {
    return std::filesystem::path(value) / platform::bundle::kBundleIdentifier;
  }
  return platform::appStateDir();
}

}  // namespace

std::filesystem::path systemProxyJournal() { return platform::appStateDir() / "system-proxy.json"; }
std::filesystem::path commandLineProxyFile() { return runtimeDir() / "proxy.env"; }
std::filesystem::path crashLogFile() { return platform::appStateDir() / "crash.log"; }
std::filesystem::path crashReportFile() { return platform::appStateDir() / "crash-report.log"; }

}  // namespace helmsey::engine
