#include "ui/account/VerifyModel.h"

#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

VerifyModel::VerifyModel(QObject* parent) : VerifyModel(SharedInstance<AccountContext>::get(), parent) {}

VerifyModel::VerifyModel(AccountContext* context, QObject* parent, int tickMs)
    : QObject(parent), context_(context), countdown_(this, tickMs) {
  connect(&countdown_, &Countdown::changed, this, &VerifyModel::countdownChanged);
  if (context_) connect(&context_->state(), &AppStateManager::loginInfoChanged, this, &VerifyModel::emailChanged);
}

QString VerifyModel::email() const {
  return context_ ? QString::fromStdString(context_->state().loginInfo().user.email) : QString();
}

void VerifyModel::setCode(const QString& code) {
  if (code_ == code) return;
  code_ = code;
  emit codeChanged();
}

void VerifyModel::requestCode() {
  if (!context_ || countdown_.running()) return;
  auto account = context_->services().account;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<VerifyModel> page(this);
  Workers::run(
      context_.data(), [account, email = email().toStdString()] { return account->getVerificationCode(email, false); },
      [page, ticket](ServiceError error) {
        ticket->hide();
        if (error) {
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        showToast(QString::fromUtf8(QT_TRID_NOOP("verification_code_sent")), ToastType::success);
        if (page) page->countdown_.start();
      });
}

void VerifyModel::confirm() {
  if (!context_) return;
  if (code_.isEmpty()) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("please enter verification code")), ToastType::error);
    return;
  }
  context_->services().logQueue->event(tarnel::EventType::MENU_ACCOUNT_SUBMIT);
  auto account = context_->services().account;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(), [account, code = code_.toStdString()] { return account->verify(code); },
      [context, ticket](ServiceError error) {
        if (error) {
          ticket->hide();
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        // The overlay stays while the refreshed account is fetched; the check reports its own
        // failures, and the page closes whatever they were.
        context->checkLive([context, ticket](ServiceError) {
          ticket->hide();
          if (context) context->state().router()->backToRoot();
        });
      });
}

}  // namespace lumora
