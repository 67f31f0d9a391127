#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/BundleConfig.h"
#include "platform/UserDefaults.h"
#include "platform/XdgPaths.h"
#include "tests/support/TestHome.h"

namespace platform {
namespace {

using nlohmann::json;

TEST(UserDefaults, StandardDomainIsOnePrivateFileInTheConfigFolder) {
  auto& domain = UserDefaults::standard();
  EXPECT_EQ(domain.file(), appConfigDir() / (std::string(bundle::kBundleIdentifier) + ".json"));
  ASSERT_TRUE(domain.set("k", json("v")));
  struct stat st {};
  ASSERT_EQ(::stat(domain.file().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(UserDefaults, WritersInSeveralProcessesNeverDropEachOthersKeys) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "shared.json";
  constexpr int kWriters = 4;
  constexpr int kKeysEach = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      UserDefaults domain(file);
      bool ok = true;
      for (int i = 0; i < kKeysEach; ++i) ok = domain.set("w" + std::to_string(w) + "-" + std::to_string(i), json(i)) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  UserDefaults reader(file);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kKeysEach; ++i) {
      EXPECT_EQ(reader.object("w" + std::to_string(w) + "-" + std::to_string(i)), json(i)) << w << "/" << i;
    }
  }
}

TEST(UserDefaults, FileThatIsNotAnObjectReadsEmptyAndIsReplacedByTheNextWrite) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "broken.json";
  for (const char* content : {"{\"half\": ", "[1,2]", "", "\xff\xfe"}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    UserDefaults domain(file);
    EXPECT_EQ(domain.object("half"), std::nullopt) << content;
    ASSERT_TRUE(domain.set("fresh", json(true)));
    std::ifstream in(file);
    EXPECT_EQ(json::parse(in), json({{"fresh", true}})) << content;
  }
}

TEST(UserDefaults, EditInPlaceByAnotherProgramIsSeen) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "edited.json";
  UserDefaults domain(file);
  ASSERT_TRUE(domain.set("a", json(1)));
  EXPECT_EQ(domain.object("a"), json(1));
  // Rewritten in place (same inode), as an editor might.
  std::ofstream(file, std::ios::trunc) << R"({"a": 22, "b": "new"})";
  EXPECT_EQ(domain.object("a"), json(22));
  EXPECT_EQ(domain.object("b"), json("new"));
}

TEST(UserDefaults, TextThatIsNotUtf8IsRefusedAndNothingIsLost) {
  tarnel::test::TempDir dir;
  UserDefaults domain(dir.path() / "d.json");
  ASSERT_TRUE(domain.set("kept", json("yes")));
  EXPECT_FALSE(domain.set("bad", json(std::string("\xc3\x28"))));
  EXPECT_EQ(domain.object("kept"), json("yes"));
  EXPECT_EQ(domain.object("bad"), std::nullopt);
}

}  // namespace
}  // namespace platform
