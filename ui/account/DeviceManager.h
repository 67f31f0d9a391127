#pragma once

#include <QDateTime>
#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/DeviceModels.h"
#include "services/model/LiveModels.h"

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
  Q_PROPERTY(QString editId READ editId WRITE setEditId NOTIFY editIdChanged)

 public:
  explicit DeviceManager(QObject* parent);
  static DeviceManager* create(QQmlEngine* qml, QJSEngine* js);

  const std::vector<tarnel::Devices>& devices() const { return devices_; }
  void setDevices(std::vector<tarnel::Devices> devices);
  // True while `devices` holds the list that came with a sign-in refused for the device limit.
  bool isLogin() const { return isLogin_; }
  void setIsLogin(bool on);
  // The device whose row is renaming; empty for none, so at most one row edits at a time.
  QString editId() const { return editId_; }
  void setEditId(const QString& id);
  // Drops every device with this identity.
  void removeDevice(const std::string& deviceId);
  // The sign-in flow is over (a device unbound, or its page left): the refused account's list
  // goes with it, so the next device page fetches the signed-in account's own.
  // `flow`: only that flow (signInFlow() when its page showed); none: whichever flow runs.
  void endSignInMode(std::optional<std::uint64_t> flow = std::nullopt);
  // Counts the sign-in flows: each setIsLogin(true) starts a new one.
  std::uint64_t signInFlow() const { return signInFlow_; }
  // The signed-in account is now `userId`: another account's list (and a load still on its way
  // for it) goes. The list of a refused sign-in stays while that flow lasts.
  void setAccount(const std::string& userId);

  // Loads overlap (a page shown twice in a row): each load takes a ticket, and only the answer
  // of the newest ticket is published, whatever order the answers arrive in.
  std::uint64_t beginLoad() { return ++loadTicket_; }
  std::uint64_t latestLoad() const { return loadTicket_; }
  // Publishes `devices` in display order when `ticket` is the newest; false when it was dropped.
  bool finishLoad(std::uint64_t ticket, std::vector<tarnel::Devices> devices, const std::string& thisDeviceId);

  // The running device first, then the latest activity first; stable for equal entries.
  static void sortForDisplay(std::vector<tarnel::Devices>& devices, const std::string& thisDeviceId);
  // A service time stamp ("2024-05-01T10:00:00.000Z", UTC); none for any other form.
  static std::optional<QDateTime> parseDate(const QString& text);
  // The device counts the account may upgrade to: the service's comma-separated list, those
  // above the present limit, in the service's order; none when any piece is not an integer.
  static std::vector<std::int64_t> deviceCounts(const tarnel::Live& live);

  // QML: one map per device with the service's field names.
  QVariantList devicesValue() const;

 signals:
  void devicesChanged();
  void isLoginChanged();
  void editIdChanged();

 private:
  std::vector<tarnel::Devices> devices_;
  bool isLogin_ = false;
  QString editId_;
  std::uint64_t loadTicket_ = 0;
  std::string account_;
  std::uint64_t signInFlow_ = 0;
};

}  // namespace lumora
