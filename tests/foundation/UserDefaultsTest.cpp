#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

std::string fileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string nested(std::size_t depth) {
  return R"({"kept":1,"deep":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST(UserDefaults, DamagedFileIsSetAsideReportedAndTheDomainStartsAfresh) {
  const std::string good = R"({"other":"value","count":3})";
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string oneByte = good;
  oneByte[5] = '\x01';
  const Case cases[] = {
      {"truncated", good.substr(0, 17)},
      {"emptied", ""},
      {"one byte damaged", oneByte},
      {"a list, not an object", "[1,2]"},
      {"not UTF-8", "\xff\xfe"},
      {"100,000 levels deep", nested(100'000)},
      {"just past the depth bound", nested(UserDefaults::kMaxDepth)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tarnel::test::TempDir dir;
    const auto file = dir.write("domain.json", c.bytes);
    const auto neighbour = dir.write("keychain.json", "[]");
    std::vector<UserDefaults::Damage> reported;
    UserDefaults domain(file);
    domain.setDamageObserver([&](const UserDefaults::Damage& damage) { reported.push_back(damage); });

    EXPECT_EQ(domain.object("kept"), std::nullopt);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].file, file);
    ASSERT_TRUE(reported[0].setAsideAs);
    EXPECT_EQ(*reported[0].setAsideAs, dir.path() / "domain.json.damaged");
    EXPECT_FALSE(reported[0].reason.empty());
    EXPECT_EQ(fileBytes(*reported[0].setAsideAs), c.bytes) << "kept byte for byte";

    ASSERT_TRUE(domain.set("fresh", json(true)));
    EXPECT_EQ(json::parse(fileBytes(file)), json({{"fresh", true}}));
    EXPECT_EQ(fileBytes(neighbour), "[]");
    EXPECT_EQ(reported.size(), 1u) << "reported once";
  }
}

TEST(UserDefaults, EarlierSetAsideCopiesAreNeverOverwritten) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "domain.json";
  std::vector<std::filesystem::path> setAside;
  for (const char* damage : {"first{", "second[", "third\""}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << damage;
    UserDefaults domain(file);
    domain.setDamageObserver([&](const UserDefaults::Damage& d) { setAside.push_back(d.setAsideAs.value_or("")); });
    ASSERT_TRUE(domain.set("k", json(1)));
  }
  ASSERT_EQ(setAside.size(), 3u);
  EXPECT_EQ(setAside[0].filename(), "domain.json.damaged");
  EXPECT_EQ(setAside[1].filename(), "domain.json.damaged-2");
  EXPECT_EQ(setAside[2].filename(), "domain.json.damaged-3");
  EXPECT_EQ(fileBytes(setAside[0]), "first{");
  EXPECT_EQ(fileBytes(setAside[1]), "second[");
  EXPECT_EQ(fileBytes(setAside[2]), "third\"");
}

TEST(UserDefaults, DamagedFileThatCannotBeMovedIsNeverWrittenOver) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  tarnel::test::TempDir dir;
  const auto folder = dir.path() / "locked";
  std::filesystem::create_directory(folder);
  const auto file = folder / "domain.json";
  std::ofstream(file, std::ios::binary) << "{\"half\": ";
  std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::vector<UserDefaults::Damage> reported;
  UserDefaults domain(file);
  domain.setDamageObserver([&](const UserDefaults::Damage& damage) { reported.push_back(damage); });
  EXPECT_EQ(domain.object("half"), std::nullopt);
  EXPECT_FALSE(domain.set("k", json(1)));
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  ASSERT_FALSE(reported.empty());
  EXPECT_FALSE(reported[0].setAsideAs);
  EXPECT_EQ(fileBytes(file), "{\"half\": ");
}

TEST(UserDefaults, FileIsWrittenCompactAndTooDeepValuesAreRefused) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "d.json";
  UserDefaults domain(file);
  ASSERT_TRUE(domain.set("list", json::array({"a", "b"})));
  ASSERT_TRUE(domain.set("n", json(1)));
  EXPECT_EQ(fileBytes(file), "{\"list\":[\"a\",\"b\"],\"n\":1}\n");

  json deepest = 0;
  for (std::size_t i = 1; i < UserDefaults::kMaxDepth; ++i) deepest = json::array({deepest});
  EXPECT_TRUE(domain.set("deepest", deepest)) << "the domain's object plus this value fill the bound";
  EXPECT_FALSE(domain.set("deeper", json::array({deepest})));
  UserDefaults reader(file);
  EXPECT_EQ(reader.object("deepest"), deepest);
  EXPECT_EQ(reader.object("deeper"), std::nullopt);
  EXPECT_EQ(reader.object("n"), json(1));
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
