#include "core/CoreManager.h"
#include "core/SwitchManager.h"
#include "services/connection/ConnectionBackend.h"
#include "services/log/CloudLog.h"

namespace tarnel {
namespace {

class CoreConnectionBackend final : public ConnectionBackend {
 public:
  void startVPN(const Json& configuration, bool reconnect, bool systemProxy, bool commandLineProxy,
                StatusCallback callback) override {
    helmsey::CoreManager::startVPN(configuration, reconnect, systemProxy, commandLineProxy, std::move(callback));
  }
  void stopVPN(StatusCallback callback) override { helmsey::CoreManager::stopVPN(std::move(callback)); }
  void cancelVPN() override { helmsey::CoreManager::setStatus(helmsey::VPNStatus::disconnected); }
  helmsey::StartFailure startFailure() override { return helmsey::CoreManager::startFailure(); }
  std::uint16_t httpPort() override { return helmsey::CoreManager::httpPort(); }

  bool startSwitchListen(const Json& options) override { return helmsey::SwitchManager::shared().startListen(options); }
  void stopSwitchListen() override { helmsey::SwitchManager::shared().stopListen(); }

  void log(const std::map<std::string, std::string>& fields, LogTopic topic) override { CloudLog::log(fields, topic); }
};

}  // namespace

std::unique_ptr<ConnectionBackend> makeCoreConnectionBackend() { return std::make_unique<CoreConnectionBackend>(); }

}  // namespace tarnel
