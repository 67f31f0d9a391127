#include "ui/account/AccountContext.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWindow>

#include "ui/account/DeviceManager.h"
#include "ui/base/AppStateManager.h"

namespace lumora {

AccountContext::AccountContext(Services services, AppStateManager& state, DeviceManager& devices, Hooks hooks,
                               QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), devices_(devices), hooks_(std::move(hooks)) {
  devices_.setAccount(state_.loginInfo().user.id);
  connect(&state_, &AppStateManager::loginInfoChanged, this, &AccountContext::accountChanged);
}

void AccountContext::accountChanged() { devices_.setAccount(state_.loginInfo().user.id); }

void AccountContext::login(const QString& email, const QString& password, std::int64_t force, const QString& code,
                           Completion completion) {
  if (!hooks_.login) {
    if (completion) completion(tarnel::APIErrorInfo::make(-1, "sign-in unavailable"));
    return;
  }
  signInQueue_.push_back(SignIn{email, password, force, code, std::move(completion)});
  if (!signInRunning_) startNextSignIn();
}

void AccountContext::startNextSignIn() {
  if (signInQueue_.empty()) return;
  SignIn next = std::move(signInQueue_.front());
  signInQueue_.pop_front();
  signInRunning_ = true;
  QPointer<AccountContext> self(this);
  hooks_.login(next.email, next.password, next.force, next.code,
               [self, completion = std::move(next.completion)](ServiceError error) {
                 if (self) self->signInRunning_ = false;
                 if (completion) completion(error);
                 // The completion may have asked for another sign-in, which then started already.
                 if (self && !self->signInRunning_) self->startNextSignIn();
               });
}

void AccountContext::checkLive(Completion completion) {
  if (hooks_.checkLive) {
    hooks_.checkLive(std::move(completion));
  } else if (completion) {
    completion(nullptr);
  }
}

QString AccountContext::vipRemainingTime() const { return hooks_.vipRemainingTime ? hooks_.vipRemainingTime() : QString(); }

bool AccountContext::hasWindow() const {
  if (hooks_.hasWindow) return hooks_.hasWindow();
  return !QGuiApplication::topLevelWindows().isEmpty();
}

std::function<void()> AccountContext::disconnecter() const {
  if (hooks_.disconnect) return hooks_.disconnect;
  return [connection = services_.connection] {
    if (connection) connection->disconnect();
  };
}

bool AccountContext::openWebPage(const QString& address) const {
  const QUrl url(address, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty() || !hooks_.openUrl) {
    return false;
  }
  return hooks_.openUrl(url);
}

}  // namespace lumora
