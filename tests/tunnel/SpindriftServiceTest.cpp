// Spindrift as a root service that local users share: what one caller does (or fails to do)
// never leaves the machine captured, never crashes it and never holds up another caller.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/tunnel/TunnelWorld.h"

namespace tarnel::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

#define SKIP_WITHOUT_NAMESPACES()                                        \
  do {                                                                   \
    if (const auto reason = tunnelSkipReason()) GTEST_SKIP() << *reason; \
  } while (false)

constexpr uid_t kFirstUser = 65533;
constexpr uid_t kSecondUser = 65534;

bool startTunnel(SpindriftClient& client, const nlohmann::json& configuration) {
  return client.send({{"command", "start"}, {"configuration", configuration}}) && client.waitFor("connected");
}

// The last message up to (and including) the first with this status.
std::optional<nlohmann::json> untilStatus(SpindriftClient& client, const std::string& status,
                                          milliseconds timeout = seconds(30)) {
  while (auto message = client.next(timeout)) {
    if (message->is_object() && message->value("status", "") == status) return message;
  }
  return std::nullopt;
}

bool captureTablePresent(const TunnelWorld& world) {
  return world.networkState().find("table inet spindrift") != std::string::npos;
}

// Waits until `condition` holds, at most `timeout`; whether it did.
bool timeUntil(const std::function<bool()>& condition, milliseconds timeout) {
  const auto until = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

// A connection that gives up when the listener's queue stays full until `until`.
helmsey::engine::UniqueFd connectBefore(const fs::path& socket, Clock::time_point until) {
  helmsey::engine::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  while (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EAGAIN || Clock::now() > until) return {};
    std::this_thread::sleep_for(milliseconds(1));
  }
  return fd;
}

// A removal whose tools cannot even start is not clean: the stop says so, the journal stays
// and the capture goes as soon as the tools can run again (by the retry, or at the next start).
// Without a journal, the capture is still recognised and removed at start.
TEST(SpindriftService, ACaptureThatCouldNotBeRemovedKeepsItsJournalUntilItIs) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  const fs::path tools = makeToolFolder(world.sharedDirectory() / "tools");
  const fs::path journal = world.stateDirectory() / "capture.journal";
  TunnelWorld::Launch launch;
  launch.path = tools;
  world.startSpindrift(launch);
  const std::string before = world.networkState();
  const auto breakNft = [&] {
    fs::remove(tools / "nft");
    std::ofstream(tools / "nft") << "not a program\n";  // present, but cannot be started
  };
  const auto mendNft = [&] {
    fs::remove(tools / "nft");
    fs::create_symlink(*commandOutput("command -v nft | tr -d '\\n'"), tools / "nft");
  };

  struct Recovery {
    const char* name;
    std::function<void()> recover;
  };
  const std::vector<Recovery> recoveries{
      {"retried by the running service",
       [&] {
         mendNft();
         // The journal goes right after the rules: wait for both, not for the rules alone.
         EXPECT_TRUE(timeUntil([&] { return world.networkState() == before && !fs::exists(journal); }, seconds(30)));
       }},
      {"removed at the next start",
       [&] {
         world.killSpindrift();
         mendNft();
         world.startSpindrift(launch);
         EXPECT_EQ(world.networkState(), before);
       }},
  };
  for (const auto& recovery : recoveries) {
    SCOPED_TRACE(recovery.name);
    SpindriftClient client(world.socketPath());
    ASSERT_TRUE(startTunnel(client, world.configuration()));
    breakNft();
    ASSERT_TRUE(client.send({{"command", "stop"}}));
    const auto ended = untilStatus(client, "disconnected");
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->value("failure", ""), "capture left") << ended->dump();
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_TRUE(captureTablePresent(world));
    recovery.recover();
    EXPECT_FALSE(fs::exists(journal));
  }

  // A capture whose journal was lost with its folder.
  {
    SpindriftClient client(world.socketPath());
    ASSERT_TRUE(startTunnel(client, world.configuration()));
  }
  world.killSpindrift();
  fs::remove(journal);
  ASSERT_TRUE(captureTablePresent(world));
  world.startSpindrift(launch);
  EXPECT_EQ(world.networkState(), before);
}

