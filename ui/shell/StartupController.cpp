#include "ui/shell/StartupController.h"

#include <QPointer>

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/shell/AccountCheck.h"

namespace lumora {

StartupController* StartupController::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<StartupController>::forQml(qml, js); }

StartupController::StartupController(Services services, AppStateManager& state, AccountCheck& accountCheck,
                                     std::function<void(int)> quit, QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), accountCheck_(accountCheck),
      quit_(std::move(quit)) {}

void StartupController::setStep(int step) {
  if (currentInitStep_ == step) return;
  currentInitStep_ = step;
  emit currentInitStepChanged();
}

void StartupController::appear() {
  setStep(1);
  auto status = services_.status;
  Workers::run(
      this,
      [status] {
        status->startNetworkMonitor();
        return status->initDNS();
      },
      [this](bool ok) { discovered(ok); });
}

void StartupController::discovered(bool ok) {
  // The first real page does not depend on discovery: an account goes home and is checked (its
  // own failures are the check's to report), a guest goes to the sign-in page.
  const tarnel::Login login = services_.account->loginInfo();
  if (!login.user.isGuest()) {
    state_.router()->setRoot(Route::main);
    accountCheck_.checkLive();
  } else {
    state_.router()->setRoot(Route::login);
  }
  state_.setLoginInfo(login);

  if (!ok) {
    auto quit = quit_;
    showDialog(QString::fromUtf8(QT_TRID_NOOP("network error")), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true,
               {DialogButton{QString::fromUtf8(QT_TRID_NOOP("Confirm")), [quit] { confirmDialog([quit] { if (quit) quit(0); }); }, true}},
               {});
  } else {
    setStep(2);
    if (!isAppStoreBuild()) {
      const QString version = QString::fromStdString(services_.status->appInfo().version);
      const QString domain = QString::fromStdString(services_.links->officialDomain());
      state_.setAppTitle(localized(QString::fromUtf8(QT_TRID_NOOP("appTitle"))).arg(version, domain));
    }
  }
  emit finished(ok);
}

}  // namespace lumora
