// tarnel-devservice: the local development service of `scripts/run`.
//
//   tarnel-devservice --state <folder>
//
// Starts the service, prints the account to sign in with, what else it offers and "ready", then
// runs until it gets SIGINT or SIGTERM. Each request is printed as "<method> <path> -> <status>";
// what a real service would mail or hand to its staff (verification codes, diagnosis reports,
// feedback) is printed on lines that begin with "mail to", "diagnosis report", "feedback", ...

#include <signal.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/devservice/DevService.h"

int main(int argc, char** argv) {
  std::filesystem::path state;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--state") == 0 && i + 1 < argc) state = argv[++i];
  }
  if (state.empty()) {
    std::cerr << "usage: tarnel-devservice --state <folder>\n";
    return 2;
  }

  // Block the stop signals before any thread starts, so that only sigwait below takes them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    tarnel::dev::DevService service(state);
    const auto& account = service.account();
    std::cout << "Tarnel development service on " << tarnel::dev::DevAddresses::kService << ", pages on https://"
              << account.site << "/\n"
              << "  sign in with: " << account.email << "  password: " << account.password << "\n"
              << "  verification codes are mailed here, as: mail to <address>: verification code <code>\n"
              << "  invitation code of the account: " << account.invitationCode
              << "  sample invitation code to bind: " << account.friendCode << "\n"
              << "ready" << std::endl;
    // One line per request, so a developer (and the smoke run) sees what the program asks.
    std::size_t printedDiscovery = 0, printedApi = 0, printedConsole = 0, printedLogs = 0;
    const auto printNew = [](const tarnel::test::ServiceDouble& double_, std::size_t& printed) {
      const auto seen = double_.requests();
      for (; printed < seen.size(); ++printed) {
        const auto& request = seen[printed];
        std::cout << request.method << " " << request.target << " -> " << request.answeredStatus << std::endl;
      }
    };
    const timespec tick{0, 200'000'000};
    while (sigtimedwait(&stop, nullptr, &tick) < 0) {
      printNew(service.discovery(), printedDiscovery);
      printNew(service.api(), printedApi);
      const auto console = service.script().console();
      for (; printedConsole < console.size(); ++printedConsole) std::cout << console[printedConsole] << std::endl;
      const auto uploads = service.logs().accepted();
      for (; printedLogs < uploads.size(); ++printedLogs) {
        const auto& upload = uploads[printedLogs];
        if (upload.store == "feedback") std::cout << "feedback: " << upload.record.dump() << std::endl;
      }
    }
    std::cout << "stopping" << std::endl;
  } catch (const std::exception& error) {
    std::cerr << "tarnel-devservice: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
