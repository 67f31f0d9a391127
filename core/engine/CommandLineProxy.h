#pragma once

#include <filesystem>

#include "core/engine/ListenProbe.h"

namespace helmsey::engine {

// The command-line proxy: a file that shells source (". file") to send their programs through
// the local proxies. It exists only while a connection with the flag runs.
class CommandLineProxy {
 public:
  explicit CommandLineProxy(std::filesystem::path file) : file_(std::move(file)) {}

  // False when the file could not be written, or the program is leaving (refuseWrites).
  bool write(const Endpoint& http, const Endpoint& socks) const;
  void remove() const;
  // The program is leaving at once: no write that has not begun yet makes the file any more.
  static void refuseWrites();
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace helmsey::engine
