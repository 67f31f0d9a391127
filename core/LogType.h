#pragma once

namespace helmsey {

// Which log CoreManager::getLog answers with: the engine's own output, or the crash report
// captured at this launch.
enum class LogType { core, crash };

}  // namespace helmsey
