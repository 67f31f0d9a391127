#include "ui/account/DeviceListModel.h"

#include <QRegularExpression>

#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

DeviceListModel::DeviceListModel(QObject* parent) : DeviceListModel(SharedInstance<AccountContext>::get(), parent) {}

DeviceListModel::DeviceListModel(AccountContext* context, QObject* parent)
    : QAbstractListModel(parent), context_(context), manager_(context ? &context->devices() : nullptr) {
  if (!context_) return;
  connect(manager_, &DeviceManager::devicesChanged, this, &DeviceListModel::reset);
  connect(manager_, &DeviceManager::isLoginChanged, this, &DeviceListModel::isLoginChanged);
  connect(manager_, &DeviceManager::isLoginChanged, this, &DeviceListModel::reset);
  connect(manager_, &DeviceManager::editIdChanged, this, &DeviceListModel::editIdChanged);
  connect(manager_, &DeviceManager::editIdChanged, this, [this] {
    if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1), {EditingRole, DraftRole});
  });
  connect(&context_->state(), &AppStateManager::liveChanged, this, &DeviceListModel::liveChanged);
}

DeviceListModel::~DeviceListModel() {
  if (signInFlow_ && manager_) manager_->endSignInMode(*signInFlow_);
}

void DeviceListModel::reset() {
  beginResetModel();
  endResetModel();
  emit countChanged();
}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !manager_) return 0;
  return static_cast<int>(manager_->devices().size());
}

const tarnel::Devices* DeviceListModel::deviceAt(int row) const {
  if (!manager_ || row < 0 || row >= rowCount()) return nullptr;
  return &manager_->devices()[static_cast<std::size_t>(row)];
}

QString DeviceListModel::shownName(const tarnel::Devices& device) const {
  const QString id = QString::fromStdString(device.device_id);
  if (const auto found = renamed_.constFind(id); found != renamed_.constEnd()) return *found;
  return QString::fromStdString(device.device_desc.value_or(device.device_name));
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
  const tarnel::Devices* device = deviceAt(index.row());
  if (!device || !index.isValid()) return {};
  const QString id = QString::fromStdString(device->device_id);
  switch (role) {
    case DeviceIdRole: return id;
    case PlatformRole:
      return localized(QString::fromUtf8(QT_TRID_NOOP("%@(app_version:%lld)")))
          .arg(platformName(device->platform))
          .arg(device->version);
    case IconRole: return platformIcon(device->platform);
    case ModelRole: return QString::fromStdString(device->device_model);
    case NameRole: return shownName(*device);
    case DraftRole: return drafts_.value(id, shownName(*device));
    case CreatedRole: return displayDate(device->created_at);
    case UpdatedRole: return displayDate(device->updated_at);
    case CurrentRole: return device->device_id == thisDeviceId_;
    case EditingRole: return !id.isEmpty() && manager_->editId() == id;
    default: return {};
  }
}

QHash<int, QByteArray> DeviceListModel::roleNames() const {
  return {{DeviceIdRole, "deviceId"}, {PlatformRole, "platformLine"}, {IconRole, "icon"},
          {ModelRole, "deviceModel"}, {NameRole, "name"},           {DraftRole, "draft"},
          {CreatedRole, "createdAt"}, {UpdatedRole, "updatedAt"},   {CurrentRole, "current"},
          {EditingRole, "editing"}};
}

bool DeviceListModel::isLogin() const { return manager_ && manager_->isLogin(); }

int DeviceListModel::maxCount() const { return context_ ? static_cast<int>(context_->state().live().device_count) : 0; }

bool DeviceListModel::canUpgrade() const {
  return context_ && !DeviceManager::deviceCounts(context_->state().live()).empty();
}

QString DeviceListModel::editId() const { return manager_ ? manager_->editId() : QString(); }

QString DeviceListModel::platformName(const std::string& platform) {
  if (platform == "darwin") return QStringLiteral("macOS");
  if (platform == "win32") return QStringLiteral("Windows");
  if (platform == "linux") return QStringLiteral("Linux");
  if (platform == "ios") return QStringLiteral("IOS");
  return QStringLiteral("Android");
}

QString DeviceListModel::platformIcon(const std::string& platform) {
  const bool known = platform == "darwin" || platform == "win32" || platform == "linux" || platform == "ios";
  return QStringLiteral("ic_device_") + QString::fromStdString(known ? platform : "android");
}

