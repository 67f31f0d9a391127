#pragma once

#include <QString>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>

class QQuickWindow;

namespace tarnel_app {

// What a launch may be asked to do besides running the program: the start-up benchmark hears
// about the window and the first frame of each page, and may replace the services.
struct LaunchHooks {
  // The main window exists (before its first frame).
  std::function<void(QQuickWindow*)> windowReady;
  // Where the program counts as installed (the folder of its binary in the package layout);
  // empty: the folder it runs from.
  QString programDirectory;
  // Hands an address to the desktop (the default browser, a file's handler); none: the
  // desktop's own opener. A test sees here what would have left the program.
  std::function<bool(const QUrl&)> openWithDesktop;
  // A certificate authority the web windows and the pages' pictures trust besides the system's
  // (a test's service); development builds trust their development service's without it.
  std::filesystem::path pageAuthority;
};

// The composition root: the real services, the state objects, the shell and the window, built
// in that order. Needs the QApplication to exist. run() returns the program's exit code.
class Application {
 public:
  explicit Application(LaunchHooks hooks = {});
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Settings of the process that must be made before the application object exists: the
  // software scene graph, and no GL on the X11 platform (loading a GL driver for nothing costs
  // tens of megabytes and start-up time). QT_QUICK_BACKEND and QT_XCB_GL_INTEGRATION still choose.
  static void prepareProcess();

  // False when another instance runs (it was asked to show its window) or the window could not be
  // made; windowFailed() tells the second (whose reasons went to standard error).
  bool start();
  bool windowFailed() const { return windowFailed_; }
  int exec();

 private:
  struct Parts;
  LaunchHooks hooks_;
  std::unique_ptr<Parts> parts_;
  bool windowFailed_ = false;
};

}  // namespace tarnel_app
