#include "ui/account/LoginModel.h"

#include <QMetaEnum>
#include <QRegularExpression>

#include <utility>

#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/account/PasswordPages.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

namespace {

constexpr int kMinAccountLength = 6;

using Ticket = std::shared_ptr<LoadingTicket>;

Ticket holdLoading() { return std::make_shared<LoadingTicket>(showLoading(QString())); }

QString key(const char* id) { return QString::fromUtf8(id); }

QStringList toList(const std::vector<std::string>& items) {
  QStringList list;
  for (const auto& item : items) list.push_back(QString::fromStdString(item));
  return list;
}

// Signs in with the e-mail account; the overlay `ticket` covers the window until the outcome is
// in, and `done` hears that it is. Nothing here touches the page: the outcome is the app's
// (state, route, device list).
void signIn(AccountContext& context, const QString& account, const QString& password, Ticket ticket,
            std::function<void()> done) {
  QPointer<AccountContext> guard(&context);
  context.login(account, password, 0, QString(), [guard, ticket, done = std::move(done)](ServiceError error) {
    ticket->hide();
    if (done) done();
    if (!guard) return;
    if (!error) {
      guard->services().logQueue->event(tarnel::EventType::LOG_IN);
      return;
    }
    if (error->errCode == tarnel::APIErrorCode::serverTooManyDevices) {
      // The account has no free device slot: the device list lets the user free one. An
      // earlier refusal's flow ends first, so that its page, if still going, cannot end this one.
      guard->devices().endSignInMode();
      guard->devices().setDevices(error->devices.value_or(std::vector<tarnel::Devices>{}));
      guard->devices().setIsLogin(true);
      guard->state().router()->push(Route::devices);
      return;
    }
    showToast(QString::fromStdString(error->errMsg), ToastType::error);
  });
}

}  // namespace

LoginModel::LoginModel(QObject* parent) : LoginModel(SharedInstance<AccountContext>::get(), parent) {}

LoginModel::LoginModel(AccountContext* context, QObject* parent, int tickMs)
    : QObject(parent), context_(context), countdown_(this, tickMs) {
  connect(&countdown_, &Countdown::changed, this, &LoginModel::countdownChanged);
  if (context_) {
    connect(&context_->state(), &AppStateManager::loginInfoChanged, this, [this] {
      emit promoterPlaceholderChanged();
      loadLists();
    });
  }
  loadLists();
}

LoginModel::~LoginModel() = default;

void LoginModel::loadLists() {
  if (!context_) return;
  auto account = context_->services().account;
  QPointer<LoginModel> page(this);
  Workers::run(
      this, [account] { return std::make_pair(account->historyAccount(), account->emailSuffix()); },
      [page](std::pair<std::vector<std::string>, std::vector<std::string>> lists) {
        if (!page) return;
        page->history_ = toList(lists.first);
        page->suffixes_ = toList(lists.second);
        emit page->suggestionsChanged();
      });
}

void LoginModel::setAccount(const QString& account) {
  if (account_ == account) return;
  account_ = account;
  emit accountChanged();
  emit suggestionsChanged();
}

void LoginModel::setPassword(const QString& password) {
  if (password_ == password) return;
  password_ = password;
  emit passwordChanged();
}

void LoginModel::setCode(const QString& code) {
  if (code_ == code) return;
  code_ = code;
  emit codeChanged();
}

void LoginModel::setShowHistory(bool show) {
  if (showHistory_ == show) return;
  showHistory_ = show;
  emit showHistoryChanged();
}

void LoginModel::setAgree(bool agree) {
  if (agree_ == agree) return;
  agree_ = agree;
  emit agreeChanged();
}

void LoginModel::setLoginType(LoginType type) {
  if (loginType_ == type) return;
  loginType_ = type;
  emit loginTypeChanged();
  emit suggestionsChanged();
}

QString LoginModel::typeName() const {
  return QString::fromLatin1(QMetaEnum::fromType<LoginType>().valueToKey(loginType_));
}

QStringList LoginModel::suggestions() const { return suggestionsFor(loginType_, account_, history_, suffixes_); }

QString LoginModel::promoterPlaceholder() const {
  if (!context_) return {};
  return QString::fromStdString(context_->state().loginInfo().config_text.LOGIN_PROMOTER_CODE);
}

void LoginModel::switchType() {
  setLoginType(loginType_ == login ? register_singl : login);
  setCode(QString());
}

