// Tunnel mode end to end, inside network namespaces of the test's own: Spindrift captures the
// client namespace's traffic into the node, and leaves the namespace as it found it.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/tunnel/TunnelWorld.h"

namespace tarnel::test {
namespace {

#define SKIP_WITHOUT_NAMESPACES()                                  \
  do {                                                             \
    if (const auto reason = tunnelSkipReason()) GTEST_SKIP() << *reason; \
  } while (false)

bool startTunnel(SpindriftClient& client, const nlohmann::json& configuration) {
  return client.send({{"command", "start"}, {"configuration", configuration}}) && client.waitFor("connected");
}

TEST(TunnelCapture, CarriesPagesAndDnsThroughTheNodeOnlyWhileOn) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  const std::string before = world.networkState();
  ASSERT_EQ(world.curlPage(), TunnelWorld::kClientAddress) << "off: the page is reached directly";
  ASSERT_EQ(world.queryDns(), TunnelWorld::kClientAddress) << "off: DNS goes directly";
  ASSERT_EQ(world.curlPage6(), TunnelWorld::kClientAddress6) << "off: IPv6 goes directly";

  SpindriftClient client(world.socketPath());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(startTunnel(client, world.configuration()));
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress) << "on: the page sees the node, not the client";
  // A second world of the same process has namespaces of its own, untouched by the first's capture.
  TunnelWorld beside;
  EXPECT_EQ(beside.curlPage(), TunnelWorld::kClientAddress);
  EXPECT_EQ(world.queryDns(), TunnelWorld::kDnsAddress) << "on: the DNS query went through the node";
  EXPECT_EQ(world.curlPage6(), TunnelWorld::kPageAddress6) << "on: IPv6 too leaves from the node's side";
  EXPECT_NE(world.networkState(), before);

  ASSERT_TRUE(client.send({{"command", "stop"}}));
  ASSERT_TRUE(client.waitFor("disconnected"));
  EXPECT_EQ(world.networkState(), before);
  EXPECT_EQ(world.curlPage(), TunnelWorld::kClientAddress) << "off again: direct";
}

// Every way a tunnel can end leaves the namespace's rules and routes exactly as they were, and
// the next start works.
TEST(TunnelCapture, EveryEndRestoresTheNamespace) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  const std::string before = world.networkState();

  struct Ending {
    const char* name;
    std::function<void(std::unique_ptr<SpindriftClient>&)> end;
  };
  const std::vector<Ending> endings{
      {"stop",
       [](std::unique_ptr<SpindriftClient>& client) {
         ASSERT_TRUE(client->send({{"command", "stop"}}));
         ASSERT_TRUE(client->waitFor("disconnected"));
       }},
      {"engine killed",
       [&](std::unique_ptr<SpindriftClient>& client) {
         const pid_t engine = world.enginePid();
         ASSERT_GT(engine, 0);
         ::kill(engine, SIGKILL);
         ASSERT_TRUE(client->waitFor("disconnected")) << "the caller hears that the tunnel ended";
       }},
      {"Spindrift killed",
       [&](std::unique_ptr<SpindriftClient>& client) {
         world.killSpindrift();
         client.reset();
         // Its successor removes what it left before it serves anyone.
         world.startSpindrift();
       }},
      {"Spindrift killed with its journal damaged",
       [&](std::unique_ptr<SpindriftClient>& client) {
         world.killSpindrift();
         client.reset();
         std::ofstream(world.stateDirectory() / "capture.journal", std::ios::trunc) << "{\"table\":\"spin";
         world.startSpindrift();
       }},
      {"client killed",
       [&](std::unique_ptr<SpindriftClient>& client) {
         // The caller is a process of its own that dies holding the tunnel.
         client.reset();
         int ready[2];
         ASSERT_EQ(::pipe(ready), 0);
         const pid_t caller = ::fork();
         if (caller == 0) {
           ::close(ready[0]);
           SpindriftClient own(world.socketPath());
           const char answer = startTunnel(own, world.configuration()) ? 'y' : 'n';
           [[maybe_unused]] const auto n = ::write(ready[1], &answer, 1);
           ::pause();
           ::_exit(0);
         }
         ::close(ready[1]);
         char answer = 0;
         ASSERT_EQ(::read(ready[0], &answer, 1), 1);
         ::close(ready[0]);
         ASSERT_EQ(answer, 'y');
         ::kill(caller, SIGKILL);
         int status = 0;
         ::waitpid(caller, &status, 0);
         // The stop happens when Spindrift sees the hang-up; wait until it has.
         for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
              world.networkState() != before && std::chrono::steady_clock::now() < until;) {
           std::this_thread::sleep_for(std::chrono::milliseconds(25));
         }
       }},
  };
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.name);
    auto client = std::make_unique<SpindriftClient>(world.socketPath());
    ASSERT_TRUE(client->connected());
    ASSERT_TRUE(startTunnel(*client, world.configuration()));
    ASSERT_EQ(world.curlPage(), TunnelWorld::kPageAddress);
    ending.end(client);
    EXPECT_EQ(world.networkState(), before);
    EXPECT_EQ(world.curlPage(), TunnelWorld::kClientAddress);
  }
  SpindriftClient last(world.socketPath());
  ASSERT_TRUE(startTunnel(last, world.configuration())) << "a start after all of that works";
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress);
}

