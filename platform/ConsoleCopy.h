#pragma once

// The console log as the program prints it, on standard output and standard error, from every
// layer (the service library's lines, the engine's notes, the settings store's and the user
// interface toolkit's warnings), and its copy in a file that a user can send to support.

#include <cstdint>
#include <filesystem>
#include <string_view>

#pragma GCC visibility push(default)
namespace platform {

// Also writes every console line to `file` (appended; its folder is made), keeping it under
// `maxBytes`: when a line would pass the limit the file becomes "<file>.1" (replacing an older
// one) and a new file starts. An empty path stops the copy. A file that cannot be written is
// skipped quietly: the console still gets the line.
void setConsoleFileCopy(const std::filesystem::path& file, std::uintmax_t maxBytes);

// Writes `line` (which ends with its line feed) to `fd` with a single write, so that lines of
// several threads never interleave, and to the file copy.
void writeConsoleLine(int fd, std::string_view line);

}  // namespace platform
#pragma GCC visibility pop
