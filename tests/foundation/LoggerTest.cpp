#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "services/base/Logger.h"
#include "tests/support/TestHome.h"

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
            "[Error] File.swift:42 run - Error decoding JSON:  7 true\n"
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

std::vector<std::string> fileLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Logger, FileCopyStaysUnderItsLimitKeepingTheNewestLinesWhole) {
  test::TempDir dir;
  const auto file = dir.path() / "logs" / "tarnel.log";  // the folder does not exist yet
  constexpr std::uintmax_t kLimit = 4096;
  Logger::setFileCopy(file, kLimit);
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) Logger::log({LogLevel::info, "f.cpp", t, "w"}, "line", t, i);
    });
  }
  for (auto& th : threads) th.join();
  Logger::log({LogLevel::error, "f.cpp", 9, "w"}, "the last one");
  testing::internal::GetCapturedStdout();
  Logger::setFileCopy({}, 0);
  Logger::log({LogLevel::error, "f.cpp", 9, "w"}, "after the copy stopped");

  ASSERT_TRUE(std::filesystem::exists(file));
  ASSERT_TRUE(std::filesystem::exists(file.string() + ".1"));
  EXPECT_LE(std::filesystem::file_size(file), kLimit);
  EXPECT_LE(std::filesystem::file_size(file.string() + ".1"), kLimit);
  const auto current = fileLines(file);
  ASSERT_FALSE(current.empty());
  EXPECT_NE(current.back().find("the last one"), std::string::npos);
  for (const auto& line : current) EXPECT_EQ(line.rfind("[", 0), 0u) << "a broken line: " << line;
  for (const auto& line : fileLines(file.string() + ".1")) EXPECT_EQ(line.rfind("[", 0), 0u) << line;
}

}  // namespace
}  // namespace tarnel
