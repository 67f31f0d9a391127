#include "ui/account/DeviceManager.h"

#include <QVariantMap>

#include "ui/base/SharedInstance.h"

namespace lumora {

DeviceManager::DeviceManager(QObject* parent) : QObject(parent) {}

DeviceManager* DeviceManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<DeviceManager>::forQml(qml, js);
}

void DeviceManager::setDevices(std::vector<tarnel::Devices> devices) {
  devices_ = std::move(devices);
  emit devicesChanged();
}

void DeviceManager::setIsLogin(bool on) {
  if (isLogin_ == on) return;
  isLogin_ = on;
  emit isLoginChanged();
}

QVariantList DeviceManager::devicesValue() const {
  QVariantList list;
  for (const auto& device : devices_) {
    QVariantMap entry;
    entry.insert(QStringLiteral("device_id"), QString::fromStdString(device.device_id));
    entry.insert(QStringLiteral("device_name"), QString::fromStdString(device.device_name));
    entry.insert(QStringLiteral("device_model"), QString::fromStdString(device.device_model));
    entry.insert(QStringLiteral("platform"), QString::fromStdString(device.platform));
    entry.insert(QStringLiteral("updated_at"), QString::fromStdString(device.updated_at));
    list.push_back(entry);
  }
  return list;
}

}  // namespace lumora