QString DeviceListModel::displayDate(const std::string& text) {
  const QString raw = QString::fromStdString(text);
  const auto parsed = DeviceManager::parseDate(raw);
  if (!parsed) return raw;
  return parsed->toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool DeviceListModel::isValidName(const QString& name) {
  static const QRegularExpression pattern(
      QStringLiteral("^[\\x{4e00}-\\x{9fa5}\\p{L}\\p{M}\\p{Nd}\\p{Pc}\\-]{1,16}$"));
  return pattern.match(name).hasMatch();
}

void DeviceListModel::appear() {
  if (!context_) return;
  const bool fetch = !manager_->isLogin();
  if (!fetch) signInFlow_ = manager_->signInFlow();
  const std::uint64_t ticket = fetch ? manager_->beginLoad() : 0;
  auto devices = context_->services().devices;
  QPointer<DeviceManager> manager(manager_);
  QPointer<DeviceListModel> page(this);
  struct Answer {
    std::string thisDevice;
    std::optional<std::vector<tarnel::Devices>> list;
  };
  // The device's own identity may be read from the keyring the first time: on the worker too.
  Workers::run(
      context_.data(),
      [devices, fetch] {
        Answer answer{devices->thisDeviceId(), std::nullopt};
        if (fetch) answer.list = devices->devices();
        return answer;
      },
      [manager, page, ticket, fetch](Answer answer) {
        if (page && page->thisDeviceId_ != answer.thisDevice) {
          page->thisDeviceId_ = answer.thisDevice;
          if (page->rowCount() > 0) emit page->dataChanged(page->index(0), page->index(page->rowCount() - 1), {CurrentRole});
        }
        if (!manager || !fetch) return;
        if (!answer.list) {
          // Only the newest load speaks: an older one's failure says nothing about the list.
          if (manager->latestLoad() == ticket) {
            showToast(QString::fromUtf8(QT_TRID_NOOP("load_devices_failed")), ToastType::error);
          }
          return;
        }
        if (page) page->renamed_.clear();
        manager->finishLoad(ticket, std::move(*answer.list), answer.thisDevice);
      });
}

void DeviceListModel::beginEdit(int row) {
  const tarnel::Devices* device = deviceAt(row);
  if (!device || isLogin()) return;
  manager_->setEditId(QString::fromStdString(device->device_id));
}

void DeviceListModel::cancelEdit() {
  if (manager_) manager_->setEditId(QString());
}

void DeviceListModel::setDraft(int row, const QString& text) {
  const tarnel::Devices* device = deviceAt(row);
  if (!device) return;
  drafts_.insert(QString::fromStdString(device->device_id), text);
}

void DeviceListModel::confirmRename(int row) {
  const tarnel::Devices* device = deviceAt(row);
  if (!device || !context_) return;
  const QString id = QString::fromStdString(device->device_id);
  const QString name = drafts_.value(id, shownName(*device));
  manager_->setEditId(QString());
  if (!isValidName(name)) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("device_desc_error")), ToastType::error);
    return;
  }
  auto devices = context_->services().devices;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<DeviceListModel> page(this);
  Workers::run(
      context_.data(), [devices, name = name.toStdString(), deviceId = device->device_id] {
        return devices->updateDeviceName(name, deviceId);
      },
      [page, ticket, id, name](bool renamed) {
        ticket->hide();
        if (!renamed) {
          showToast(QString::fromUtf8(QT_TRID_NOOP("device_desc_update_error")), ToastType::error);
          return;
        }
        if (!page) return;
        page->renamed_.insert(id, name);
        const auto count = page->rowCount();
        for (int row = 0; row < count; ++row) {
          if (page->data(page->index(row), DeviceIdRole).toString() == id) {
            emit page->dataChanged(page->index(row), page->index(row), {NameRole, DraftRole});
          }
        }
      });
}

void DeviceListModel::unbind(int row) {
  const tarnel::Devices* device = deviceAt(row);
  // Until this device is known, no badge unbinds: it might be this device's own.
  if (!device || !context_ || thisDeviceId_.empty() || device->device_id == thisDeviceId_) return;
  auto account = context_->services().account;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(), [account, uid = device->uid, deviceId = device->device_id] {
        return account->logout(uid, deviceId);
      },
      [context, ticket, deviceId = device->device_id](ServiceError error) {
        ticket->hide();
        if (error) {
          showToast(QString::fromUtf8(QT_TRID_NOOP("unbind_failed")), ToastType::error);
          return;
        }
        auto& manager = context->devices();
        manager.removeDevice(deviceId);
        context->services().logQueue->event(tarnel::EventType::REMOVE_DEVICE);
        if (manager.isLogin()) {
          // A slot is free now: back to the sign-in page, which can sign in again.
          manager.endSignInMode();
          context->state().router()->backFrom(Route::devices);
        }
      });
}

void DeviceListModel::openUpgrade() {
  if (context_) context_->state().router()->replaceTop(Route::upgrade);
}

}  // namespace lumora
