#include "ui/shell/ShellActions.h"

#include <QPointer>
#include <QVariant>

#include <system_error>

#include "platform/BundleInfo.h"
#include "services/base/Logger.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/base/services/EngineService.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/QuitPath.h"

namespace lumora {

ShellActions::ShellActions(AppStateManager& state, AccountCheck& accountCheck, QuitPath& quitPath,
                           std::shared_ptr<EngineService> engine, std::filesystem::path logsFolder, Hooks hooks,
                           QObject* parent)
    : QObject(parent), state_(state), accountCheck_(accountCheck), quitPath_(quitPath), engine_(std::move(engine)),
      logsFolder_(std::move(logsFolder)), hooks_(std::move(hooks)) {}

ShellActions* ShellActions::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<ShellActions>::forQml(qml, js); }

bool ShellActions::isAppStore() const { return isAppStoreBuild(); }

QString ShellActions::version() const { return QString::fromStdString(platform::mainBundle().shortVersion); }

QString ShellActions::httpPortText() const {
  return localized(QString::fromUtf8(QT_TRID_NOOP("http port"))) + QLatin1Char(':') + QString::number(engine_->httpPort());
}

QString ShellActions::socksPortText() const {
  return localized(QString::fromUtf8(QT_TRID_NOOP("socks port"))) + QLatin1Char(':') + QString::number(engine_->socksPort());
}

void ShellActions::openOfficialWebsite() { accountCheck_.openOfficialWebsite(); }

void ShellActions::checkUpdate() {
  if (hooks_.checkUpdate) hooks_.checkUpdate(true);
}

void ShellActions::openDebugLog() {
  std::error_code error;
  const bool exists = std::filesystem::is_directory(logsFolder_, error);
  if (!exists || !hooks_.openFolder ||
      !hooks_.openFolder(QUrl::fromLocalFile(QString::fromStdString(logsFolder_.string())))) {
    showToast(QString::fromUtf8(QT_TRID_NOOP("can not open dictory")), ToastType::error);
  }
}

void ShellActions::clearCache() {
  // The logs go on a worker: a folder of many or large files would hold up the window.
  Workers::run([folder = logsFolder_] {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
      tarnel::Logger::log(tarnel::LogLevel::error, error.message());
      return;
    }
    for (const auto& entry : entries) {
      std::filesystem::remove_all(entry.path(), error);
      if (error) {
        tarnel::Logger::log(tarnel::LogLevel::error, error.message());
        return;
      }
    }
  });
  if (hooks_.clearStoredState) hooks_.clearStoredState();
  // The sign-in went with the store: the window shows what an empty store gives.
  state_.setLoginInfo(tarnel::Login{});
  state_.setLive(tarnel::Live{});
  state_.router()->backToRoot();
  state_.router()->setRoot(Route::login);
}

void ShellActions::openPage(const QString& routeName) { state_.router()->push(QVariant(routeName)); }

void ShellActions::setLanguage(const QString& code) { state_.setCurrentLanguage(code); }

void ShellActions::restart() { quitPath_.restart(); }

void ShellActions::quit() { quitPath_.quit(0); }

}  // namespace lumora