// What a caller that is not let in hears, from a process running as another user.
std::string answerToUser(const std::filesystem::path& socket, uid_t uid) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(1);
    SpindriftClient client(socket);
    std::string answer = "no connection";
    if (client.connected()) {
      // The refusal may come, and the socket close, before the request is even sent: the send
      // may fail then, and the answer is still there to read.
      (void)client.send({{"command", "stop"}});
      const auto message = client.next(std::chrono::seconds(60));
      answer = message ? message->dump() : "closed";
    }
    [[maybe_unused]] const auto n = ::write(pipeFds[1], answer.data(), answer.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string answer;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return answer;
}

TEST(TunnelCapture, RefusesStrangersAndValuesThatWouldInjectIntoTheEngine) {
  SKIP_WITHOUT_NAMESPACES();
  TunnelWorld world;
  world.startSpindrift();
  const std::string before = world.networkState();

  EXPECT_EQ(answerToUser(world.socketPath(), 65534), R"({"error":"not authorised"})");

  struct Case {
    const char* name;
    std::function<void(nlohmann::json&)> change;
  };
  const std::vector<Case> cases{
      {"address closing its string", [](nlohmann::json& c) { c["servers"]["address"] = R"(192.0.2.2","port":1,"x":")"; }},
      {"server name with a brace", [](nlohmann::json& c) { c["serverName"] = "node.test\"}],\"inbounds\":[{"; }},
      {"credential that is not a UUID", [](nlohmann::json& c) { c["servers"]["password"] = "\"},{\"id\":\"x"; }},
      {"DNS that is not a resolver", [](nlohmann::json& c) { c["dns"] = "8.8.8.8\",\"servers\":[\"evil"; }},
      {"unknown DNS strategy", [](nlohmann::json& c) { c["dnsStrategy"] = "AsIs\",\"x\":\"y"; }},
      {"port as text", [](nlohmann::json& c) { c["servers"]["port"] = "8443,\"x\":1"; }},
      {"unknown protocol", [](nlohmann::json& c) { c["protocol"] = "freedom"; }},
  };
  SpindriftClient client(world.socketPath());
  ASSERT_TRUE(client.connected());
  for (const auto& scenario : cases) {
    SCOPED_TRACE(scenario.name);
    auto configuration = world.configuration();
    scenario.change(configuration);
    ASSERT_TRUE(client.send({{"command", "start"}, {"configuration", configuration}}));
    std::optional<nlohmann::json> last;
    while (auto message = client.next()) {
      last = message;
      if (message->value("status", "") == "disconnected") break;
    }
    ASSERT_TRUE(last);
    EXPECT_EQ(last->value("failure", ""), "refused");
    EXPECT_EQ(world.networkState(), before);
  }
  EXPECT_TRUE(startTunnel(client, world.configuration())) << "the same caller with sound values is served";
}

}  // namespace
}  // namespace tarnel::test
