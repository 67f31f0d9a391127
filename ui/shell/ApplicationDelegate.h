#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QWindow;

namespace lumora {

class AppStateManager;
class QuitPath;

// The desktop's side of the program's life: the fixed main window, the tray icon and its menu,
// what closing the window does, and the requests to show the window again.
//
// The tray menu is rebuilt whenever something it shows changes (the icon setting, the connection
// status, the language, the window's visibility). Closing the window follows the close-button
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

  // Takes the main window: fixed at its size, its close button handled here.
  void attachWindow(QWindow* window);

  // "ic_status_bar_" + "black" on a dark panel, else "white" + "_connected" or "_disconnect".
  QString statusIconName() const;
  // The tray menu as last built; none while the icon setting is off.
  QMenu* statusMenu() const { return menu_.get(); }
  bool hasStatusItem() const { return tray_ != nullptr; }
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

  // Rebuilds the tray icon and menu from the current state.
  void updateStatusItem();

 signals:
  void windowVisibleChanged();

 private:
  void buildMenu();
  void hideWindow();
  void setWindowVisible(bool visible);
  // What the close button does; true when the close may go ahead.
  bool handleClose();

  AppStateManager& state_;
  QuitPath& quitPath_;
  Hooks hooks_;
  QPointer<QWindow> window_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> menu_;
  bool windowVisible_ = true;
};

}  // namespace lumora
