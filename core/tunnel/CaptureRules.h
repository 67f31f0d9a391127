#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace helmsey::tunnel {

// The firewall and routing changes that steer the machine's TCP and UDP traffic into the
// engine's transparent inbound: an nftables table of our own (marks outgoing packets, then
// hands them to the inbound with TPROXY) and, per address family, one policy rule and one
// routing table that deliver marked packets locally.
//
// What is about to be changed is written to a journal (flushed) before it is changed, so that
// remove() after a crash of this process, or of the one before it, takes away exactly that.
class CaptureRules {
 public:
  static constexpr const char* kTable = "spindrift";
  static constexpr std::uint32_t kCaptureMark = 0x5d1;  // packets on their way to the inbound
  static constexpr std::uint32_t kBypassMark = 0x5d2;   // the engine's own connections
  static constexpr int kRouteTable = 5321;

  // `stateDirectory` holds the journal and the rule file; it must survive this process.
  explicit CaptureRules(std::filesystem::path stateDirectory);

  // Steers traffic to the inbound on 127.0.0.1:`port` (and [::1]:`port` with `ipv6`). On
  // failure, with `error`, whatever was applied is removed again.
  bool apply(std::uint16_t port, bool ipv6, std::string& error);
  // Removes what the journal names, if anything; true when nothing of it is left. When a tool
  // could not run, the journal stays (and false is returned) so that a later call tries again.
  bool remove();
  // At start: removes what the journal names or, with no journal, whatever of this build's
  // fixed-name table, policy rules and routing table is in place.
  bool removeLeftovers();
  bool pending() const;

  // The nftables ruleset apply() loads.
  static std::string ruleset(std::uint16_t port, bool ipv6);

 private:
  static bool removeEverything(std::uint32_t mark, int routeTable, std::string& error);

  std::filesystem::path journal_;
  std::filesystem::path ruleFile_;
};

// True when this machine can listen on ::1 (IPv6 is on for the loopback device).
bool loopbackIpv6Available();

}  // namespace helmsey::tunnel
