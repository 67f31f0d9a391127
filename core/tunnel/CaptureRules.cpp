#include "core/tunnel/CaptureRules.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/engine/EngineLog.h"
#include "core/engine/ProgramRunner.h"
#include "core/engine/UniqueFd.h"
#include "platform/BoundedJson.h"

namespace helmsey::tunnel {
namespace {

using engine::runProgram;

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << value;
  return text.str();
}

bool run(const std::vector<std::string>& command, std::string& error) {
  const auto result = runProgram(command);
  if (result && result->exitCode == 0) return true;
  std::string line;
  for (const auto& word : command) line += (line.empty() ? "" : " ") + word;
  error = line + (result ? " failed with exit code " + std::to_string(result->exitCode) : " could not run");
  return false;
}

// Writes `text` to `path` through a temporary file and makes it durable before it counts.
bool writeDurably(const std::filesystem::path& path, const std::string& text) {
  const auto temporary = path.string() + ".new";
  engine::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) return false;
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return false;
  fd.reset();
  return ::rename(temporary.c_str(), path.c_str()) == 0;
}

const char* familyFlag(bool ipv6) { return ipv6 ? "-6" : "-4"; }

}  // namespace

CaptureRules::CaptureRules(std::filesystem::path stateDirectory)
    : journal_(stateDirectory / "capture.journal"), ruleFile_(stateDirectory / "capture.nft") {}

std::string CaptureRules::ruleset(std::uint16_t port, bool ipv6) {
  const std::string capture = hex(kCaptureMark);
  const std::string p = std::to_string(port);
  std::ostringstream text;
  text << "table inet " << kTable << " {\n"
       << "  chain prerouting {\n"
       << "    type filter hook prerouting priority mangle; policy accept;\n"
       << "    meta mark " << capture << " meta l4proto { tcp, udp } tproxy ip to 127.0.0.1:" << p << " accept\n";
  if (ipv6) text << "    meta mark " << capture << " meta l4proto { tcp, udp } tproxy ip6 to [::1]:" << p << " accept\n";
  // Only what leaves this machine is captured: its own addresses, loopback, broadcast and
  // multicast stay as they are, and so does everything the engine itself sends.
  text << "  }\n"
       << "  chain output {\n"
       << "    type route hook output priority mangle; policy accept;\n"
       << "    meta mark " << hex(kBypassMark) << " return\n"
       << "    fib daddr type { local, broadcast, multicast } return\n"
       << "    ip daddr 127.0.0.0/8 return\n"
       << "    ip6 daddr ::1 return\n"
       << "    meta nfproto " << (ipv6 ? "{ ipv4, ipv6 }" : "ipv4") << " meta l4proto { tcp, udp } meta mark set "
       << capture << "\n"
       << "  }\n"
       << "}\n";
  return text.str();
}

bool CaptureRules::pending() const {
  std::error_code ignored;
  return std::filesystem::exists(journal_, ignored);
}

bool CaptureRules::apply(std::uint16_t port, bool ipv6, std::string& error) {
  if (pending() && !remove()) {
    error = "the capture of an earlier run could not be removed";
    return false;
  }
  const nlohmann::json journal{{"table", kTable},
                               {"mark", kCaptureMark},
                               {"routeTable", kRouteTable},
                               {"families", ipv6 ? nlohmann::json::array({4, 6}) : nlohmann::json::array({4})}};
  if (!writeDurably(journal_, journal.dump())) {
    error = "the capture journal could not be written";
    return false;
  }
  if (!writeDurably(ruleFile_, ruleset(port, ipv6))) {
    error = "the rule file could not be written";
    remove();
    return false;
  }
  bool ok = run({"nft", "-f", ruleFile_.string()}, error);
  for (const bool six : {false, true}) {
    if (!ok || (six && !ipv6)) continue;
    ok = run({"ip", familyFlag(six), "rule", "add", "fwmark", hex(kCaptureMark), "lookup", std::to_string(kRouteTable)},
             error) &&
         run({"ip", familyFlag(six), "route", "add", "local", six ? "::/0" : "0.0.0.0/0", "dev", "lo", "table",
              std::to_string(kRouteTable)},
             error);
  }
  if (!ok) remove();
  return ok;
}

bool CaptureRules::remove() {
  if (!pending()) return true;
  std::ifstream in(journal_);
  std::ostringstream text;
  text << in.rdbuf();
  const auto journal = platform::parseJsonBounded<nlohmann::json>(text.str());
  // A damaged journal still means our capture may be in place: everything we ever add is
  // taken away, with the names this build uses.
  std::uint32_t mark = kCaptureMark;
  int routeTable = kRouteTable;
  if (journal && journal->is_object()) {
    if (journal->contains("mark") && (*journal)["mark"].is_number_unsigned()) {
      mark = (*journal)["mark"].get<std::uint32_t>();
    }
    if (journal->contains("routeTable") && (*journal)["routeTable"].is_number_integer()) {
      routeTable = (*journal)["routeTable"].get<int>();
    }
  } else {
    engine::note("the capture journal is damaged; removing the capture this build makes");
  }
  std::string error;
  if (!removeEverything(mark, routeTable, error)) {
    engine::note("the capture could not be removed (the journal stays): " + error);
    return false;
  }
  std::error_code ignored;
  std::filesystem::remove(ruleFile_, ignored);
  std::filesystem::remove(journal_, ignored);
  return true;
}

bool CaptureRules::removeLeftovers() {
  if (pending()) return remove();
  // No journal (it may have been lost with a folder that did not survive): what this build
  // would have added is recognised by its fixed names and taken away all the same.
  std::string error;
  if (!removeEverything(kCaptureMark, kRouteTable, error)) {
    engine::note("a capture left without a journal could not be removed: " + error);
    return false;
  }
  return true;
}

// Each tool must have run for the removal to count: a tool that could not even start (no
// descriptors or processes left) says nothing about what is still in place.
bool CaptureRules::removeEverything(std::uint32_t mark, int routeTable, std::string& error) {
  const std::string table = kTable;
  bool clean = true;
  const auto listed = runProgram({"nft", "list", "table", "inet", table});
  if (!listed) {
    error = "nft list table inet " + table + " could not run";
    clean = false;
  } else if (listed->exitCode == 0) {
    clean = run({"nft", "delete", "table", "inet", table}, error) && clean;
  }
  for (const bool six : {false, true}) {
    // A rule added twice (a crash between two runs) is deleted as often as it is there; the
    // last attempt must have run and found none.
    bool ruleGone = false;
    for (int i = 0; i < 16 && !ruleGone; ++i) {
      const auto result = runProgram({"ip", familyFlag(six), "rule", "del", "fwmark", hex(mark), "lookup",
                                      std::to_string(routeTable)});
      if (!result) break;
      ruleGone = result->exitCode != 0;
    }
    if (!ruleGone) {
      error = std::string("ip ") + familyFlag(six) + " rule del fwmark " + hex(mark) + " did not finish";
      clean = false;
    }
    // Flushing a table that does not exist (IPv6 off) fails, and is not an error worth keeping
    // the journal for; a flush that could not run is.
    if (!runProgram({"ip", familyFlag(six), "route", "flush", "table", std::to_string(routeTable)})) {
      error = std::string("ip ") + familyFlag(six) + " route flush could not run";
      clean = false;
    }
  }
  return clean;
}

bool loopbackIpv6Available() {
  engine::UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return false;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  return ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace helmsey::tunnel
