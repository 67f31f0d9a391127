#include "core/engine/SystemProxy.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/engine/ChildProcess.h"
#include "core/engine/EngineLog.h"
#include "core/engine/ProgramRunner.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedJson.h"

namespace helmsey::engine {
namespace {

constexpr const char* kGnome = "gnome";
constexpr const char* kKde = "kde";

std::string valueOf(const std::vector<DesktopSetting>& settings, std::string_view scope, std::string_view key) {
  for (const auto& setting : settings) {
    if (setting.scope == scope && setting.key == key) return setting.value;
  }
  return {};
}

bool isLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

class GnomeProxy final : public DesktopProxy {
 public:
  std::string name() const override { return kGnome; }

  std::optional<std::vector<DesktopSetting>> read() const override {
    std::vector<DesktopSetting> settings = target(Endpoint{}, Endpoint{});
    for (auto& setting : settings) {
      const auto result = runProgram({"gsettings", "get", setting.scope, setting.key});
      if (!result || result->exitCode != 0) return std::nullopt;
      setting.value = trim(result->output);
    }
    return settings;
  }

  // Hosts and ports first, the mode last: a program that sees "manual" finds the rest ready.
  std::vector<DesktopSetting> target(const Endpoint& http, const Endpoint& socks) const override {
    const std::string httpHost = quote(http.address);
    const std::string socksHost = quote(socks.address);
    return {
        {"org.gnome.system.proxy.http", "host", httpHost},
        {"org.gnome.system.proxy.http", "port", std::to_string(http.port)},
        {"org.gnome.system.proxy.https", "host", httpHost},
        {"org.gnome.system.proxy.https", "port", std::to_string(http.port)},
        {"org.gnome.system.proxy.socks", "host", socksHost},
        {"org.gnome.system.proxy.socks", "port", std::to_string(socks.port)},
        {"org.gnome.system.proxy", "mode", "'manual'"},
    };
  }

  bool pointsAtLocalProxy(const std::vector<DesktopSetting>& current) const override {
    return valueOf(current, "org.gnome.system.proxy", "mode") == "'manual'" &&
           isLoopbackHost(unquote(valueOf(current, "org.gnome.system.proxy.http", "host")));
  }

  std::vector<DesktopSetting> off() const override { return {{"org.gnome.system.proxy", "mode", "'none'"}}; }

  bool write(const std::vector<DesktopSetting>& settings) const override {
    bool ok = true;
    for (const auto& setting : settings) {
      const auto result = runProgram({"gsettings", "set", setting.scope, setting.key, setting.value});
      if (!result || result->exitCode != 0) {
        note("gsettings could not set " + setting.scope + " " + setting.key);
        ok = false;
      }
    }
    return ok;
  }

 private:
  static std::string quote(const std::string& text) { return "'" + text + "'"; }
  static std::string unquote(std::string text) {
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') text = text.substr(1, text.size() - 2);
    return text;
  }
  static std::string trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
  }
};

class KdeProxy final : public DesktopProxy {
 public:
  std::string name() const override { return kKde; }

  std::optional<std::vector<DesktopSetting>> read() const override {
    std::vector<DesktopSetting> settings = target(Endpoint{}, Endpoint{});
    for (auto& setting : settings) {
      const auto result = runProgram({"kreadconfig5", "--file", kFile, "--group", setting.scope, "--key", setting.key});
      if (!result || result->exitCode != 0) return std::nullopt;
      std::string value = result->output;
      if (!value.empty() && value.back() == '\n') value.pop_back();
      setting.value = value;
    }
    return settings;
  }

  std::vector<DesktopSetting> target(const Endpoint& http, const Endpoint& socks) const override {
    // kioslaverc writes a proxy as "scheme://host port"; ProxyType 1 is the manual configuration.
    const std::string httpProxy = "http://" + http.address + " " + std::to_string(http.port);
    return {
        {kGroup, "httpProxy", httpProxy},
        {kGroup, "httpsProxy", httpProxy},
        {kGroup, "socksProxy", "socks://" + socks.address + " " + std::to_string(socks.port)},
        {kGroup, "ProxyType", "1"},
    };
  }

  bool pointsAtLocalProxy(const std::vector<DesktopSetting>& current) const override {
    // "http://127.0.0.1 8080": the host is between the scheme and the space.
    std::string proxy = valueOf(current, kGroup, "httpProxy");
    const std::size_t scheme = proxy.find("://");
    if (scheme != std::string::npos) proxy.erase(0, scheme + 3);
    return valueOf(current, kGroup, "ProxyType") == "1" && isLoopbackHost(proxy.substr(0, proxy.find(' ')));
  }

  std::vector<DesktopSetting> off() const override { return {{kGroup, "ProxyType", "0"}}; }

