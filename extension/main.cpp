// io.tarnelmacos.ne: the privileged tunnel host.
//
//   io.tarnelmacos.ne [--socket PATH] [--state-dir DIR] [--allow-uid UID]... [--polkit]
//                     [--v2ray PROGRAM] [--extra-ca FILE] [--engine-user USER]
//
// Under systemd the listening socket is inherited (socket activation) and the state folder is
// the service's runtime folder; elsewhere whoever starts it as root names both. The engine runs
// as USER (the package's system user tarnel-engine unless named otherwise); a start is refused
// while that user does not exist.
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "extension/Spindrift.h"

namespace {

int usage() {
  std::cerr << "usage: io.tarnelmacos.ne [--socket PATH] [--state-dir DIR] [--allow-uid UID]... [--polkit]"
               " [--v2ray PROGRAM] [--extra-ca FILE] [--engine-user USER]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  spindrift::Spindrift::Options options;
  options.provider.stateDirectory = "/run/io.tarnelmacos.ne";
  options.provider.engineUser = "tarnel-engine";
  if (const char* runtime = std::getenv("RUNTIME_DIRECTORY")) options.provider.stateDirectory = runtime;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--polkit") {
      options.askPolkit = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (option == "--socket") {
      options.socketPath = value;
    } else if (option == "--state-dir") {
      options.provider.stateDirectory = value;
    } else if (option == "--allow-uid") {
      char* end = nullptr;
      const unsigned long uid = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0') return usage();
      options.allowedUsers.insert(static_cast<uid_t>(uid));
    } else if (option == "--v2ray") {
      options.provider.v2rayProgram = value;
    } else if (option == "--engine-user") {
      options.provider.engineUser = value;
    } else if (option == "--extra-ca") {
      options.provider.extraCa = value;
    } else {
      return usage();
    }
  }
  // systemd socket activation: the one listening stream socket it hands over.
  if (options.socketPath.empty()) {
    const int handed = sd_listen_fds(1);
    if (handed > 1) {
      std::cerr << "io.tarnelmacos.ne: expected one socket, was handed " << handed << "\n";
      return 2;
    }
    if (handed == 1) {
      if (sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        std::cerr << "io.tarnelmacos.ne: the socket handed over is not a listening Unix stream socket\n";
        return 2;
      }
      options.listenFd = SD_LISTEN_FDS_START;
    }
  }
  if (options.listenFd < 0 && options.socketPath.empty()) return usage();
  if (::geteuid() != 0) {
    std::cerr << "io.tarnelmacos.ne must run as root\n";
    return 1;
  }
  // Started by hand (no systemd to make the runtime folder): the journal's folder is made here,
  // readable by root alone.
  std::error_code error;
  if (std::filesystem::create_directories(options.provider.stateDirectory, error)) {
    std::filesystem::permissions(options.provider.stateDirectory, std::filesystem::perms::owner_all, error);
  }
  if (!std::filesystem::is_directory(options.provider.stateDirectory)) {
    std::cerr << "io.tarnelmacos.ne: no state folder " << options.provider.stateDirectory << "\n";
    return 1;
  }
  return spindrift::Spindrift(std::move(options)).run();
}
