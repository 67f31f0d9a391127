#include "ui/account/UserCenterModel.h"

#include <QDateTime>

#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

UserCenterModel::UserCenterModel(QObject* parent) : UserCenterModel(SharedInstance<AccountContext>::get(), parent) {}

UserCenterModel::UserCenterModel(AccountContext* context, QObject* parent) : QObject(parent), context_(context) {
  if (context_) connect(&context_->state(), &AppStateManager::loginInfoChanged, this, &UserCenterModel::changed);
}

QString UserCenterModel::email() const {
  return context_ ? QString::fromStdString(context_->state().loginInfo().user.email) : QString();
}

bool UserCenterModel::verified() const { return context_ && context_->state().loginInfo().user.verifyed(); }

std::int64_t UserCenterModel::expiredVip() const { return context_ ? context_->state().loginInfo().expired_vip : 0; }

bool UserCenterModel::isActiveMembership(std::int64_t expiredVip, std::int64_t nowSeconds) {
  return expiredVip >= 1 && expiredVip > nowSeconds;
}

bool UserCenterModel::isVip() const {
  if (!context_) return false;
  return isActiveMembership(expiredVip(), context_->services().status->serverTimeMilliseconds() / 1000);
}

QString UserCenterModel::expiryText() const {
  if (!isVip()) return {};
  return QDateTime::fromSecsSinceEpoch(expiredVip()).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString UserCenterModel::expiryDate() const {
  if (!isVip()) return {};
  return QDateTime::fromSecsSinceEpoch(expiredVip()).toString(QStringLiteral("yyyy-MM-dd"));
}

QString UserCenterModel::remainingTime() const { return context_ ? context_->vipRemainingTime() : QString(); }

void UserCenterModel::openVerify() {
  if (!context_) return;
  context_->services().logQueue->event(tarnel::EventType::MENU_ACCOUNT);
  context_->state().router()->push(Route::verify);
}

void UserCenterModel::subscribe() {
  if (!context_) return;
  if (isAppStoreBuild()) {
    context_->state().router()->push(Route::shop);
    return;
  }
  if (!context_->hasWindow()) return;
  context_->openWebPage(QString::fromStdString(context_->services().links->shop()));
}

}  // namespace lumora
