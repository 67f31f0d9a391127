#pragma once

#include <filesystem>

namespace helmsey::engine {

// Where the engine keeps its files. Read from the environment on every call.
std::filesystem::path systemProxyJournal();  // state dir: must survive a crash and a reboot
std::filesystem::path commandLineProxyFile();  // runtime dir: ends with the session
std::filesystem::path crashLogFile();          // written by the crash handler of this launch
std::filesystem::path crashReportFile();       // a crash of an earlier launch, not yet handed over

}  // namespace helmsey::engine