// A message nested deeper than any configuration, well within the size bound, is refused; the
// service stays up for the next caller.
TEST(SpindriftService, RefusesADeeplyNestedMessageAndStaysUp) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  const std::size_t depth = 350000;  // 0.7 MB of brackets
  {
    SpindriftClient client(world.socketPath());
    ASSERT_TRUE(client.sendRaw(R"({"command":"start","configuration":)" + std::string(depth, '[') +
                               std::string(depth, ']') + "}\n"));
    const auto answer = client.next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->value("error", ""), "message refused");
  }
  EXPECT_EQ(::kill(world.spindriftPid(), 0), 0);
  SpindriftClient next(world.socketPath());
  ASSERT_TRUE(next.connected());
  EXPECT_TRUE(startTunnel(next, world.configuration()));
}

// A polkit question that takes 90 s (an unanswered prompt) holds up nobody else: another
// caller's stop is answered, and an engine that dies meanwhile has its capture removed, while
// the question is still open.
TEST(SpindriftService, AnUnansweredPolkitQuestionHoldsUpNoOtherCallerNorTheEngineWatch) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  const fs::path asked = world.sharedDirectory() / "pkcheck.asked";
  const fs::path answered = world.sharedDirectory() / "pkcheck.answered";
  const fs::path tools = makeToolFolder(world.sharedDirectory() / "tools", "#!/bin/sh\n: > " + asked.string() +
                                                                               "\n/bin/sleep 90\n: > " +
                                                                               answered.string() + "\n");
  TunnelWorld::Launch launch;
  launch.path = tools;
  launch.arguments = {"--polkit"};
  world.startSpindrift(launch);
  const std::string before = world.networkState();

  SpindriftClient owner(world.socketPath());
  ASSERT_TRUE(startTunnel(owner, world.configuration()));
  ForeignCaller stranger(world.socketPath(), kSecondUser, nlohmann::json{{"command", "stop"}});
  ASSERT_TRUE(timeUntil([&] { return fs::exists(asked); }, seconds(30))) << "polkit was asked";

  // Another caller's stop.
  {
    SpindriftClient other(world.socketPath());
    ASSERT_TRUE(other.send({{"command", "stop"}}));
    ASSERT_TRUE(untilStatus(other, "disconnected", seconds(120)));
    EXPECT_FALSE(fs::exists(answered)) << "the stop was answered only after the question";
    EXPECT_EQ(world.networkState(), before);
  }

  // The engine's death, while the question is still open.
  SpindriftClient second(world.socketPath());
  ASSERT_TRUE(startTunnel(second, world.configuration()));
  const pid_t engine = world.enginePid();
  ASSERT_GT(engine, 0);
  ::kill(engine, SIGKILL);
  ASSERT_TRUE(timeUntil([&] { return !captureTablePresent(world); }, seconds(120)));
  EXPECT_FALSE(fs::exists(answered)) << "the capture was removed only after the question";
  EXPECT_EQ(world.networkState(), before);
}