  bool write(const std::vector<DesktopSetting>& settings) const override {
    bool ok = true;
    for (const auto& setting : settings) {
      // An empty value was an absent key before: remove it rather than leave an empty one.
      std::vector<std::string> command{"kwriteconfig5", "--file", kFile, "--group", setting.scope, "--key", setting.key};
      if (setting.value.empty()) {
        command.push_back("--delete");
      } else {
        command.push_back(setting.value);
      }
      const auto result = runProgram(command);
      if (!result || result->exitCode != 0) {
        note("kwriteconfig5 could not set " + setting.key);
        ok = false;
      }
    }
    // Running KDE programs reread the proxy settings when told to.
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr) {
      runProgram({"dbus-send", "--type=signal", "/KIO/Scheduler", "org.kde.KIO.Scheduler.reparseSlaveConfiguration",
                  "string:"});
    }
    return ok;
  }

 private:
  static constexpr const char* kFile = "kioslaverc";
  static constexpr const char* kGroup = "Proxy Settings";
};

bool desktopIsKde() {
  const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
  if (desktops == nullptr) return false;
  std::string_view rest = desktops;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (rest.substr(0, colon) == "KDE") return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

nlohmann::json toJournal(const std::string& desktop, const std::vector<DesktopSetting>& settings) {
  nlohmann::json values = nlohmann::json::array();
  for (const auto& setting : settings) {
    values.push_back({{"scope", setting.scope}, {"key", setting.key}, {"value", setting.value}});
  }
  return {{"desktop", desktop}, {"settings", values}};
}

struct Journal {
  std::string desktop;                   // empty when it could not be read
  std::vector<DesktopSetting> settings;  // in the order they were set
  bool whole = false;                    // read as written, nothing lost
};

std::optional<DesktopSetting> settingFrom(const nlohmann::json& item) {
  if (!item.is_object()) return std::nullopt;
  const auto text = [&](const char* key) -> const nlohmann::json* {
    const auto found = item.find(key);
    return found != item.end() && found->is_string() ? &*found : nullptr;
  };
  const auto* scope = text("scope");
  const auto* key = text("key");
  const auto* value = text("value");
  if (scope == nullptr || key == nullptr || value == nullptr) return std::nullopt;
  return DesktopSetting{scope->get<std::string>(), key->get<std::string>(), value->get<std::string>()};
}

// What can be read from a journal. A damaged one is searched for the settings objects that
// are still whole (a flat object each, so an object without braces inside is one of them) and
// for the desktop's name.
Journal readJournal(const std::string& text) {
  Journal journal;
  // Bounded: a journal nested past any real depth is damage, not a reason to overflow the stack.
  const auto parsed = platform::parseJsonBounded<nlohmann::json>(text);
  const nlohmann::json json = parsed ? *parsed : nlohmann::json();
  if (json.is_object() && json.contains("desktop") && json["desktop"].is_string() && json.contains("settings") &&
      json["settings"].is_array()) {
    journal.desktop = json["desktop"].get<std::string>();
    journal.whole = true;
    for (const auto& item : json["settings"]) {
      if (auto setting = settingFrom(item)) {
        journal.settings.push_back(std::move(*setting));
      } else {
        journal.whole = false;
      }
    }
    return journal;
  }
  for (const char* name : {kGnome, kKde}) {
    if (text.find(std::string("\"desktop\":\"") + name + "\"") != std::string::npos) journal.desktop = name;
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = text.find('{', from);
    if (open == std::string::npos) break;
    const std::size_t close = text.find_first_of("{}", open + 1);
    if (close == std::string::npos) break;
    if (text[close] == '}') {
      const auto item = nlohmann::json::parse(text.substr(open, close - open + 1), nullptr, false);
      if (auto setting = settingFrom(item)) journal.settings.push_back(std::move(*setting));
      from = close + 1;
    } else {
      from = close;
    }
  }
  return journal;
}

// Keeps only settings the desktop's proxy is made of, so a damaged journal cannot write
// anything else.
std::vector<DesktopSetting> knownTo(const DesktopProxy& desktop, const std::vector<DesktopSetting>& settings) {
  const auto known = desktop.target(Endpoint{}, Endpoint{});
  std::vector<DesktopSetting> kept;
  for (const auto& setting : settings) {
    const bool ok = std::any_of(known.begin(), known.end(), [&](const DesktopSetting& k) {
      return k.scope == setting.scope && k.key == setting.key;
    });
    if (ok) kept.push_back(setting);
  }
  return kept;
}

// The lock of every journal of the process, and whether applies are still allowed. Reached from
// exit paths: never destroyed.
struct Changes {
  std::mutex mutex;
  std::atomic<bool> refused{false};
};

Changes& changes() {
  static auto* shared = new Changes;
  return *shared;
}

// Moves a damaged file out of the way under a name no earlier copy has.
std::filesystem::path setAside(const std::filesystem::path& file) {
  std::error_code error;
  for (int n = 1;; ++n) {
    std::filesystem::path target = file;
    target += n == 1 ? ".damaged" : ".damaged-" + std::to_string(n);
    if (std::filesystem::exists(target, error)) continue;
    std::filesystem::rename(file, target, error);
    if (error) std::filesystem::remove(file, error);
    return target;
  }
}

}  // namespace

