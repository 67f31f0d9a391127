#include "ui/shell/AccountCheck.h"

#include <QPointer>

#include "services/base/Logger.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/ConnectFront.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

}  // namespace

AccountCheck::AccountCheck(Services services, AppStateManager& state, std::shared_ptr<ConnectFront> front,
                           Opener opener, QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), front_(std::move(front)),
      opener_(std::move(opener)) {}

AccountCheck* AccountCheck::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<AccountCheck>::forQml(qml, js); }

bool AccountCheck::isTransient(const tarnel::APIErrorInfo& error) {
  if (error.errCode <= 0) return true;
  if (error.errCode >= 500 && error.errCode <= 599) return true;  // a server or gateway error page
  return error.errMsg == tarnel::APIErrorText::modelError || error.errMsg == tarnel::APIErrorText::emptyResponse ||
         error.errMsg == tarnel::APIErrorText::networkError;
}

bool AccountCheck::isAccountGone(const tarnel::APIErrorInfo& error) {
  return error.errCode == tarnel::APIErrorCode::serverNodeRefused2 ||
         error.errCode == tarnel::APIErrorCode::serverNodeRefused3 || error.errCode == tarnel::APIErrorCode::noUser;
}

void AccountCheck::checkLive(Completion completion) {
  auto status = services_.status;
  auto account = services_.account;
  Workers::run(
      this,
      [status, account] {
        // The account the request speaks for: the one held when it leaves.
        std::string asked = account->userId();
        return CheckOutcome{std::move(asked), status->live()};
      },
      [this, completion = std::move(completion)](const CheckOutcome& outcome) {
        // A user who signed in with another account meanwhile is no longer the one it is about.
        if (services_.account->userId() == outcome.userId) applyLiveOutcome(outcome.error);
        if (completion) completion(outcome.error);
      });
}

void AccountCheck::applyLiveOutcome(const ServiceError& error) {
  if (!error) {
    state_.setLive(services_.status->currentLive());
    state_.setLoginInfo(services_.account->loginInfo());
    return;
  }
  if (isAccountGone(*error)) {
    state_.router()->backToRoot();
    state_.router()->setRoot(Route::login);
    if (front_) {
      auto front = front_;
      Workers::run([front] { front->disconnect(); });
    }
    showDialog(QString::fromUtf8(QT_TRID_NOOP("unbound tips")), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true,
               {DialogButton{QString::fromUtf8(QT_TRID_NOOP("Confirm")), [this] { dismissDialog(); }, true}}, {});
    return;
  }
  if (isTransient(*error)) {
    tarnel::Logger::log(tarnel::LogLevel::warning, "account check failed for now:", error->errCode, error->errMsg);
    return;
  }
  showDialog(QString::fromStdString(error->errMsg), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true,
             {DialogButton{QString::fromUtf8(QT_TRID_NOOP("Confirm")), [this] { returnToLoginAndDismiss(); }, true}}, {});
}

void AccountCheck::login(const QString& email, const QString& password, std::int64_t force, const QString& code,
                         Completion completion) {
  auto account = services_.account;
  Workers::run(
      this,
      [account, email = email.toStdString(), password = password.toStdString(), force, code = code.toStdString()] {
        return account->login(email, password, force, code);
      },
      [this, completion = std::move(completion)](ServiceError error) {
        if (!error) {
          const tarnel::Login login = services_.account->loginInfo();
          state_.setLoginInfo(login);
          state_.router()->setRoot(login.user.isGuest() ? Route::login : Route::main);
        }
        if (completion) completion(error);
      });
}

void AccountCheck::openOfficialWebsite() {
  auto account = services_.account;
  auto links = services_.links;
  Opener opener = opener_;
  Workers::run(
      this,
      [account, links] {
        const std::string token = account->getOfficialToken();
        return QStringLiteral("https://%1?uid=%2&token=%3")
            .arg(QString::fromStdString(links->officialDomain()), QString::fromStdString(account->userId()),
                 QString::fromStdString(token));
      },
      [opener](const QString& address) {
        const QUrl url(address, QUrl::StrictMode);
        // A site name that makes no address opens nothing.
        if (!url.isValid() || url.host().isEmpty()) return;
        openOnDesktop(opener, url);
      });
}

QString AccountCheck::remainingTimeText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t days = seconds / kSecondsPerDay;
  const std::int64_t rest = seconds - days * kSecondsPerDay;
  const std::int64_t hours = rest / 3600;
  const std::int64_t rest2 = rest - hours * 3600;
  const std::int64_t minutes = rest2 / 60;
  const std::int64_t secs = rest2 - minutes * 60;
  if (seconds >= kSecondsPerDay) {
    return QString::number(days) + localized(QString::fromUtf8(QT_TRID_NOOP("day"))) + QLatin1Char(' ') + QString::number(hours) +
           localized(QString::fromUtf8(QT_TRID_NOOP("hour")));
  }
  return QString::number(hours) + localized(QString::fromUtf8(QT_TRID_NOOP("hour"))) + QLatin1Char(' ') + QString::number(minutes) +
         localized(QString::fromUtf8(QT_TRID_NOOP("minute"))) + QLatin1Char(' ') + QString::number(secs) +
         localized(QString::fromUtf8(QT_TRID_NOOP("second")));
}

QString AccountCheck::vipRemainingTime() const {
  const std::int64_t now = services_.status->serverTimeMilliseconds() / 1000;
  return remainingTimeText(services_.account->loginInfo().expired_vip - now);
}

void AccountCheck::dismissDialog() {
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

void AccountCheck::visitOfficialSiteAndBack() {
  openOfficialWebsite();
  state_.router()->back();
  dismissDialog();
}

void AccountCheck::toggleConnectionAndDismiss() {
  // Hidden first, so a second press on the same dialog cannot start a second attempt.
  dismissDialog();
  if (front_) front_->toggleConnection(false);
}

void AccountCheck::returnToLoginAndDismiss() {
  state_.router()->backToRoot();
  state_.router()->setRoot(Route::login);
  dismissDialog();
}

}  // namespace lumora
