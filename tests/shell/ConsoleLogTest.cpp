// The console log and the file that "Debug Log" opens: every line of every layer, named briefly.
#include <gtest/gtest.h>

#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/engine/EngineLog.h"
#include "services/base/Logger.h"
#include "tests/support/TestHome.h"
#include "ui/base/QtMessages.h"

namespace lumora::test {
namespace {

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Probe {
  static void say() { tarnel::Logger::log(tarnel::LogLevel::warning, "from a member"); }
};

TEST(ConsoleLog, TheFileHoldsEveryLineTheConsolePrints) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "logs" / "tarnel.log";
  tarnel::Logger::setFileCopy(file, 1 << 20);
  routeQtMessagesToConsoleLog();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  tarnel::Logger::log(tarnel::LogLevel::info, "an information line");
  tarnel::Logger::log(tarnel::LogLevel::warning, "a warning line");
  tarnel::Logger::log(tarnel::LogLevel::error, "an error line");
  helmsey::engine::note("an engine line");
  qWarning("a toolkit warning");
  qCritical("a toolkit error");
  qDebug("a toolkit debug line");
  Probe::say();
  const std::string console = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  qInstallMessageHandler(nullptr);
  tarnel::Logger::setFileCopy({}, 0);

  const std::string copy = readAll(file);
  for (const char* line : {"an information line", "a warning line", "an error line", "an engine line",
                           "a toolkit warning", "a toolkit error", "from a member"}) {
    EXPECT_NE(console.find(line), std::string::npos) << line;
    EXPECT_NE(copy.find(line), std::string::npos) << "missing from the file: " << line;
  }
  EXPECT_EQ(copy.find("a toolkit debug line"), std::string::npos);
  EXPECT_NE(copy.find("[Warning] ConsoleLogTest.cpp:"), std::string::npos) << copy;
  EXPECT_NE(copy.find(" Probe::say - from a member"), std::string::npos) << copy;
  EXPECT_NE(copy.find("[Error] "), std::string::npos);
}

TEST(ConsoleLog, LinesNameTheFunctionBriefly) {
  struct Case {
    const char* signature;
    const char* brief;
  };
  for (const Case c : {
           Case{"void tarnel::ConnectionController::enterLocked(tarnel::ConnectionController::State, "
                "std::string_view)",
                "ConnectionController::enterLocked"},
           Case{"std::optional<std::vector<std::basic_string<char> > > a::B::c(int) const", "B::c"},
           Case{"lumora::QuitPath::leave(int, bool)::<lambda()>", "QuitPath::leave"},
           Case{"static void tarnel::Logger::log(Site, const Items& ...) [with Items = {int}]", "Logger::log"},
           Case{"bool a::B::operator()(int) const", "B::operator()"},
           Case{"a::B::operator bool() const", "B::operator bool"},
           Case{"T a::Box<T>::get() [with T = int]", "Box<T>::get"},
           Case{"int main(int, char**)", "main"},
           Case{"run()", "run"},
           Case{"w", "w"},
           Case{"", ""},
       }) {
    EXPECT_EQ(tarnel::Logger::briefFunctionName(c.signature), c.brief) << c.signature;
  }
}

}  // namespace
}  // namespace lumora::test
