#include "core/CoreManager.h"

#include <mutex>
#include <sstream>

#include "core/CrashCapture.h"
#include "core/EngineEnvironment.h"
#include "core/SwitchManager.h"
#include "core/engine/ChildProcess.h"
#include "core/engine/Engine.h"
#include "core/engine/EngineLog.h"
#include "core/engine/ProgramRunner.h"

namespace helmsey {
namespace {

std::mutex& environmentMutex() {
  static std::mutex mutex;
  return mutex;
}

EngineEnvironment& environmentStore() {
  static EngineEnvironment environment;
  return environment;
}

}  // namespace

void setEngineEnvironment(EngineEnvironment environment) {
  std::lock_guard lock(environmentMutex());
  environmentStore() = std::move(environment);
}

EngineEnvironment engineEnvironment() {
  std::lock_guard lock(environmentMutex());
  return environmentStore();
}

void CoreManager::startVPN(const nlohmann::ordered_json& configuration, bool reconnect, bool systemProxy,
                           bool commandLineProxy, VPNStatusCallback callback) {
  engine::Engine::shared().start(configuration, reconnect, systemProxy, commandLineProxy, std::move(callback));
}

void CoreManager::stopVPN(VPNStatusCallback callback) { engine::Engine::shared().stop(std::move(callback)); }

std::uint64_t CoreManager::newestConnection() { return engine::Engine::shared().newestConnection(); }

std::uint64_t CoreManager::startVPNAfter(std::uint64_t after, const nlohmann::ordered_json& configuration,
                                         bool reconnect, bool systemProxy, bool commandLineProxy,
                                         VPNStatusCallback callback) {
  return engine::Engine::shared().startAfter(after, configuration, reconnect, systemProxy, commandLineProxy,
                                             std::move(callback));
}

void CoreManager::stopVPN(std::uint64_t connection, VPNStatusCallback callback) {
  engine::Engine::shared().stopConnection(connection, std::move(callback));
}

void CoreManager::prepare() { engine::Engine::shared().waitUntilRecovered(std::chrono::seconds(10)); }

StartFailure CoreManager::startFailure() { return engine::Engine::shared().startFailure(); }

VPNStatus CoreManager::status() { return engine::Engine::shared().status(); }

void CoreManager::setStatus(VPNStatus status) {
  if (status == VPNStatus::disconnected) engine::Engine::shared().cancel();
}

std::uint16_t CoreManager::httpPort() { return engine::Engine::shared().httpEndpoint().port; }
std::uint16_t CoreManager::socksPort() { return engine::Engine::shared().socksEndpoint().port; }
std::uint16_t CoreManager::switchPort() { return SwitchManager::shared().port(); }

bool CoreManager::isTun() { return engine::Engine::shared().tunnelMode(); }
void CoreManager::setIsTun(bool on) { engine::Engine::shared().setTunnelMode(on); }

std::string CoreManager::coreVersion() {
  // "V2Ray 4.34.0 (user) 20230518-074445 (go1.19.8 linux/amd64)": the second word.
  const auto program = engine::findProgram(engineEnvironment().v2rayProgram);
  if (!program) return {};
  const auto result = engine::runProgram({program->string(), "-version"});
  if (!result || result->exitCode != 0) return {};
  std::istringstream words(result->output);
  std::string name, version;
  words >> name >> version;
  return version;
}

std::string CoreManager::getLog(LogType type) {
  switch (type) {
    case LogType::core: return engine::coreLog().text();
    case LogType::crash: return crashReportText();
  }
  return {};
}

}  // namespace helmsey
