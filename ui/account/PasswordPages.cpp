#include "ui/account/PasswordPages.h"

#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

bool passwordLengthOk(const QString& password) {
  const auto characters = password.toUcs4().size();
  return characters >= 6 && characters <= 16;
}

// --- Change password ---

ChangePasswordModel::ChangePasswordModel(QObject* parent)
    : ChangePasswordModel(SharedInstance<AccountContext>::get(), parent) {}

ChangePasswordModel::ChangePasswordModel(AccountContext* context, QObject* parent)
    : QObject(parent), context_(context) {}

void ChangePasswordModel::setFields(const QString& oldPassword, const QString& password,
                                    const QString& confirmPassword) {
  oldPassword_ = oldPassword;
  password_ = password;
  confirmPassword_ = confirmPassword;
  emit fieldsChanged();
}

QString ChangePasswordModel::check() const {
  if (oldPassword_.isEmpty()) return QString::fromUtf8(QT_TRID_NOOP("Old password"));
  if (password_.isEmpty()) return QString::fromUtf8(QT_TRID_NOOP("New password"));
  if (confirmPassword_.isEmpty()) return QString::fromUtf8(QT_TRID_NOOP("Confirm password"));
  if (!passwordLengthOk(password_)) return QString::fromUtf8(QT_TRID_NOOP("input_password_error"));
  if (password_ != confirmPassword_) return QString::fromUtf8(QT_TRID_NOOP("Inconsistent passwords"));
  return {};
}

void ChangePasswordModel::confirm() {
  if (!context_ || sending_) return;
  const QString failure = check();
  if (!failure.isEmpty()) {
    showToast(failure, ToastType::error);
    return;
  }
  sending_ = true;
  auto account = context_->services().account;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<ChangePasswordModel> page(this);
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(),
      [account, oldPassword = oldPassword_.toStdString(), password = password_.toStdString()] {
        return account->changePassword(oldPassword, password);
      },
      [page, context, ticket](ServiceError error) {
        ticket->hide();
        if (page) page->sending_ = false;
        if (error) {
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        showToast(QString::fromUtf8(QT_TRID_NOOP("Password changed successfully")), ToastType::success);
        context->state().router()->backFrom(Route::changePWD);
      });
}

// --- Account deletion ---

DeleteAccountModel::DeleteAccountModel(QObject* parent)
    : DeleteAccountModel(SharedInstance<AccountContext>::get(), parent) {}

DeleteAccountModel::DeleteAccountModel(AccountContext* context, QObject* parent, int tickMs)
    : QObject(parent), context_(context), countdown_(this, tickMs) {
  connect(&countdown_, &Countdown::changed, this, &DeleteAccountModel::countdownChanged);
}

void DeleteAccountModel::setAgree(bool on) {
  if (agree_ == on) return;
  agree_ = on;
  emit agreeChanged();
}

void DeleteAccountModel::setPassword(const QString& password) {
  if (password_ == password) return;
  password_ = password;
  emit passwordChanged();
}

void DeleteAccountModel::appear() {
  if (started_) return;
  started_ = true;
  countdown_.start(kWaitSeconds);
}

void DeleteAccountModel::confirm() {
  // Offered in store builds only; elsewhere the page, however reached, deletes nothing.
  if (!context_ || !isAppStoreBuild() || !armed() || deleting_) return;
  if (!agree_) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("read and confirm")), ToastType::error);
    return;
  }
  if (password_.isEmpty()) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("please enter password")), ToastType::error);
    return;
  }
  if (!passwordLengthOk(password_)) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("input_password_error")), ToastType::error);
    return;
  }
  // One deletion at a time: a second press while the first is under way sends nothing.
  deleting_ = true;
  auto account = context_->services().account;
  auto disconnect = context_->disconnecter();
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  QPointer<DeleteAccountModel> page(this);
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(),
      [account, disconnect, password = password_.toStdString()] {
        ServiceError error = account->delUser(password);
        if (!error) {
          // The account is gone: its tunnel must not keep running, and its sign-in must not
          // stay on this device for the next start to use.
          disconnect();
          account->setLoginInfo(tarnel::Login());
        }
        return error;
      },
      [page, context, ticket](ServiceError error) {
        ticket->hide();
        if (error) {
          if (page) page->deleting_ = false;
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        context->state().setLoginInfo(tarnel::Login());
        context->state().router()->backToRoot();
        context->state().router()->setRoot(Route::login);
      });
}

// --- Feedback ---

FeedbackModel::FeedbackModel(QObject* parent) : FeedbackModel(SharedInstance<AccountContext>::get(), parent) {}

FeedbackModel::FeedbackModel(AccountContext* context, QObject* parent) : QObject(parent), context_(context) {}

void FeedbackModel::setFeedback(const QString& text) {
  if (feedback_ == text) return;
  feedback_ = text;
  emit feedbackChanged();
}

QString FeedbackModel::cleaned(QString text) {
  text.replace(QLatin1Char('"'), QLatin1Char('\''));
  text.replace(QLatin1Char('{'), QLatin1Char('('));
  text.replace(QLatin1Char('}'), QLatin1Char(')'));
  text.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return text;
}

void FeedbackModel::submit() {
  if (!context_ || feedback_.isEmpty()) return;
  // The queue uploads on its own thread; the page goes on at once.
  auto& log = *context_->services().logQueue;
  log.event(tarnel::EventType::MENU_FEEDBACK_SUBMIT);
  log.feedback(cleaned(feedback_).toStdString(), context_->state().loginInfo().user.email);
  showToast(QString::fromUtf8(QT_TRID_NOOP("Thank you for your feedback, we will deal with your feedback seriously, repair and improve related functions as soon as possible.")),
            ToastType::success);  // NOLINT(whitespace/line_length): one key
  context_->state().router()->back();
}

}  // namespace lumora
