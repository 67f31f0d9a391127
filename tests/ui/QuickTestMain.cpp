// The Qt Quick tests of the user interface: each tst_*.qml runs in a process of its own, over
// the real state objects with the service fakes behind them, offscreen unless told otherwise.
#include <QQmlEngine>
#include <QtQuickTest>

#include <cstdlib>
#include <memory>

#include "tests/support/TestHome.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/shell/LumoraPlugins.h"

namespace {

const bool kOffscreenByDefault = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LANG", "C.UTF-8", 0);
  return true;
}();

class Setup : public QObject {
  Q_OBJECT

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    if (!objects_) objects_ = std::make_unique<lumora::UiObjects>(fakes_.services(), lumora::AppStateOptions{});
    objects_->prepare(*engine);
  }
  void cleanupTestCase() { objects_.reset(); }

 private:
  tarnel::test::TestHome home_;
  lumora::FakeServices fakes_;
  std::unique_ptr<lumora::UiObjects> objects_;
};

}  // namespace

QUICK_TEST_MAIN_WITH_SETUP(lumora_quick, Setup)

#include "QuickTestMain.moc"
