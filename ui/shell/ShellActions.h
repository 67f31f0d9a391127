#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace lumora {

class AccountCheck;
class AppStateManager;
class EngineService;
class QuitPath;

// What the window's context menu does: the official site, the update check, the logs folder,
// clearing the stored settings, the local proxy ports, the shortcuts to pages, the language,
// restart and quit. GUI thread only.
class ShellActions : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(bool isAppStore READ isAppStore CONSTANT)
  Q_PROPERTY(QString version READ version CONSTANT)

 public:
  struct Hooks {
    // Opens a file-system folder with the desktop's file manager; false when it could not.
    std::function<bool(const QUrl&)> openFolder;
    // Empties the settings store and the library's in-memory copies of what it held.
    std::function<void()> clearStoredState;
    std::function<void(bool manual)> checkUpdate;
  };

  ShellActions(AppStateManager& state, AccountCheck& accountCheck, QuitPath& quitPath,
               std::shared_ptr<EngineService> engine, std::filesystem::path logsFolder, Hooks hooks,
               QObject* parent);
  static ShellActions* create(QQmlEngine* qml, QJSEngine* js);

  bool isAppStore() const;
  QString version() const;

  // "<http port text>:<port>", the port in plain decimal right after the colon.
  Q_INVOKABLE QString httpPortText() const;
  Q_INVOKABLE QString socksPortText() const;

  Q_INVOKABLE void openOfficialWebsite();
  Q_INVOKABLE void checkUpdate();
  // Opens the logs folder, or says it cannot.
  Q_INVOKABLE void openDebugLog();
  // Removes the logs folder's files (stopping at the first that cannot go, with a log line),
  // then every stored setting and the in-memory state that mirrored them, whatever the files
  // did; the sign-in page follows, since the account went with them.
  Q_INVOKABLE void clearCache();
  Q_INVOKABLE void openPage(const QString& routeName);
  Q_INVOKABLE void setLanguage(const QString& code);
  Q_INVOKABLE void restart();
  Q_INVOKABLE void quit();

  const std::filesystem::path& logsFolder() const { return logsFolder_; }

 private:
  AppStateManager& state_;
  AccountCheck& accountCheck_;
  QuitPath& quitPath_;
  std::shared_ptr<EngineService> engine_;
  std::filesystem::path logsFolder_;
  Hooks hooks_;
};

}  // namespace lumora
