#include "ui/account/SettingsModel.h"

#include "services/base/VPNProtocol.h"
#include "services/log/EventType.h"
#include "ui/account/AccountContext.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

SettingsModel::SettingsModel(QObject* parent) : SettingsModel(SharedInstance<AccountContext>::get(), parent) {}

SettingsModel::SettingsModel(AccountContext* context, QObject* parent) : QObject(parent), context_(context) {
  if (!context_) return;
  auto& state = context_->state();
  connect(&state, &AppStateManager::loginInfoChanged, this, &SettingsModel::inviteeChanged);
  for (auto signal : {&AppStateManager::smartRouteChanged, &AppStateManager::tunnelModeChanged,
                      &AppStateManager::connectProtocolChanged, &AppStateManager::currentLanguageChanged}) {
    connect(&state, signal, this, &SettingsModel::connectionSummaryChanged);
  }
}

QString SettingsModel::invitee() const {
  const std::string pcode = context_ ? context_->state().loginInfo().user.pcode : std::string();
  if (pcode.empty()) return localized(QString::fromUtf8(QT_TRID_NOOP("Unbound")));
  return QString::fromStdString(pcode);
}

bool SettingsModel::canBind() const { return context_ && context_->state().loginInfo().user.pcode.empty(); }

QString SettingsModel::connectionSummary() const {
  if (!context_) return {};
  const auto& state = context_->state();
  const QString route = state.smartRoute() ? localized(QString::fromUtf8(QT_TRID_NOOP("smart")))
                                           : localized(QString::fromUtf8(QT_TRID_NOOP("global")));
  const std::string_view name = tarnel::Name(state.connectProtocol());
  const QString protocol = localized(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  const QString mode = state.tunnelMode() ? localized(QString::fromUtf8(QT_TRID_NOOP("tunnel")))
                                          : localized(QString::fromUtf8(QT_TRID_NOOP("normal")));
  return route + QLatin1Char('/') + protocol + QLatin1Char('/') + mode;
}

QStringList SettingsModel::closeChoices() {
  return {QStringLiteral("hide"), QStringLiteral("hideWindowAndDockIcon"), QStringLiteral("exit")};
}

void SettingsModel::setInvitation(const QString& text) {
  if (invitation_ == text) return;
  invitation_ = text;
  emit invitationChanged();
}

void SettingsModel::closeDialog() {
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

void SettingsModel::bindInvitation() {
  if (!context_) return;
  if (invitation_.isEmpty()) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("please enter the invitation code")), ToastType::error);
    return;
  }
  if (!context_->state().loginInfo().user.code.empty()) {
    bindKnowingOwnCode();
    return;
  }
  // The user's own code is needed for the self-binding check; a failed fetch is not reported,
  // and the check then runs against what the login holds.
  auto account = context_->services().account;
  QPointer<SettingsModel> page(this);
  Workers::run(
      this, [account] {
        account->getShareInfo();
        return account->loginInfo();
      },
      [page](tarnel::Login login) {
        if (!page || !page->context_) return;
        page->context_->state().setLoginInfo(login);
        page->bindKnowingOwnCode();
      });
}

void SettingsModel::bindKnowingOwnCode() {
  // Codes are compared as the service does, without regard to letter case.
  const QString own = QString::fromStdString(context_->state().loginInfo().user.code);
  if (!own.isEmpty() && invitation_.compare(own, Qt::CaseInsensitive) == 0) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("Unable to bind your own invitation code")), ToastType::error);
    return;
  }
  context_->services().logQueue->event(tarnel::EventType::MENU_ACCOUNT_CENTER);
  auto account = context_->services().account;
  QPointer<AccountContext> context(context_);
  const std::string code = invitation_.toStdString();
  Workers::run(
      context_.data(),
      [account, code]() -> std::pair<ServiceError, tarnel::Login> {
        ServiceError error = account->bindInvitationCode(code);
        if (!error) account->modifyLoginInfo([&](tarnel::Login& login) { login.user.pcode = code; });
        return {error, account->loginInfo()};
      },
      [context](std::pair<ServiceError, tarnel::Login> outcome) {
        if (outcome.first) {
          showToast(QString::fromStdString(outcome.first->errMsg), ToastType::error);
          return;
        }
        context->state().setLoginInfo(outcome.second);
        if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
      });
}

}  // namespace lumora
