#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"
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
  ASSERT_TRUE(domain.flush());
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
      for (int i = 0; i < kKeysEach; ++i) {
        ok = domain.set("w" + std::to_string(w) + "-" + std::to_string(i), json(i)) && ok;
        if (i % 8 == 0) ok = domain.flush() && ok;  // several writes, interleaved with the others'
      }
      ok = domain.flush() && ok;
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
    ASSERT_TRUE(domain.flush());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].file, file);
    ASSERT_TRUE(reported[0].setAsideAs);
    EXPECT_EQ(*reported[0].setAsideAs, dir.path() / "domain.json.damaged");
    EXPECT_FALSE(reported[0].reason.empty());
    EXPECT_EQ(fileBytes(*reported[0].setAsideAs), c.bytes) << "kept byte for byte";

    ASSERT_TRUE(domain.set("fresh", json(true)));
    ASSERT_TRUE(domain.flush());
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
  EXPECT_FALSE(domain.set("k", json(1)) && domain.flush());
  EXPECT_FALSE(domain.set("k", json(2))) << "known now: refused at once";
  EXPECT_EQ(domain.object("k"), std::nullopt);
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
  ASSERT_TRUE(domain.flush());
  EXPECT_EQ(fileBytes(file), "{\"list\":[\"a\",\"b\"],\"n\":1}\n");

  json deepest = 0;
  for (std::size_t i = 1; i < UserDefaults::kMaxDepth; ++i) deepest = json::array({deepest});
  EXPECT_TRUE(domain.set("deepest", deepest)) << "the domain's object plus this value fill the bound";
  EXPECT_FALSE(domain.set("deeper", json::array({deepest})));
  ASSERT_TRUE(domain.flush());
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
  ASSERT_TRUE(domain.flush());
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

// The file changes made for one file, with the thread that made each.
class FileChanges {
 public:
  explicit FileChanges(std::filesystem::path file) : file_(std::move(file)) {
    setFileChangeObserverForTesting([this](FileChange change, const std::filesystem::path& about) {
      if (about != file_) return;
      std::lock_guard lock(mutex_);
      seen_.push_back({change, std::this_thread::get_id()});
    });
  }
  ~FileChanges() { setFileChangeObserverForTesting({}); }

  int count(FileChange change) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(seen_.begin(), seen_.end(), [&](const auto& s) { return s.change == change; }));
  }
  int madeOn(std::thread::id thread) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(seen_.begin(), seen_.end(), [&](const auto& s) { return s.thread == thread; }));
  }
  int total() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(seen_.size());
  }

 private:
  struct Seen {
    FileChange change;
    std::thread::id thread;
  };
  const std::filesystem::path file_;
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
};

TEST(UserDefaults, ABurstOfChangesIsReadAtOnceAndWrittenInOneGo) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "d.json";
  FileChanges changes(file);
  json expected = json::object();
  {
    UserDefaults domain(file);
    domain.setWriteDelayForTesting(std::chrono::seconds(30));  // the burst is certainly one window
    for (int i = 0; i < 100; ++i) {
      ASSERT_TRUE(domain.set("counter", json(i)));
      ASSERT_TRUE(domain.set("key-" + std::to_string(i % 7), json(i)));
      expected["counter"] = i;
      expected["key-" + std::to_string(i % 7)] = i;
      if (i % 10 == 0) {
        ASSERT_TRUE(domain.set("key-3", std::nullopt));
        expected.erase("key-3");
      }
      ASSERT_EQ(domain.object("counter"), json(i)) << "seen at once";
    }
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing written by the setters themselves";
    std::thread reader([&] { EXPECT_EQ(domain.object("counter"), json(99)) << "by every thread"; });
    reader.join();
  }  // the domain's end writes what is pending
  EXPECT_EQ(changes.count(FileChange::rename), 1);
  EXPECT_EQ(json::parse(fileBytes(file)), expected);
}