// A caller that sends and never reads its answers is dropped; everyone else is served.
TEST(SpindriftService, ACallerThatNeverReadsDelaysNobody) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  SpindriftClient deaf(world.socketPath());
  ASSERT_TRUE(deaf.connected());
  std::string stops;
  for (int i = 0; i < 50000; ++i) stops += "{\"command\":\"stop\"}\n";
  // Sent without waiting, until Spindrift drops the caller (the send then fails) or all is sent;
  // the bound is for a Spindrift that neither reads nor drops.
  std::size_t sent = 0;
  const auto deadline = Clock::now() + seconds(60);
  while (sent < stops.size() && Clock::now() < deadline) {
    const ssize_t n = ::send(deaf.fd(), stops.data() + sent, stops.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN) {
      break;  // dropped already
    } else {
      std::this_thread::sleep_for(milliseconds(5));
    }
  }

  SpindriftClient other(world.socketPath());
  ASSERT_TRUE(other.connected());
  ASSERT_TRUE(other.send({{"command", "stop"}}));
  EXPECT_TRUE(untilStatus(other, "disconnected")) << "another caller is answered";
  EXPECT_TRUE(startTunnel(other, world.configuration()));
  // The deaf caller was dropped: what was sent to it ends with the end of the connection.
  char buffer[65536];
  bool ended = false;
  for (const auto until = Clock::now() + seconds(30); !ended && Clock::now() < until;) {
    pollfd wait{deaf.fd(), POLLIN, 0};
    if (::poll(&wait, 1, 100) <= 0) continue;
    ended = ::recv(deaf.fd(), buffer, sizeof buffer, 0) <= 0;
  }
  EXPECT_TRUE(ended);
}

