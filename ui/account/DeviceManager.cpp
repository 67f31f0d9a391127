#include "ui/account/DeviceManager.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <QVariantMap>

#include <algorithm>
#include <charconv>
#include <string_view>

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
  if (on) ++signInFlow_;
  emit isLoginChanged();
}

void DeviceManager::setEditId(const QString& id) {
  if (editId_ == id) return;
  editId_ = id;
  emit editIdChanged();
}

void DeviceManager::removeDevice(const std::string& deviceId) {
  const auto before = devices_.size();
  std::erase_if(devices_, [&](const tarnel::Devices& device) { return device.device_id == deviceId; });
  if (devices_.size() != before) emit devicesChanged();
}

void DeviceManager::endSignInMode(std::optional<std::uint64_t> flow) {
  if (!isLogin_ || (flow && *flow != signInFlow_)) return;
  setEditId(QString());
  setDevices({});
  setIsLogin(false);
}

void DeviceManager::setAccount(const std::string& userId) {
  if (userId == account_) return;
  account_ = userId;
  if (isLogin_) return;
  ++loadTicket_;  // a load asked for the earlier account publishes nothing
  setEditId(QString());
  if (!devices_.empty()) setDevices({});
}

bool DeviceManager::finishLoad(std::uint64_t ticket, std::vector<tarnel::Devices> devices,
                               const std::string& thisDeviceId) {
  if (ticket != loadTicket_) return false;
  sortForDisplay(devices, thisDeviceId);
  setDevices(std::move(devices));
  return true;
}

std::optional<QDateTime> DeviceManager::parseDate(const QString& text) {
  // Date and time are read apart and put together in UTC: read as one local date-time, a stamp
  // that falls in the local clock's daylight-saving gap (a time that never happened here) would
  // not parse, or come out an hour off.
  static const QRegularExpression form(
      QRegularExpression::anchoredPattern(QStringLiteral("(\\d{4}-\\d{2}-\\d{2})T(\\d{2}:\\d{2}:\\d{2}\\.\\d{3})Z")));
  const QRegularExpressionMatch match = form.match(text);
  if (!match.hasMatch()) return std::nullopt;
  const QDate date = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
  const QTime time = QTime::fromString(match.captured(2), QStringLiteral("HH:mm:ss.zzz"));
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  return QDateTime(date, time, QTimeZone::utc());
}

void DeviceManager::sortForDisplay(std::vector<tarnel::Devices>& devices, const std::string& thisDeviceId) {
  std::stable_sort(devices.begin(), devices.end(), [&](const tarnel::Devices& a, const tarnel::Devices& b) {
    const bool aHere = a.device_id == thisDeviceId;
    const bool bHere = b.device_id == thisDeviceId;
    if (aHere || bHere) return aHere && !bHere;
    const auto aDate = parseDate(QString::fromStdString(a.updated_at));
    const auto bDate = parseDate(QString::fromStdString(b.updated_at));
    if (aDate && bDate) return *aDate > *bDate;
    return a.updated_at > b.updated_at;
  });
}

namespace {

// A decimal integer with an optional sign and nothing else (no blanks).
std::optional<std::int64_t> strictInteger(std::string_view piece) {
  bool plus = false;
  if (!piece.empty() && piece.front() == '+') {
    piece.remove_prefix(1);
    plus = true;
  }
  if (piece.empty() || (plus && piece.front() == '-')) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  if (error != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::int64_t> DeviceManager::deviceCounts(const tarnel::Live& live) {
  if (!live.other.device_count_list) return {};
  const std::string_view text = *live.other.device_count_list;
  std::vector<std::int64_t> counts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view piece = text.substr(start, comma - start);
    start = comma + 1;
    if (piece.empty()) continue;
    const auto value = strictInteger(piece);
    if (!value) return {};
    if (*value > live.device_count) counts.push_back(*value);
  }
  return counts;
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
