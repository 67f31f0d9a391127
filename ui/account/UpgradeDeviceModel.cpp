#include "ui/account/UpgradeDeviceModel.h"

#include <algorithm>

#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

UpgradeDeviceModel::UpgradeDeviceModel(QObject* parent)
    : UpgradeDeviceModel(SharedInstance<AccountContext>::get(), parent) {}

UpgradeDeviceModel::UpgradeDeviceModel(AccountContext* context, QObject* parent)
    : QObject(parent), context_(context) {}

QString UpgradeDeviceModel::email() const {
  return context_ ? QString::fromStdString(context_->state().loginInfo().user.email) : QString();
}

int UpgradeDeviceModel::presentLimit() const {
  return context_ ? static_cast<int>(context_->state().live().device_count) : 0;
}

QVariantList UpgradeDeviceModel::choices() const {
  QVariantList list;
  if (!context_) return list;
  for (const auto count : DeviceManager::deviceCounts(context_->state().live())) list.push_back(static_cast<int>(count));
  return list;
}

void UpgradeDeviceModel::appear() {
  if (!context_) return;
  const auto counts = DeviceManager::deviceCounts(context_->state().live());
  selectedCount_ = counts.empty() ? context_->state().live().device_count : *std::min_element(counts.begin(), counts.end());
  emit selectedCountChanged();
  loadPreview();
}

void UpgradeDeviceModel::select(int count) {
  if (count == selectedCount_) return;
  selectedCount_ = count;
  emit selectedCountChanged();
  loadPreview();
}

void UpgradeDeviceModel::loadPreview() {
  if (!context_) return;
  info_ = tarnel::UpgradeInfo();
  emit infoChanged();
  const std::uint64_t ticket = ++previewTicket_;
  auto devices = context_->services().devices;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString::fromUtf8(QT_TRID_NOOP("Loading..."))));
  QPointer<UpgradeDeviceModel> page(this);
  Workers::run(
      this, [devices, count = selectedCount_] { return devices->previewUpgrade(count); },
      [page, loading, ticket](std::optional<tarnel::UpgradeInfo> preview) {
        loading->hide();
        // An answer for a count the user has left behind is dropped: the page shows only the
        // preview of the count it shows as chosen.
        if (!page || ticket != page->previewTicket_ || !preview) return;
        page->info_ = *preview;
        emit page->infoChanged();
      });
}

void UpgradeDeviceModel::confirm() {
  if (!context_ || upgrading_) return;
  QPointer<UpgradeDeviceModel> page(this);
  std::vector<DialogButton> buttons{
      {QString::fromUtf8(QT_TRID_NOOP("Confirm")),
       [page] {
         // The warning goes first, so the dialog never stays over the upgrade's own feedback.
         if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
         if (page) page->upgrade();
       },
       true}};
  showDialog(QString::fromUtf8(QT_TRID_NOOP("Note: You cannot downgrade after upgrading.")),
             QString::fromUtf8(QT_TRID_NOOP("tips_title")), true, std::move(buttons), {});
}

void UpgradeDeviceModel::upgrade() {
  // One upgrade at a time: a second press while one is under way sends nothing.
  if (!context_ || upgrading_) return;
  upgrading_ = true;
  auto devices = context_->services().devices;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<UpgradeDeviceModel> page(this);
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(), [devices, count = selectedCount_] { return devices->upgradeDevices(count); },
      [page, context, loading](bool upgraded) {
        loading->hide();
        if (!upgraded) {
          if (page) page->upgrading_ = false;
          showToast(QString::fromUtf8(QT_TRID_NOOP("Upgrade failed, please try again later")), ToastType::error);
          return;
        }
        showToast(QString::fromUtf8(QT_TRID_NOOP("Upgrade success")), ToastType::success);
        context->state().router()->backFrom(Route::upgrade);
        context->checkLive({});
      });
}

}  // namespace lumora