// 1,100 connections against Spindrift's limit of 1,024 open files (systemd's default for a
// service): the extras are closed at once, the service keeps answering, and a stop still
// removes the capture (its tools still have descriptors to start with).
TEST(SpindriftService, ManyConnectionsLeaveTheServiceAnsweringAndAStopClean) {
  SKIP_WITHOUT_NAMESPACES();
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  if (own.rlim_max < 2048) GTEST_SKIP() << "this process may not open enough files";
  const rlimit raised{own.rlim_max, own.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
  TunnelWorld world;
  TunnelWorld::Launch launch;
  launch.openFiles = 1024;
  launch.arguments = {"--allow-uid", std::to_string(kSecondUser)};
  world.startSpindrift(launch);
  const std::string before = world.networkState();

  SpindriftClient owner(world.socketPath());
  ASSERT_TRUE(startTunnel(owner, world.configuration()));
  std::vector<helmsey::engine::UniqueFd> crowd;
  // The queue empties as Spindrift takes callers off it; only a listener that stopped leaves it
  // full until the bound.
  const auto crowdUntil = Clock::now() + seconds(120);
  for (int i = 0; i < 1100; ++i) crowd.push_back(connectBefore(world.socketPath(), crowdUntil));
  // The last of them was turned away at once.
  const int last = crowd.back().get();
  ASSERT_GE(last, 0) << "the last connection was not even accepted";
  pollfd wait{last, POLLIN, 0};
  char byte = 0;
  EXPECT_TRUE(::poll(&wait, 1, 30000) == 1 && ::recv(last, &byte, 1, 0) == 0) << "an extra is closed";

  // Another user is still served.
  EXPECT_EQ(asUser(kSecondUser,
                   [&] {
                     SpindriftClient client(world.socketPath());
                     return client.send({{"command", "stop"}}) ? client.next().value_or("none").dump() : "unsent";
                   }),
            R"({"error":"not the owner"})");
  ASSERT_TRUE(owner.send({{"command", "stop"}}));
  const auto ended = untilStatus(owner, "disconnected");
  ASSERT_TRUE(ended);
  EXPECT_FALSE(ended->contains("failure")) << ended->dump();
  EXPECT_EQ(world.networkState(), before);
  ::setrlimit(RLIMIT_NOFILE, &own);
}

// Out of descriptors, the listener takes each waiting caller off its queue and closes it instead
// of waking again and again; once callers leave, it serves again.
TEST(SpindriftService, OutOfDescriptorsTheListenerDoesNotSpin) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  TunnelWorld::Launch launch;
  launch.openFiles = 16;  // a few callers' worth beyond its own, fewer than one user may hold
  world.startSpindrift(launch);
  const auto cpuTicks = [&] {
    std::ifstream in("/proc/" + std::to_string(world.spindriftPid()) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::stol(field);  // user and system time
    }
    return ticks;
  };
  std::vector<helmsey::engine::UniqueFd> crowd;
  const auto crowdUntil = Clock::now() + seconds(120);
  for (int i = 0; i < 40; ++i) crowd.push_back(connectBefore(world.socketPath(), crowdUntil));
  // Taking the crowd in costs milliseconds; a listener that spins burns a large share of a core
  // for as long as callers wait, on a busy machine too. The window starts after the crowd's
  // own work, so that only spinning can fill it.
  std::this_thread::sleep_for(seconds(1));
  const long before = cpuTicks();
  std::this_thread::sleep_for(seconds(2));
  const long spent = cpuTicks() - before;
  EXPECT_LE(spent, ::sysconf(_SC_CLK_TCK) / 5) << "ticks in two seconds with callers queued";
  crowd.clear();
  // Once their ends are seen and their descriptors freed, a caller is served again.
  bool served = false;
  for (const auto until = Clock::now() + seconds(120); !served && Clock::now() < until;) {
    SpindriftClient client(world.socketPath());
    served = client.send({{"command", "stop"}}) && untilStatus(client, "disconnected");
    if (!served) std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_TRUE(served);
}

// The tunnel belongs to the user who started it: another user may neither stop nor replace it;
// root may stop it.
TEST(SpindriftService, AnotherUsersStopAndStartAreRefusedWhileTheTunnelRuns) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  TunnelWorld::Launch launch;
  launch.arguments = {"--allow-uid", std::to_string(kFirstUser), "--allow-uid", std::to_string(kSecondUser)};
  world.startSpindrift(launch);
  const std::string before = world.networkState();

  ForeignCaller first(world.socketPath(), kFirstUser,
                      nlohmann::json{{"command", "start"}, {"configuration", world.configuration()}}, "connected");
  ASSERT_EQ(first.answer(), "y");
  ASSERT_EQ(world.curlPage(), TunnelWorld::kPageAddress);

  const auto secondSays = [&](const nlohmann::json& message) {
    return asUser(kSecondUser, [&] {
      SpindriftClient client(world.socketPath());
      if (!client.send(message)) return std::string("unsent");
      auto answer = client.next();
      while (answer && answer->value("status", "") == "connecting") answer = client.next();
      return answer ? answer->dump() : std::string("none");
    });
  };
  EXPECT_EQ(secondSays({{"command", "stop"}}), R"({"error":"not the owner"})");
  const auto started = nlohmann::json::parse(
      secondSays({{"command", "start"}, {"configuration", world.configuration()}}), nullptr, false);
  EXPECT_EQ(started.value("failure", ""), "busy") << started.dump();
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress) << "the first user's tunnel still runs";

  SpindriftClient root(world.socketPath());
  ASSERT_TRUE(root.send({{"command", "stop"}}));
  EXPECT_TRUE(untilStatus(root, "disconnected"));
  EXPECT_EQ(world.networkState(), before);
}