std::unique_ptr<DesktopProxy> desktopProxyNamed(const std::string& name) {
  if (name == kGnome) return std::make_unique<GnomeProxy>();
  if (name == kKde) return std::make_unique<KdeProxy>();
  return nullptr;
}

std::unique_ptr<DesktopProxy> desktopProxyOrNone() {
  if (desktopIsKde() && findProgram("kreadconfig5") && findProgram("kwriteconfig5")) {
    return std::make_unique<KdeProxy>();
  }
  if (findProgram("gsettings")) return std::make_unique<GnomeProxy>();
  return nullptr;
}

bool SystemProxy::pending() const {
  std::error_code error;
  return std::filesystem::exists(journal_, error);
}

void SystemProxy::refuseChanges() { changes().refused = true; }

SystemProxy::Outcome SystemProxy::apply(const Endpoint& http, const Endpoint& socks) {
  std::lock_guard lock(changes().mutex);
  if (changes().refused) {
    note("the program is leaving; the system proxy is not set");
    return Outcome::failed;
  }
  // A journal left by a run that died holds the values from before that run: restore them
  // first, and never replace them with values that may still be ours.
  if (!restoreLocked()) {
    note("the desktop proxy from an earlier run could not be restored; the system proxy is left alone");
    return Outcome::failed;
  }
  auto desktop = desktopProxyOrNone();
  if (!desktop) {
    note("no desktop proxy settings found (gsettings or kwriteconfig5); the system proxy is not set");
    return Outcome::noDesktop;
  }
  const auto previous = desktop->read();
  if (!previous) {
    note("the desktop proxy settings could not be read; the system proxy is not set");
    return Outcome::failed;
  }
  platform::ensureDirectory(journal_.parent_path());
  if (!platform::replaceFileAtomically(journal_, toJournal(desktop->name(), *previous).dump(), 0600)) {
    note("the system proxy journal could not be written; the system proxy is not set");
    return Outcome::failed;
  }
  if (!desktop->write(desktop->target(http, socks))) {
    note("the system proxy could be set only in part; putting the earlier values back");
    restoreLocked();
    return Outcome::failed;
  }
  note("system proxy set through " + desktop->name());
  return Outcome::set;
}

bool SystemProxy::restore() {
  std::lock_guard lock(changes().mutex);
  return restoreLocked();
}

bool SystemProxy::restoreLocked() {
  const auto content = platform::readWholeFile(journal_);
  if (!content) return !pending();
  Journal journal = readJournal(content->bytes);
  std::error_code ignored;
  auto desktop = desktopProxyNamed(journal.desktop);
  if (!desktop) desktop = desktopProxyOrNone();
  if (!desktop) {
    const auto aside = setAside(journal_);
    note("the system proxy journal names no desktop found here; set aside as " + aside.filename().string());
    return true;
  }
  const auto readable = knownTo(*desktop, journal.settings);
  if (journal.whole && journal.desktop == desktop->name() && readable.size() == journal.settings.size()) {
    // The mode goes back before the hosts and ports, the reverse of setting it.
    std::vector<DesktopSetting> reversed(journal.settings.rbegin(), journal.settings.rend());
    if (!desktop->write(reversed)) {
      note("the system proxy could not be restored; will try again at the next start or stop");
      return false;
    }
    std::filesystem::remove(journal_, ignored);
    note("system proxy restored through " + desktop->name());
    return true;
  }

  const auto aside = setAside(journal_);
  note("the system proxy journal is damaged (" + std::to_string(readable.size()) +
       " settings readable); set aside as " + aside.filename().string());
  std::vector<DesktopSetting> reversed(readable.rbegin(), readable.rend());
  if (!reversed.empty() && !desktop->write(reversed)) note("the readable settings of the journal could not be restored");
  // Without the mode the hosts and ports alone say nothing: unless the desktop's proxy has
  // been switched elsewhere meanwhile, it still points at our dead port.
  const DesktopSetting mode = desktop->off().front();
  const bool modeRestored = std::any_of(readable.begin(), readable.end(), [&](const DesktopSetting& setting) {
    return setting.scope == mode.scope && setting.key == mode.key;
  });
  const auto current = modeRestored ? std::nullopt : desktop->read();
  if (current && desktop->pointsAtLocalProxy(*current)) {
    note("the desktop still points at a local proxy; switching the system proxy off");
    if (!desktop->write(desktop->off())) note("the system proxy could not be switched off");
  }
  return true;
}

}  // namespace helmsey::engine