// A child forked while the parent's writer waits on unwritten changes: the writer does not exist
// in the child, yet the child writes its own changes (and the parent's it inherited) and ends.
TEST(UserDefaults, AChildForkedWhileTheWriterWaitsWritesOnItsOwn) {
  // Both sanitizers' runtimes fail the child here, not the code: ThreadSanitizer ends a child of
  // a threaded process that starts a thread, and AddressSanitizer's allocator, not held across
  // a fork, can be left locked by the parent's writer while it is still starting.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a sanitizer's runtime cannot follow this fork";
#endif
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "d.json";
  UserDefaults domain(file);
  domain.setWriteDelayForTesting(std::chrono::hours(1));
  ASSERT_TRUE(domain.set("parent", json(1)));  // the writer now waits for the hour to pass
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = domain.set("child", json(2)) && domain.flush();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(json::parse(fileBytes(file)), json({{"parent", 1}, {"child", 2}}));
  ASSERT_TRUE(domain.flush()) << "the parent's writer still answers";
  EXPECT_EQ(UserDefaults(file).object("parent"), json(1));
}

TEST(UserDefaults, FileIsWrittenWithinTheWriteDelayWithoutAFlush) {
  tarnel::test::TempDir dir;
  const auto file = dir.path() / "d.json";
  // A process killed some time after a change (kill -9: no flush, no destructor): once the file
  // holds the change, or when a writer that waits for a flush would have had ample time.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UserDefaults domain(file);
    domain.set("kept", json("yes"));
    const auto until = std::chrono::steady_clock::now() + UserDefaults::kWriteDelay + std::chrono::seconds(60);
    while (fileBytes(file).find("kept") == std::string::npos && std::chrono::steady_clock::now() < until) {
      ::usleep(10'000);
    }
    ::kill(::getpid(), SIGKILL);
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(UserDefaults(file).object("kept"), json("yes"));
}

TEST(UserDefaults, TheCallersThreadNeverWritesSyncsOrRenamesTheFile) {
  tarnel::test::TempDir dir;
  const auto file = dir.write("d.json", "{\"half\": ");  // damaged: set aside by someone
  FileChanges changes(file);
  UserDefaults domain(file);
  domain.setDamageObserver([](const UserDefaults::Damage&) {});
  EXPECT_EQ(domain.object("half"), std::nullopt);
  ASSERT_TRUE(domain.set("a", json(1)));
  ASSERT_TRUE(domain.flush());
  ASSERT_TRUE(domain.set("b", json(2)));
  ASSERT_TRUE(domain.removeAll());
  ASSERT_TRUE(domain.set("c", json(3)));
  ASSERT_TRUE(domain.flush());
  EXPECT_EQ(changes.madeOn(std::this_thread::get_id()), 0);
  EXPECT_GE(changes.count(FileChange::rename), 3) << "set aside, then two writes";
  EXPECT_GE(changes.count(FileChange::sync), 2);
  EXPECT_EQ(json::parse(fileBytes(file)), json({{"c", 3}}));
}

TEST(UserDefaults, AnOutsizedFileIsNotReadButSetAsideLikeADamagedOne) {
  struct Case {
    const char* what;
    std::size_t padding;
    bool setAside;
  };
  const std::string head = R"({"kept":1,"pad":")";
  const std::string tail = "\"}";
  const Case cases[] = {
      {"at the bound", UserDefaults::kMaxFileBytes - head.size() - tail.size(), false},
      {"one byte over", UserDefaults::kMaxFileBytes - head.size() - tail.size() + 1, true},
      {"200 MB", 200u * 1000 * 1000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tarnel::test::TempDir dir;
    const auto file = dir.path() / "domain.json";
    {
      std::ofstream out(file, std::ios::binary);
      out << head;
      const std::string block(1 << 20, 'x');
      for (std::size_t left = c.padding; left > 0;) {
        const std::size_t n = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
      }
      out << tail;
    }
    std::vector<UserDefaults::Damage> reported;
    UserDefaults domain(file);
    domain.setDamageObserver([&](const UserDefaults::Damage& damage) { reported.push_back(damage); });
    EXPECT_EQ(domain.object("kept"), c.setAside ? std::nullopt : std::optional<json>(1));
    ASSERT_TRUE(domain.flush());
    if (!c.setAside) {
      EXPECT_TRUE(reported.empty());
      continue;
    }
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].reason.find("larger than 4 MiB"), std::string::npos) << reported[0].reason;
    ASSERT_TRUE(reported[0].setAsideAs);
    EXPECT_EQ(std::filesystem::file_size(*reported[0].setAsideAs), head.size() + c.padding + tail.size());
    ASSERT_TRUE(domain.set("fresh", json(true)));
    ASSERT_TRUE(domain.flush());
    EXPECT_EQ(json::parse(fileBytes(file)), json({{"fresh", true}}));
  }
}

}  // namespace
}  // namespace platform
