#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWindow;

namespace lumora {

class AppStateManager;
class QuitPath;

// The desktop's side of the program's life: the fixed main window, the tray icon and its menu,
// what closing the window does, and the requests to show the window again.
//
// The tray menu is made once per tray item and its actions are updated in place whenever something
// they show changes (the connection status, the language, the window's visibility): a menu action
// may itself cause such a change, and its menu must outlive the delivery of its own trigger. The
// status icons are made once and reused, so a status change adds nothing that stays. Closing the window follows the close-button
// setting: "exit" leaves through the quit path; "hide" and "hideWindowAndDockIcon" put the window
// away into the tray, or minimise it where no tray host runs, so the window is never out of reach.
// GUI thread only.
class ApplicationDelegate : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool windowVisible READ isWindowVisible NOTIFY windowVisibleChanged)

 public:
  struct Hooks {
    // Whether a tray host is running (QSystemTrayIcon::isSystemTrayAvailable in the program).
    std::function<bool()> trayAvailable;
    // Whether the panel the tray icon sits on is dark.
    std::function<bool()> darkPanel;
    // The connect switch without the analytics record.
    std::function<void()> toggleConnection;
    // The update check; `manual` for a request from a menu.
    std::function<void(bool manual)> checkUpdate;
    // Opens the about page.
    std::function<void()> showAbout;
  };

  ApplicationDelegate(AppStateManager& state, QuitPath& quitPath, Hooks hooks, QObject* parent = nullptr);
  ~ApplicationDelegate() override;

  // Takes the main window: fixed at its size, its close button handled here; from then on the
  // app state's `background` says whether the window is out of the user's sight or behind
  // another (hidden, minimised, or not the active window).
  void attachWindow(QWindow* window);

  // "ic_status_bar_" + "black" on a dark panel, else "white" + "_connected" or "_disconnect".
  QString statusIconName() const;
  // The tray menu as last built; none while the icon setting is off.
  QMenu* statusMenu() const { return menu_.get(); }
  bool hasStatusItem() const { return tray_ != nullptr; }
  // The icon the tray item shows now; null without a tray item.
  QIcon statusIcon() const;
  // How many status icons were made from their pictures so far (each name once).
  int statusIconsMade() const { return static_cast<int>(icons_.size()); }
  bool isWindowVisible() const { return windowVisible_; }

  // Menu actions.
  Q_INVOKABLE void toggleWindow();
  Q_INVOKABLE void toggleConnect();
  Q_INVOKABLE void setLanguage(const QString& code);
  Q_INVOKABLE void checkUpdate();
  Q_INVOKABLE void quit();
  // Another launch, or a click on the tray icon's entry, wants the window: bring it up.
  Q_INVOKABLE void showWindow();

  bool eventFilter(QObject* watched, QEvent* event) override;

  // Brings the tray icon and menu up to the current state.
  void updateStatusItem();

 signals:
  void windowVisibleChanged();

 private:
  void buildMenu();
  void refreshMenu();
  const QIcon& iconNamed(const QString& name);
  void hideWindow();
  void setWindowVisible(bool visible);
  // The app state's `background` from the window as it is now.
  void followWindow();
  // What the close button does; true when the close may go ahead.
  bool handleClose();

  AppStateManager& state_;
  QuitPath& quitPath_;
  Hooks hooks_;
  QPointer<QWindow> window_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> menu_;
  // The actions whose texts or checks change; owned by menu_.
  QAction* visibilityAction_ = nullptr;
  QAction* connectionAction_ = nullptr;
  QAction* updateAction_ = nullptr;
  QMenu* languageMenu_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QHash<QString, QIcon> icons_;
  bool windowVisible_ = true;
};

}  // namespace lumora
