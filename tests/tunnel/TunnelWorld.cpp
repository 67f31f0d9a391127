#include "tests/tunnel/TunnelWorld.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "tests/support/ChildProcess.h"

namespace tarnel::test {
namespace {

using helmsey::engine::UniqueFd;

// How long a page fetch through the namespaces may take: pages come at once, so only a hang
// reaches it.
const std::string kPageSeconds = "60";

void must(const std::string& command) {
  std::string output;
  if (runCommand(command + " 2>&1", &output) != 0) throw std::runtime_error(command + ": " + output);
}

// Names of the process's own: its id and a count (a benchmark holds several worlds at once),
// short enough for the veth names made from them.
std::string uniqueName(unsigned count, const char* role) {
  return "tt" + std::to_string(::getpid()) + "x" + std::to_string(count) + role;
}

// A pair of namespaces under fresh names. A name can be taken by a namespace a crashed run
// left behind, and `ip netns add` can fail while many of them set up /run/netns at once: the
// next name is tried, a few times.
std::pair<std::string, std::string> addNamespaces() {
  static std::atomic<unsigned> count{0};
  std::string output;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const unsigned n = count++;
    std::string client = uniqueName(n, "c"), world = uniqueName(n, "w");
    if (runCommand("ip netns add " + client + " 2>&1", &output) == 0) {
      if (runCommand("ip netns add " + world + " 2>&1", &output) == 0) return {client, world};
      runCommand("ip netns del " + client + " 2>/dev/null", nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * (attempt + 1)));
  }
  throw std::runtime_error("no network namespaces for the test: " + output);
}

// A DNS answer to `query` carrying one A record with the asker's IPv4 address.
std::string answerWithAddress(const std::string& query, const in_addr& asker) {
  if (query.size() < 12) return {};
  std::string answer = query;
  answer[2] = static_cast<char>(0x81);
  answer[3] = static_cast<char>(0x80);
  answer[6] = 0;
  answer[7] = 1;
  const unsigned char record[] = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
  answer.append(reinterpret_cast<const char*>(record), sizeof record);
  answer.append(reinterpret_cast<const char*>(&asker.s_addr), 4);
  return answer;
}

std::string dnsQuery() {
  std::string query("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
  query += "\x04page\x04test";
  query.push_back('\0');
  query.append("\x00\x01\x00\x01", 4);
  return query;
}

}  // namespace

std::optional<std::string> tunnelSkipReason() {
  if (::geteuid() != 0) return "the capture needs root";
  if (runCommand("command -v ip >/dev/null && command -v nft >/dev/null && ip netns list >/dev/null 2>&1",
                 nullptr) != 0) {
    return "ip netns or nft is not available";
  }
  return std::nullopt;
}

void TunnelWorld::inNamespace(const std::string& name, const std::function<void()>& body) const {
  UniqueFd home(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
  UniqueFd target(::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC));
  if (!home.valid() || !target.valid() || ::setns(target.get(), CLONE_NEWNET) != 0) {
    throw std::runtime_error("cannot enter the namespace " + name);
  }
  try {
    body();
  } catch (...) {
    ::setns(home.get(), CLONE_NEWNET);
    throw;
  }
  ::setns(home.get(), CLONE_NEWNET);
}

TunnelWorld::TunnelWorld() {
  std::tie(client_, world_) = addNamespaces();
  must("ip link add v" + client_ + " netns " + client_ + " type veth peer name v" + world_ + " netns " + world_);
  // No link-local address: it would appear some time after the link comes up (after duplicate
  // address detection) and make the namespace's routes change under the test's comparison.
  for (const auto* command : {"link set v%s addrgenmode none", "link set lo up", "link set v%s up"}) {
    for (const auto& ns : {client_, world_}) {
      std::string text = command;
      const auto at = text.find("%s");
      if (at != std::string::npos) text.replace(at, 2, ns);
      must("ip -n " + ns + " " + text);
    }
  }
  must("ip -n " + client_ + " addr add " + kClientAddress + "/24 dev v" + client_);
  must("ip -n " + client_ + " route add 198.51.100.0/24 via " + kNodeAddress);
  must("ip -n " + world_ + " addr add " + kNodeAddress + "/24 dev v" + world_);
  for (const auto* address : {kPageAddress, kDnsAddress}) {
    must("ip -n " + world_ + " addr add " + address + "/32 dev lo");
  }
  must("ip -n " + client_ + " -6 addr add " + kClientAddress6 + "/64 dev v" + client_ + " nodad");
  must("ip -n " + world_ + " -6 addr add 2001:db8::2/64 dev v" + world_ + " nodad");
  must("ip -n " + world_ + " -6 addr add " + kPageAddress6 + "/128 dev lo nodad");
  must("ip -n " + client_ + " -6 route add 2001:db8:1::/64 via 2001:db8::2");

  ca_.emplace(dir_.path());
  credential_ = randomUuid();
  inNamespace(world_, [this] {
    V2rayNode::Options options;
    options.kind = V2rayNode::Kind::vmess;
    options.credential = credential_;
    options.certificate = ca_->issue("node", {"node.test"}, {kNodeAddress});
    options.listenAddress = kNodeAddress;
    options.port = kNodePort;
    node_ = std::make_unique<V2rayNode>(options, dir_.path());
    page_ = std::make_unique<LoopbackHttpServer>(std::nullopt, kPageAddress, 80);
    page_->setHandler([](const ReceivedRequest& request) { return CannedReply::text(200, request.peerAddress); });
    page6_ = std::make_unique<LoopbackHttpServer>(std::nullopt, kPageAddress6, 80);
    page6_->setHandler([](const ReceivedRequest& request) { return CannedReply::text(200, request.peerAddress); });
    dnsSocket_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    ::inet_pton(AF_INET, kDnsAddress, &address.sin_addr);
    if (::bind(dnsSocket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot bind the DNS server");
    }
  });
  dnsThread_ = std::thread([this] {
    while (!dnsQuit_.load()) {
      pollfd fd{dnsSocket_.get(), POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      char buffer[512];
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      const ssize_t n = ::recvfrom(dnsSocket_.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &length);
      if (n <= 0) continue;
      const auto answer = answerWithAddress(std::string(buffer, static_cast<std::size_t>(n)), peer.sin_addr);
      ::sendto(dnsSocket_.get(), answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
    }
  });
  // Other users must reach the socket, so that Spindrift itself is what turns them away: it
  // lives outside the test's private home, in a folder of its own that only root writes.
  char socketDir[] = "/tmp/tarnel-spindrift-XXXXXX";
  if (::mkdtemp(socketDir) == nullptr) throw std::runtime_error("no socket folder");
  socketDir_ = socketDir;
  ::chmod(socketDir, 0711);
  socket_ = socketDir_ / "spindrift.sock";
}

TunnelWorld::~TunnelWorld() {
  if (spindrift_ > 0) {
    ::kill(spindrift_, SIGTERM);
    int status = 0;
    ::waitpid(spindrift_, &status, 0);
  }
  dnsQuit_.store(true);
  if (dnsThread_.joinable()) dnsThread_.join();
  page_.reset();
  page6_.reset();
  node_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(socketDir_, ignored);
  runCommand("ip netns del " + client_ + " 2>/dev/null", nullptr);
  runCommand("ip netns del " + world_ + " 2>/dev/null", nullptr);
}

void TunnelWorld::startSpindrift(const Launch& launch) {
  std::vector<std::string> words{"ip", "netns", "exec", client_};
  if (launch.path) words.insert(words.end(), {"env", "PATH=" + launch.path->string()});
  if (launch.listenDelay.count() > 0) {
    // A sanitizer runtime wants to come first among the libraries; the shim only wraps listen().
    const char* asan = std::getenv("ASAN_OPTIONS");
    words.insert(words.end(), {"env", std::string("LD_PRELOAD=") + SLOW_LISTEN_LIBRARY,
                               "TARNEL_TEST_LISTEN_DELAY_MS=" + std::to_string(launch.listenDelay.count()),
                               std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"});
  }
  if (launch.socketActivated) words.insert(words.end(), {"systemd-socket-activate", "-l", socket_.string()});
  words.insert(words.end(), {SPINDRIFT_PROGRAM, "--state-dir", dir_.path().string(), "--allow-uid", "0", "--v2ray",
                             "/usr/bin/v2ray", "--extra-ca", ca_->certificatePath().string(), "--engine-user",
                             "nobody"});
  if (!launch.socketActivated) words.insert(words.end(), {"--socket", socket_.string()});
  words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
  std::filesystem::remove(socket_);
  std::vector<char*> argv;
  std::vector<std::string> copies = words;
  for (auto& word : copies) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  spindrift_ = ::fork();
  if (spindrift_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (launch.openFiles != 0) {
      const rlimit limit{launch.openFiles, launch.openFiles};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    ::execvp("ip", argv.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(socket_)) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("Spindrift did not start");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void TunnelWorld::killSpindrift() {
  ::kill(spindrift_, SIGKILL);
  int status = 0;
  ::waitpid(spindrift_, &status, 0);
  spindrift_ = -1;
}

pid_t TunnelWorld::enginePid() const {
  // Spindrift's other children (polkit checks) are not the engine.
  for (const ProcessEntry& child : childrenOf(spindrift_)) {
    if (child.command.find("v2ray") != std::string::npos) return child.pid;
  }
  return -1;
}

std::string TunnelWorld::curlPage() const {
  std::string output;
  runCommand("ip netns exec " + client_ + " curl -s --max-time " + kPageSeconds + " http://" + kPageAddress + "/", &output);
  return output;
}

std::string TunnelWorld::curlPage6() const {
  std::string output;
  runCommand("ip netns exec " + client_ + " curl -s --max-time " + kPageSeconds + " http://[" + kPageAddress6 + "]/",
             &output);
  return output;
}

std::string TunnelWorld::queryDns() const {
  std::string result;
  inNamespace(client_, [&] {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    ::inet_pton(AF_INET, kDnsAddress, &address.sin_addr);
    const auto query = dnsQuery();
    // Asked again every two seconds, as a resolver does, until an answer or a hang's bound.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (result.empty() && std::chrono::steady_clock::now() < until) {
      ::sendto(fd.get(), query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
      pollfd wait{fd.get(), POLLIN, 0};
      if (::poll(&wait, 1, 2000) <= 0) continue;
      unsigned char buffer[512];
      const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
      if (n < static_cast<ssize_t>(query.size()) + 16 || buffer[0] != 0x12 || buffer[1] != 0x34) continue;
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, buffer + n - 4, text, sizeof text);
      result = text;
    }
  });
  return result;
}

std::string TunnelWorld::networkState() const {
  std::string state;
  for (const auto* command : {"nft list ruleset", "ip -4 rule", "ip -6 rule", "ip -4 route show table all",
                              "ip -6 route show table all"}) {
    std::string output;
    runCommand("ip netns exec " + client_ + " " + command + " 2>&1", &output);
    state += std::string("$ ") + command + "\n" + output;
  }
  return state;
}

nlohmann::json TunnelWorld::configuration() const {
  return {{"isSmart", false},
          {"isTun", true},
          {"servers", {{"address", kNodeAddress}, {"port", kNodePort}, {"password", credential_}}},
          {"protocol", "b"},
          {"serverName", "node.test"},
          {"dns", "auto"},
          {"dnsStrategy", "UseIPv4"}};
}

std::filesystem::path makeToolFolder(const std::filesystem::path& where, const std::string& pkcheckScript) {
  std::filesystem::create_directories(where);
  ::chmod(where.c_str(), 0755);
  for (const char* tool : {"nft", "ip"}) {
    const auto real = commandOutput(std::string("command -v ") + tool);
    if (!real) throw std::runtime_error(std::string("no ") + tool);
    std::string path = *real;
    while (!path.empty() && path.back() == '\n') path.pop_back();
    std::filesystem::create_symlink(path, where / tool);
  }
  if (!pkcheckScript.empty()) {
    std::ofstream(where / "pkcheck") << pkcheckScript;
    ::chmod((where / "pkcheck").c_str(), 0755);
  }
  return where;
}

std::string asUser(uid_t uid, const std::function<std::string()>& body) {
  const auto result = runInChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) {
      return std::string("cannot become the user");
    }
    return body();
  });
  return result.output;
}

ForeignCaller::ForeignCaller(const std::filesystem::path& socket, uid_t uid, const std::optional<nlohmann::json>& first,
                             const std::string& waitForStatus) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    readEnd.reset();
    if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(1);
    SpindriftClient client(socket);
    std::string answer = "no connection";
    if (client.connected()) {
      answer.clear();
      if (first) (void)client.send(*first);
      if (!waitForStatus.empty()) {
        answer = client.waitFor(waitForStatus, std::chrono::seconds(60)) ? "y" : "n";
      } else if (first) {
        const auto message = client.next(std::chrono::seconds(60));
        answer = message ? message->dump() : "closed";
      }
    }
    if (!answer.empty()) [[maybe_unused]] const auto n = ::write(writeEnd.get(), answer.data(), answer.size());
    writeEnd.reset();
    for (;;) ::pause();
  }
  report_ = std::move(readEnd);
}

ForeignCaller::~ForeignCaller() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

std::string ForeignCaller::answer(std::chrono::milliseconds timeout) {
  pollfd wait{report_.get(), POLLIN, 0};
  if (::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return "";
  char buffer[4096];
  const ssize_t n = ::read(report_.get(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

SpindriftClient::SpindriftClient(const std::filesystem::path& socket)
    : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fd_.reset();
}

bool SpindriftClient::send(const nlohmann::json& message) { return sendRaw(message.dump() + "\n"); }

bool SpindriftClient::sendRaw(const std::string& text) {
  return ::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::optional<nlohmann::json> SpindriftClient::next(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto end = input_.find('\n');
    if (end != std::string::npos) {
      auto message = nlohmann::json::parse(input_.substr(0, end), nullptr, false);
      input_.erase(0, end + 1);
      return message;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd wait{fd_.get(), POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    input_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool SpindriftClient::waitFor(const std::string& status, std::chrono::milliseconds timeout) {
  while (auto message = next(timeout)) {
    if (message->is_object() && message->value("status", "") == status) return true;
  }
  return false;
}

}  // namespace tarnel::test
