#include "services/log/ReportData.h"

#include <utility>

#include "core/CoreManager.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/log/PrimaryDns.h"
#include "services/model/TextFormat.h"

namespace tarnel {
namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += separator;
    text += parts[i];
  }
  return text;
}

}  // namespace

ReportNodeInfo::ReportNodeInfo(std::string id, std::string name, std::string protocal, std::string region,
                               std::vector<std::int64_t> tag, std::string host, std::string server,
                               std::string domain, std::optional<OpenTrun> turn, std::int64_t port,
                               std::int64_t port_turn, ReportResponses port_test, ReportResponses open,
                               ReportResponses test)
    : id(std::move(id)),
      name(std::move(name)),
      protocol(std::move(protocal)),
      region(std::move(region)),
      tag(std::move(tag)),
      host(std::move(host)),
      server(std::move(server)),
      domain(std::move(domain)),
      turn(std::move(turn)),
      port(port),
      port_turn(port_turn),
      port_test(std::move(port_test)),
      open(std::move(open)),
      test(std::move(test)) {}

ReportSources ReportSources::current(VPNProtocol protocolSetup, VPNProtocol protocolUsed) {
  ReportSources sources;
  sources.now = std::chrono::system_clock::now();
  sources.app = AppInfo();
  sources.deviceId = DeviceInfo::ID();
  sources.deviceName = DeviceInfo::Name();
  sources.deviceModel = DeviceInfo::Model();
  sources.systemVersion = DeviceInfo::System();
  sources.networkType = Global::networkType();
  sources.dnsServers = primaryDNSServers();
  sources.userId = Global::userId();
  sources.login = Global::loginInfo();
  sources.protocolSetup = protocolSetup;
  sources.protocolUsed = protocolUsed;
  sources.coreVersion = helmsey::CoreManager::coreVersion();
  return sources;
}

ReportData ReportData::gather(const ReportSources& sources) {
  ReportData report;
  report.ver = sources.app.versionName;
  report.created_at = Date::format(sources.now, "yyyy-MM-dd HH:mm:ss");

  report.device.id = sources.deviceId;
  report.device.name = sources.deviceName;
  report.device.model = sources.deviceModel;

  report.soft = {{"os", {{"name", "darwin"}, {"ver", sources.systemVersion}}}};

  report.network.type = sources.networkType;
  report.network.dns = sources.dnsServers ? joined(*sources.dnsServers, ",") : std::string();

  // The sign-in answer's own expiry fields, not the ones inside its user record.
  report.user.id = sources.userId;
  report.user.mail = sources.login.user.email;
  report.user.expired = sources.login.expired;
  report.user.expired_vip = sources.login.expired_vip;
  report.user.expired_svip = sources.login.expired_svip;
  report.user.agent = sources.app.agent;
  report.user.visibility_svip = sources.login.user.visibility_svip;

  report.app.id = sources.app.appId;
  report.app.ver = sources.app.build;
  report.app.coreVer = sources.coreVersion;
  report.app.protocol_setup = std::string(Name(sources.protocolSetup));
  report.app.protocol_used = std::string(Name(sources.protocolUsed));
  return report;
}

}  // namespace tarnel
