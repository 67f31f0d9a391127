#include "core/engine/SystemProxy.h"

#include <cstdlib>
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

bool fromJournal(const std::string& text, std::string& desktop, std::vector<DesktopSetting>& settings) {
  const auto parsed = platform::parseJsonBounded<nlohmann::json>(text);
  if (!parsed) return false;
  const nlohmann::json& json = *parsed;
  if (!json.is_object() || !json.contains("desktop") || !json["desktop"].is_string() || !json.contains("settings") ||
      !json["settings"].is_array()) {
    return false;
  }
  desktop = json["desktop"].get<std::string>();
  for (const auto& item : json["settings"]) {
    if (!item.is_object() || !item.contains("scope") || !item.contains("key") || !item.contains("value") ||
        !item["scope"].is_string() || !item["key"].is_string() || !item["value"].is_string()) {
      return false;
    }
    settings.push_back({item["scope"].get<std::string>(), item["key"].get<std::string>(),
                        item["value"].get<std::string>()});
  }
  return true;
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

bool SystemProxy::apply(const Endpoint& http, const Endpoint& socks) {
  // A journal left by a run that died holds the values from before that run: restore them
  // first, and never replace them with values that may still be ours.
  if (!restore()) {
    note("the desktop proxy from an earlier run could not be restored; the system proxy is left alone");
    return false;
  }
  auto desktop = desktopProxyOrNone();
  if (!desktop) {
    note("no desktop proxy settings found (gsettings or kwriteconfig5); the system proxy is not set");
    return false;
  }
  const auto previous = desktop->read();
  if (!previous) {
    note("the desktop proxy settings could not be read; the system proxy is not set");
    return false;
  }
  platform::ensureDirectory(journal_.parent_path());
  if (!platform::replaceFileAtomically(journal_, toJournal(desktop->name(), *previous).dump(), 0600)) {
    note("the system proxy journal could not be written; the system proxy is not set");
    return false;
  }
  if (!desktop->write(desktop->target(http, socks))) {
    note("the system proxy was set only in part");
  }
  note("system proxy set through " + desktop->name());
  return true;
}

bool SystemProxy::restore() {
  const auto content = platform::readWholeFile(journal_);
  if (!content) return !pending();
  std::string name;
  std::vector<DesktopSetting> settings;
  std::error_code ignored;
  if (!fromJournal(content->bytes, name, settings)) {
    note("the system proxy journal is unreadable and is dropped");
    std::filesystem::remove(journal_, ignored);
    return true;
  }
  const auto desktop = desktopProxyNamed(name);
  if (!desktop) {
    note("the system proxy journal names an unknown desktop and is dropped");
    std::filesystem::remove(journal_, ignored);
    return true;
  }
  // The mode goes back before the hosts and ports, the reverse of setting it.
  std::vector<DesktopSetting> reversed(settings.rbegin(), settings.rend());
  if (!desktop->write(reversed)) {
    note("the system proxy could not be restored; will try again at the next start or stop");
    return false;
  }
  std::filesystem::remove(journal_, ignored);
  note("system proxy restored through " + desktop->name());
  return true;
}

}  // namespace helmsey::engine