void LoginModel::retrievePassword() { setLoginType(forget); }

void LoginModel::switchPlan() {
  if (loginType_ == register_singl) {
    setLoginType(register_multiple);
  } else if (loginType_ == register_multiple) {
    setLoginType(register_singl);
  }
}

void LoginModel::accountFocusChanged() {
  if (!accountComplete_) setShowHistory(true);
}

void LoginModel::accountReturned() {
  if (accountComplete_) return;
  accountComplete_ = true;
  emit accountCompleteChanged();
}

void LoginModel::pickSuggestion(const QString& suggestion) {
  setShowHistory(false);
  accountReturned();
  setAccount(suggestion);
}

bool LoginModel::isValidEmail(const QString& account) {
  // The whole text must match ("$" alone would let a trailing line break through), and the
  // top-level domain may be any length from two letters on (".travel", ".photography").
  static const QRegularExpression pattern(
      QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}")));
  return account.size() >= kMinAccountLength && pattern.match(account).hasMatch();
}

QString LoginModel::domainOf(const QString& account) {
  const QStringList pieces = account.split(QLatin1Char('@'), Qt::SkipEmptyParts);
  return pieces.size() >= 2 ? pieces.at(1) : QString();
}

QStringList LoginModel::suggestionsFor(LoginType type, const QString& account, const QStringList& history,
                                       const QStringList& suffixes) {
  const bool hasAt = account.contains(QLatin1Char('@'));
  if (!history.isEmpty() && (type == login || type == forget)) {
    if (account.isEmpty()) return history;
    QStringList matches;
    for (const auto& entry : history) {
      if (entry != account && entry.contains(account, Qt::CaseSensitive)) matches.push_back(entry);
    }
    if (!matches.isEmpty()) return matches;
    if (!hasAt) return {};
  }
  if (account.isEmpty()) return {};
  QString name = account;
  if (hasAt) {
    const QStringList pieces = account.split(QLatin1Char('@'), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) return {};
    name = pieces.first();
  }
  QStringList candidates;
  for (const auto& domain : suffixes) {
    const QString candidate = name + QLatin1Char('@') + domain;
    if (candidate.contains(account, Qt::CaseSensitive)) candidates.push_back(candidate);
  }
  return candidates;
}

void LoginModel::submit() {
  if (!context_) return;
  if (!isValidEmail(account_)) {
    showToast(key(QT_TRID_NOOP("input_email_error")), ToastType::error);
    return;
  }
  if (!passwordLengthOk(password_)) {
    showToast(key(QT_TRID_NOOP("input_password_error")), ToastType::info);
    return;
  }
  // One submission at a time: Return pressed again under the loading overlay sends nothing more.
  if (submitting_) return;
  switch (loginType_) {
    case register_singl:
    case register_multiple: {
      if (!agree_) {
        showToast(key(QT_TRID_NOOP("tip_please_read")), ToastType::error);
        return;
      }
      const Registration registration{account_, password_, code_, loginType_ == register_multiple};
      if (suffixes_.contains(domainOf(registration.account), Qt::CaseSensitive)) {
        startRegistration(registration);
        return;
      }
      // An unfamiliar mail domain is often a typing mistake: have the address confirmed first.
      QPointer<LoginModel> page(this);
      showDialog(localized(key(QT_TRID_NOOP("txt_confirm_email"))).arg(registration.account),
                 key(QT_TRID_NOOP("tips_title")), true,
                 {DialogButton{key(QT_TRID_NOOP("Confirm")),
                               [page, registration] {
                                 confirmDialog([page, registration] {
                                   if (page) page->startRegistration(registration);
                                 });
                               },
                               true}},
                 {});
      return;
    }
    case login:
      submitting_ = true;
      signIn(*context_, account_, password_, holdLoading(), submissionEnded());
      return;
    case forget:
      if (code_.isEmpty()) {
        showToast(key(QT_TRID_NOOP("please enter verification code")), ToastType::error);
        return;
      }
      startReset();
      return;
  }
}

std::function<void()> LoginModel::submissionEnded() {
  QPointer<LoginModel> page(this);
  return [page] {
    if (page) page->submitting_ = false;
  };
}

