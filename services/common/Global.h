#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "services/base/VPNProtocol.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "services/model/NodeModels.h"
#include "services/model/RuleModels.h"

namespace tarnel {

// The process-wide state of the service library: who is signed in, what the server last said
// about the account and its settings, the languages, the server-adjusted clock and the lists
// the sign-in form and the connection logic need.
//
// Every member may be read and written from any thread. Reads give copies. Members kept in the
// settings store are loaded from it on first use (once) and written back on every assignment;
// assignments of the stored members are serialised, and the loginInfo assignment publishes the
// login, the country map and the tag ids together, so no reader sees one without the others.
class Global {
 public:
  Global() = delete;

  // Signed-in user's identifier; while empty, every read looks in the store again.
  static std::string userId();
  static void setUserId(const std::string& value);

  // Kind of the link the computer is online through ("Unknown" until the monitor says).
  static std::string networkType();
  static void setNetworkType(const std::string& value);

  // MD5 of the device identifier in UUID form (8-4-4-4-12 lowercase hexadecimal digits).
  static std::string userUID();

  // Application language: the stored choice when there is one, else from the locale
  // ("zh-Hans", "zh-Hant" or "en"). Assigning stores the choice.
  static std::string language();
  static void setLanguage(const std::string& value);
  // "zh" for either Chinese, else "en".
  static std::string apiLanguage();

  // Wall clock in whole milliseconds since 1970 plus the server clock offset.
  static std::int64_t currentTimeMillisecondsSinceEpoch();
  // Milliseconds the server's clock is ahead of ours, 0 until a request's time stamp is refused.
  static std::int64_t serverTimeOffset();
  static void setServerTimeOffset(std::int64_t milliseconds);

  static std::map<std::string, Country> countryMap();
  static void setCountryMap(const std::map<std::string, Country>& value);

  // The current sign-in result (the stored one, or the default, until one is assigned).
  static Login loginInfo();
  // Replaces the login and, in one step: stores it and its user id, adds its new countries to
  // the country map, rebuilds the tag ids, lets node selection drop a current tag that is no
  // longer offered, and records a verified account in the sign-in history.
  static void setLoginInfo(const Login& value);
  // An in-place change of the login, with the same effect as assigning the changed whole value;
  // no other assignment can come between the read and the write. `change` must not assign
  // members of Global.
  static void modifyLoginInfo(const std::function<void(Login&)>& change);

  // The login's tags that some country of the login carries, in the login's order.
  static std::vector<Tag> allTags();
  // The server's available protocols (unknown codes as AUTO), without the VMess variants while
  // the server clock offset is not 0.
  static std::vector<VPNProtocol> availableProtocols();
  // The protocols the server prefers, in our fixed order; the VMess variants only while the
  // server clock offset is 0.
  static std::vector<VPNProtocol> protocolPriority();

  static Domains domains();
  static void setDomains(const Domains& value);

  static Live live();
  static void setLive(const Live& value);
  // Changes the status in place, as one step against concurrent assignments. `change` runs with
  // Global's lock held: it must not call Global.
  static void modifyLive(const std::function<void(Live&)>& change);

  // The user's routing rule (stored as JSON text).
  static ProxyRule proxyRule();
  static void setProxyRule(const ProxyRule& value);

  // Accounts that signed in before, oldest first, at most three; read from the store each time.
  static std::vector<std::string> historyAccount();

  // Mail domains offered by the sign-in form: the stored list, or the built-in one while that
  // is empty. An empty assignment is ignored.
  static std::vector<std::string> emailSuffix();
  static void setEmailSuffix(const std::vector<std::string>& value);

  // "Clear Cache": empties the settings store and puts every stored member back to what an
  // empty store gives (no account, no status, no rules, no history), so that nothing written
  // afterwards brings back part of what was cleared. The clock offset and the network type are
  // not stored and stay. False when the store could not be emptied (memory is reset all the same).
  static bool clearStoredState();

  // Hook installed by node selection: given the tag ids of a newly assigned login, it clears
  // its current tag when that tag's id is not among them. Runs on the assigning thread with no
  // lock of Global held (it may read Global, but must not assign loginInfo). Until one is
  // installed, the assignment clears the stored current tag (CURRENT_TAG) itself.
  using CurrentTagCheck = std::function<void(const std::unordered_set<std::int64_t>& tagIds)>;
  static void setCurrentTagCheck(CurrentTagCheck check);

  // Test seams: the wall clock and the locale identifier ("zh_CN", "en_US", ...). An empty
  // function restores the system's.
  static void setClockForTesting(std::function<std::chrono::system_clock::time_point()> clock);
  static void setLocaleForTesting(std::function<std::string()> localeIdentifier);
};

}  // namespace tarnel
