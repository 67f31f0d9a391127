#pragma once

#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <vector>

#include "services/model/DeviceModels.h"

namespace lumora {

// The one model of the account's bound devices, shared by the sign-in page (which fills it when
// the service refuses a sign-in for the device limit) and the device pages. The composition
// root (or a test) builds it and installs it; GUI thread only.
class DeviceManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QVariantList devices READ devicesValue NOTIFY devicesChanged)
  Q_PROPERTY(bool isLogin READ isLogin WRITE setIsLogin NOTIFY isLoginChanged)

 public:
  explicit DeviceManager(QObject* parent);
  static DeviceManager* create(QQmlEngine* qml, QJSEngine* js);

  const std::vector<tarnel::Devices>& devices() const { return devices_; }
  void setDevices(std::vector<tarnel::Devices> devices);
  // True while `devices` holds the list that came with a sign-in refused for the device limit.
  bool isLogin() const { return isLogin_; }
  void setIsLogin(bool on);

  // QML: one map per device with the service's field names.
  QVariantList devicesValue() const;

 signals:
  void devicesChanged();
  void isLoginChanged();

 private:
  std::vector<tarnel::Devices> devices_;
  bool isLogin_ = false;
};

}  // namespace lumora
