// The tests' private X server when its start fails, as one that loses the race for a display
// number to the others starting at the same moment does: it is tried again, and when no try
// succeeds the message says what each ended in.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/shell_e2e/XServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace lumora::test {
namespace {

// An Xvfb in front of the real one on PATH for the life of the object.
class XvfbStandIn {
 public:
  // `failures` starts fail with `message` before the real server runs; -1: every start fails.
  XvfbStandIn(int failures, const std::string& message) : oldPath_(std::getenv("PATH")) {
    const std::string real = tarnel::test::runCommand("command -v Xvfb").output;
    const std::string script = "#!/bin/sh\necho x >> '" + (folder_.path() / "starts").string() +
                               "'\nif [ " + std::to_string(failures) + " -lt 0 ] || [ $(wc -l < '" +
                               (folder_.path() / "starts").string() + "') -le " + std::to_string(failures) +
                               " ]; then echo '" + message + "' >&2; exit 1; fi\nexec " + real.substr(0, real.find('\n')) +
                               " \"$@\"\n";
    const auto path = folder_.write("Xvfb", script);
    ::chmod(path.c_str(), 0755);
    ::setenv("PATH", (folder_.path().string() + ":" + oldPath_).c_str(), 1);
  }
  ~XvfbStandIn() { ::setenv("PATH", oldPath_.c_str(), 1); }

  int starts() const {
    std::ifstream in(folder_.path() / "starts");
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }

 private:
  tarnel::test::TempDir folder_;
  std::string oldPath_;
};

TEST(XServer, AStartThatFailsIsTriedAgainAndTheMessageSaysWhatEachTryEndedIn) {
  struct Case {
    int failures;
    bool starts;
    int tries;
  };
  for (const Case& c : {Case{0, true, 1}, Case{2, true, 3}, Case{-1, false, 5}}) {
    SCOPED_TRACE("failures " + std::to_string(c.failures));
    XvfbStandIn standIn(c.failures, "Fatal server error: the display is taken");
    std::unique_ptr<XServer> server;
    std::string message;
    try {
      server = std::make_unique<XServer>();
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(server != nullptr, c.starts) << message;
    EXPECT_EQ(standIn.starts(), c.tries);
    if (server) {
      EXPECT_EQ(std::getenv("DISPLAY"), server->display());
      EXPECT_EQ(tarnel::test::runCommand("xprop -display " + server->display() + " -root >/dev/null").exitCode, 0);
    } else {
      EXPECT_NE(message.find("5 tries"), std::string::npos) << message;
      EXPECT_NE(message.find("try 5: Xvfb exited with status 1, saying:\n    Fatal server error: the display is taken"),
                std::string::npos)
          << message;
    }
  }
}

}  // namespace
}  // namespace lumora::test