// A start waits for the engine (here one that never listens) beside the loop, until its start
// time-out: meanwhile other callers are answered, and a stop ends the wait.
TEST(SpindriftService, AStartThatWaitsForTheEngineHoldsUpNobody) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  const fs::path slowEngine = world.sharedDirectory() / "slow-v2ray";
  std::ofstream(slowEngine) << "#!/bin/sh\nexec /bin/sleep 30\n";
  fs::permissions(slowEngine, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  TunnelWorld::Launch launch;
  launch.arguments = {"--v2ray", slowEngine.string(), "--allow-uid", std::to_string(kSecondUser)};
  world.startSpindrift(launch);
  const std::string before = world.networkState();

  SpindriftClient starter(world.socketPath());
  ASSERT_TRUE(starter.send({{"command", "start"}, {"configuration", world.configuration()}}));
  ASSERT_TRUE(untilStatus(starter, "connecting"));

  struct Other {
    const char* name;
    std::function<std::string()> ask;
    nlohmann::json answer;
  };
  const auto firstAnswer = [&](const nlohmann::json& message) {
    SpindriftClient client(world.socketPath());
    if (!client.send(message)) return std::string("unsent");
    const auto answer = client.next();
    return answer ? answer->dump() : std::string("none");
  };
  const std::vector<Other> others{
      {"another start",
       [&] { return firstAnswer({{"command", "start"}, {"configuration", world.configuration()}}); },
       {{"status", "disconnected"}, {"failure", "busy"}, {"reason", "another start is under way"}}},
      {"another user's stop", [&] { return asUser(kSecondUser, [&] { return firstAnswer({{"command", "stop"}}); }); },
       {{"error", "not the owner"}}},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.name);
    EXPECT_EQ(nlohmann::json::parse(other.ask(), nullptr, false), other.answer);
    // A loop held up by the wait would have told the starter of its end first.
    EXPECT_FALSE(starter.next(milliseconds(1))) << "answered only after the start had ended";
  }
  // The starter's own stop ends the wait, not the time-out.
  ASSERT_TRUE(starter.send({{"command", "stop"}}));
  const auto ended = untilStatus(starter, "disconnected");
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->value("reason", ""), "the start was cancelled") << ended->dump();
  EXPECT_EQ(world.networkState(), before);
}

// The engine runs as its own unprivileged user, with the network administration capability
// alone (its transparent inbound and marked connections need nothing more).
TEST(SpindriftService, TheEngineRunsUnprivileged) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  SpindriftClient client(world.socketPath());
  ASSERT_TRUE(startTunnel(client, world.configuration()));
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress);
  const pid_t engine = world.enginePid();
  ASSERT_GT(engine, 0);
  std::ifstream in("/proc/" + std::to_string(engine) + "/status");
  std::map<std::string, std::string> fields;
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const auto value = line.find_first_not_of(" \t", colon + 1);
    fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  EXPECT_EQ(fields["Uid"], "65534\t65534\t65534\t65534");
  EXPECT_EQ(fields["Groups"], "");
  const std::string netAdminOnly = "0000000000001000";
  EXPECT_EQ(fields["CapEff"], netAdminOnly);
  EXPECT_EQ(fields["CapPrm"], netAdminOnly);
  EXPECT_EQ(fields["CapAmb"], netAdminOnly);
}

// The socket a caller finds answers it, whoever made it: Spindrift itself (here with its
// listen() held back by a second, so a path that appeared before the listening would be met
// by a refused connection), or systemd, which starts it on the first connection to a socket
// made before it runs.
TEST(SpindriftService, TheSocketACallerFindsAnswersItWhoeverMadeIt) {
  SKIP_WITHOUT_NAMESPACES();
  struct Case {
    const char* name;
    TunnelWorld::Launch launch;
  };
  TunnelWorld::Launch ownSocket;
  ownSocket.listenDelay = seconds(1);
  TunnelWorld::Launch handedOver;
  handedOver.socketActivated = true;
  std::vector<Case> cases{{"its own, listening late", ownSocket}};
  if (runCommand("command -v systemd-socket-activate >/dev/null", nullptr) == 0) {
    cases.push_back({"handed over by systemd", handedOver});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TunnelWorld world;
    world.startSpindrift(c.launch);  // returns once the socket's path is there
    const std::string before = world.networkState();
    SpindriftClient client(world.socketPath());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(startTunnel(client, world.configuration()));
    EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress);
    SpindriftClient second(world.socketPath());
    ASSERT_TRUE(second.send({{"command", "stop"}}));
    EXPECT_TRUE(untilStatus(second, "disconnected"));
    EXPECT_EQ(world.networkState(), before);
  }
}

}  // namespace
}  // namespace tarnel::test
