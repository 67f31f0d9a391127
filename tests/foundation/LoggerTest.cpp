#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "services/common/Logger.h"

namespace tarnel {
namespace {

TEST(Logger, LineFormatAndLevels) {
  testing::internal::CaptureStdout();
  Logger::log({LogLevel::error, "/a/b/File.swift", 42, "run()"}, "Error decoding JSON: ", 7, true);
  Logger::log({LogLevel::warning, "Plain.cpp", 1, "f"});
  Logger::log({LogLevel::info, "x/y.cpp", 3, "g"}, std::optional<int>{}, std::string("s"), 1.5);
  Logger::log({LogLevel::debug, "d.cpp", 4, "h"}, "dropped");
  Logger::log({LogLevel::verbose, "v.cpp", 5, "k"}, "dropped");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "[Error] File.swift:42 run() - Error decoding JSON:  7 true\n"
            "[Warning] Plain.cpp:1 f - \n"
            "[Info] y.cpp:3 g - nil s 1.5\n");
}

TEST(Logger, CapturesCallSite) {
  testing::internal::CaptureStdout();
  Logger::log(LogLevel::error, "here");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("[Error] LoggerTest.cpp:", 0), 0u) << out;
  EXPECT_NE(out.find(" - here\n"), std::string::npos) << out;
}

TEST(Logger, OutsideTextCannotForgeALine) {
  struct Case {
    std::string item;
    std::string shown;
  };
  const Case cases[] = {
      {"rule.example\n[Error] Fake.cpp:1 f - forged", R"(rule.example\n[Error] Fake.cpp:1 f - forged)"},
      {"a\rb\tc", R"(a\rb\tc)"},
      {std::string("nul\0bell\a", 9), R"(nul\x00bell\x07)"},
      {"esc\x1b[2Jdel\x7f", R"(esc\x1b[2Jdel\x7f)"},
      {"next\xc2\x85line", R"(next\u0085line)"},
      {"caf\xc3\xa9 \xe4\xb8\xad back\\slash", "caf\xc3\xa9 \xe4\xb8\xad back\\slash"},  // unchanged
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    Logger::log({LogLevel::error, "R.cpp", 9, "apply"}, "rule:", c.item);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Error] R.cpp:9 apply - rule: " + c.shown + "\n");
  }
}

TEST(Logger, RawValuesConvertOnlyByExactMatch) {
  EXPECT_EQ(logLevelFromRaw("[Warning]"), LogLevel::warning);
  EXPECT_EQ(logLevelFromRaw("[Verbose]"), LogLevel::verbose);
  EXPECT_EQ(logLevelFromRaw("[error]"), std::nullopt);
  EXPECT_EQ(logLevelFromRaw("Error"), std::nullopt);
}

TEST(Logger, LinesFromThreadsNeverInterleave) {
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  const std::string payload(300, 'x');
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) Logger::log({LogLevel::info, "t.cpp", t, "w"}, payload, i);
    });
  }
  for (auto& th : threads) th.join();
  const std::string out = testing::internal::GetCapturedStdout();
  size_t lines = 0;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = out.substr(start, end - start);
    EXPECT_EQ(line.rfind("[Info] t.cpp:", 0), 0u) << line;
    EXPECT_NE(line.find(" w - " + payload + " "), std::string::npos) << line;
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 8u * 200u);
}

}  // namespace
}  // namespace tarnel
