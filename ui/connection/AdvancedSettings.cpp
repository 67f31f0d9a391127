#include "ui/connection/AdvancedSettings.h"

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

AdvancedSettings::AdvancedSettings(Services services, AppStateManager& state, QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state) {
  QObject::connect(&state_, &AppStateManager::liveChanged, this, &AdvancedSettings::showDeleteAccountChanged);
}

AdvancedSettings* AdvancedSettings::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<AdvancedSettings>::forQml(qml, js);
}

QStringList AdvancedSettings::dnsChoices() const {
  QStringList choices;
  if (!services_.engine) return choices;
  for (const auto& server : services_.engine->dnsServers()) choices.push_back(QString::fromStdString(server));
  return choices;
}

QStringList AdvancedSettings::strategyChoices() {
  return {QStringLiteral("UseIPv4"), QStringLiteral("UseIP"), QStringLiteral("UseIPv6")};
}

bool AdvancedSettings::showTerminalProxy() const { return !isAppStoreBuild(); }

bool AdvancedSettings::showDeleteAccount() const { return isAppStoreBuild() && !state_.live().link.show; }

}  // namespace lumora
