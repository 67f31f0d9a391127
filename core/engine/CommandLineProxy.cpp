#include "core/engine/CommandLineProxy.h"

#include <atomic>
#include <string>

#include "core/engine/EngineLog.h"
#include "platform/AtomicFile.h"

namespace helmsey::engine {
namespace {

std::atomic<bool> writesRefused{false};

}  // namespace

void CommandLineProxy::refuseWrites() { writesRefused = true; }

bool CommandLineProxy::write(const Endpoint& http, const Endpoint& socks) const {
  if (writesRefused) {
    note("the program is leaving; the command-line proxy file is not written");
    return false;
  }
  const std::string httpUrl = "http://" + http.address + ":" + std::to_string(http.port);
  const std::string socksUrl = "socks5://" + socks.address + ":" + std::to_string(socks.port);
  std::string text = "# Written while Tarnel is connected; removed when it disconnects.\n";
  const auto line = [&text](const char* name, const std::string& value) {
    text += "export " + std::string(name) + "='" + value + "'\n";
  };
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"}) line(name, httpUrl);
  for (const char* name : {"all_proxy", "ALL_PROXY"}) line(name, socksUrl);
  for (const char* name : {"no_proxy", "NO_PROXY"}) line(name, "localhost,127.0.0.1,::1");
  platform::ensureDirectory(file_.parent_path());
  if (!platform::replaceFileAtomically(file_, text, 0600)) {
    note("the command-line proxy file could not be written: " + file_.string());
    return false;
  }
  note("command-line proxy: . " + file_.string());
  return true;
}

void CommandLineProxy::remove() const {
  std::error_code ignored;
  std::filesystem::remove(file_, ignored);
}

}  // namespace helmsey::engine