void LoginModel::startRegistration(const Registration& registration) {
  if (!context_ || submitting_) return;
  submitting_ = true;
  auto ticket = holdLoading();
  // The registration turns the guest account into the user's: it goes under the guest's id,
  // never under an account signed in before (one the account check has just sent back here).
  // So it waits for the guest sign-in of this page, or signs a guest in when there is none.
  const tarnel::User user = context_->state().loginInfo().user;
  if (!context_->signingIn() && user.isGuest() && !user.id.empty()) {
    sendRegistration(ticket, registration);
    return;
  }
  QPointer<LoginModel> page(this);
  QPointer<AccountContext> context(context_);
  const auto afterGuest = [page, context, ticket, registration](ServiceError error) {
    if (!page || !context) {
      ticket->hide();
      return;
    }
    if (error) {
      ticket->hide();
      page->submitting_ = false;
      showToast(QString::fromStdString(error->errMsg), ToastType::error);
      return;
    }
    page->sendRegistration(ticket, registration);
  };
  context_->login(QString(), QString::fromLatin1(kGuestPassword), 0, QString(), afterGuest);
}

void LoginModel::sendRegistration(std::shared_ptr<LoadingTicket> ticket, const Registration& registration) {
  if (!context_) return;
  auto account = context_->services().account;
  QPointer<AccountContext> context(context_);
  Workers::run(
      context_.data(),
      [account, email = registration.account.toStdString(), password = registration.password.toStdString(),
       code = registration.code.toStdString(), moreDevices = registration.moreDevices] {
        ServiceError error = account->registerAccount(email, password, code, moreDevices);
        return std::make_pair(error, error ? tarnel::Login() : account->loginInfo());
      },
      [context, ticket, ended = submissionEnded()](std::pair<ServiceError, tarnel::Login> outcome) {
        ticket->hide();
        ended();
        if (!context) return;
        if (outcome.first) {
          showToast(QString::fromStdString(outcome.first->errMsg), ToastType::error);
          return;
        }
        context->services().logQueue->event(tarnel::EventType::SIGN_UP);
        context->state().router()->setRoot(Route::main);
        context->state().setLoginInfo(outcome.second);
      });
}

void LoginModel::startReset() {
  auto account = context_->services().account;
  QPointer<AccountContext> context(context_);
  submitting_ = true;
  auto ticket = holdLoading();
  Workers::run(
      context_.data(),
      [account, email = account_.toStdString(), password = password_.toStdString(), code = code_.toStdString()] {
        return account->forgetPassword(email, password, code);
      },
      [context, ticket, email = account_, password = password_, ended = submissionEnded()](ServiceError error) {
        if (error) {
          ticket->hide();
          ended();
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        context->services().logQueue->event(tarnel::EventType::REGISTER_PASSWORD_CHANGE);
        // The overlay stays up: the new password signs in at once.
        signIn(*context, email, password, ticket, ended);
      });
}

void LoginModel::requestCode() {
  if (!context_ || countdown_.running()) return;
  if (!isValidEmail(account_)) {
    showToast(key(QT_TRID_NOOP("input_email_error")), ToastType::error);
    return;
  }
  auto account = context_->services().account;
  QPointer<LoginModel> page(this);
  auto ticket = holdLoading();
  Workers::run(
      context_.data(), [account, email = account_.toStdString()] { return account->getVerificationCode(email, true); },
      [page, ticket](ServiceError error) {
        ticket->hide();
        if (error) {
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        showToast(key(QT_TRID_NOOP("verification_code_sent")), ToastType::success);
        if (page) page->countdown_.start();
      });
}

void LoginModel::appear() {
  if (!context_) return;
  // Every showing signs a guest in, also when an account the account check refused brought the
  // user here: registration and the other calls of this page need the guest's id. Asked at
  // once, so that it is older than anything the user submits on this page.
  showToast(key(QT_TRID_NOOP("Trying to log in automatically")), ToastType::info);
  context_->login(QString(), QString::fromLatin1(kGuestPassword), 0, QString(), [](ServiceError) {});
}

void LoginModel::openSupport() {
  if (!context_ || !context_->hasWindow()) return;
  context_->openWebPage(QString::fromStdString(context_->services().links->custom()));
}

void LoginModel::openPrivacy() {
  if (!context_) return;
  context_->openWebPage(QString::fromStdString(context_->services().links->privacyUrl()));
}

void LoginModel::openTerms() {
  if (!context_) return;
  context_->openWebPage(QString::fromStdString(context_->services().links->serviceUrl()));
}

}  // namespace lumora
