// Which rule-list entries the editor takes and the tunnel configuration routes: ordinary host
// names and addresses in the forms people write them, and nothing the engine cannot take.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/engine/V2rayConfig.h"
#include "services/connection/RuleEntry.h"
#include "ui/connection/ProxyRulesModel.h"

namespace {

using tarnel::RuleEntryKind;
using tarnel::ruleEntryKind;

TEST(RuleEntry, TakesHostNamesAndAddressesPeopleWrite) {
  struct Case {
    std::string entry;
    RuleEntryKind kind;
  };
  const std::vector<Case> accepted{
      {"192.168.1.1", RuleEntryKind::address},
      {"0.0.0.0", RuleEntryKind::address},
      {"255.255.255.255", RuleEntryKind::address},
      {"2001:0db8:0000:0000:0000:ff00:0042:8329", RuleEntryKind::address},
      {"2001:db8::ff00:42:8329", RuleEntryKind::address},
      {"::1", RuleEntryKind::address},
      {"fe80::", RuleEntryKind::address},
      {"example.com", RuleEntryKind::domain},
      {"www.example.co.uk", RuleEntryKind::domain},
      {"Mixed.Case.ORG", RuleEntryKind::domain},
      // Digits and hyphens belong in any label, not only the first.
      {"cdn1.static-assets.example.com", RuleEntryKind::domain},
      {"a1.b2", RuleEntryKind::domain},
      {"123.example.com", RuleEntryKind::domain},
      {"host.xn--p1ai", RuleEntryKind::domain},
      // Internationalised names go through IDNA.
      {"bücher.de", RuleEntryKind::domain},
      {"пример.рф", RuleEntryKind::domain},
      {"例子.测试", RuleEntryKind::domain},
  };
  for (const auto& [entry, kind] : accepted) {
    const auto got = ruleEntryKind(entry);
    ASSERT_TRUE(got.has_value()) << entry;
    EXPECT_EQ(*got, kind) << entry;
  }
}

TEST(RuleEntry, RefusesWhatTheEngineCannotRoute) {
  const std::vector<std::string> refused{
      "", "256.1.1.1", "1.2.3.256", "1.2.3", "1.2.3.4.5",
      // The engine's address parser refuses leading zeros.
      "192.168.001.001",
      // Patterns, ports, blocks, zones, brackets, IPv4 inside IPv6.
      "*.example.com", "example.com:443", "1.2.3.4:80", "10.0.0.0/8", "2001:db8::/32", "fe80::1%eth0", "[::1]",
      "::ffff:1.2.3.4", "2001:db8::1::2",
      // Single labels, empty labels, hyphens at a label's ends, other characters.
      "localhost", "example.com.", ".example.com", "a..b.com", "-bad.com", "bad-.com", "a.-b.com", "a_b.com",
      "exa mple.com", "http://example.com",
      // Blanks are never trimmed.
      " example.com", "example.com ", "example.com\t", "example.com\r",
      // Too long: a 64-character label.
      std::string(64, 'a') + ".com"};
  for (const auto& entry : refused) EXPECT_FALSE(ruleEntryKind(entry).has_value()) << "[" << entry << "]";
}

TEST(RuleEntry, EveryAcceptedNameIsOneTheEngineRoutes) {
  // The editor must never let through a name the tunnel configuration would then refuse.
  for (const std::string entry : {"bücher.de", "例子.测试", "Mixed.Case.ORG", "a1.b2", "x-y.z-w.example"}) {
    ASSERT_EQ(ruleEntryKind(entry), RuleEntryKind::domain) << entry;
    EXPECT_TRUE(helmsey::engine::domainRule(tarnel::idnaEncoded(entry)).has_value()) << entry;
  }
  EXPECT_EQ(tarnel::idnaEncoded("bücher.de"), "xn--bcher-kva.de");
}

TEST(RuleEntries, KeepTheTypedOrderAndDropBlankLinesAndRepeats) {
  using lumora::ProxyRulesModel;
  struct Case {
    QString text;
    QStringList entries;
  };
  const std::vector<Case> cases{
      {"", {}},
      {"\n\n", {}},
      {"z.com\na.com", {"z.com", "a.com"}},
      {"b.com\na.com\n\nb.com\nc.com\na.com\n", {"b.com", "a.com", "c.com"}},
      // Taken as typed: a blank makes another entry, and case is kept.
      {"a.com\n a.com\nA.com", {"a.com", " a.com", "A.com"}},
  };
  for (const auto& [text, entries] : cases) EXPECT_EQ(ProxyRulesModel::entriesOf(text), entries) << text.toStdString();
}

}  // namespace
