#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace helmsey {

// Installs handlers for the fatal signals (segmentation fault, bus error, illegal instruction,
// arithmetic fault, abort, trap, bad system call). A crash writes the signal and a backtrace,
// with async-signal-safe calls only, into a file opened here, then lets the signal take its
// course (any handler installed before runs, or the process ends as it would have). Call once
// at launch, before crashHandle; further calls change nothing.
void registerCrashHandle();

// Hands the lines of a crash captured at an earlier launch to `crashContentAction`, at once and
// on the calling thread, and removes the report so it is handed over only once. Nothing is
// called when there is no crash to report.
void crashHandle(const std::function<void(std::optional<std::vector<std::string>>)>& crashContentAction);

// The crash report of an earlier launch as one text: the one handed over at this launch, or the
// one waiting to be; empty when there is none. What getLog(crash) answers.
std::string crashReportText();

}  // namespace helmsey
