// Time from process start to the first frame of the main window with the user interface's
// foundation loaded (real services, state objects, QML modules, window content).
// scripts/bench-startup starts it several times and prints the median. The caller puts its
// launch time (Unix time in microseconds) in LUMORA_BENCH_T0; without it the time is counted
// from the start of main().
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickView>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/TestHome.h"
#include "ui/base/UiObjects.h"
#include "ui/shell/LumoraPlugins.h"

namespace {

std::int64_t nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t mainStart = nowMicros();
  std::int64_t t0 = mainStart;
  if (const char* given = std::getenv("LUMORA_BENCH_T0")) t0 = std::stoll(given);

  const bool stages = std::getenv("LUMORA_BENCH_STAGES") != nullptr;
  auto stage = [&](const char* what) {
    if (stages) std::fprintf(stderr, "%8.1f ms  %s\n", (nowMicros() - t0) / 1000.0, what);
  };
  // A home of its own unless the caller gives one (to measure a start with settings in place).
  std::unique_ptr<tarnel::test::TestHome> home;
  if (!std::getenv("LUMORA_BENCH_KEEP_HOME")) home = std::make_unique<tarnel::test::TestHome>();
  QGuiApplication app(argc, argv);
  stage("application");
  lumora::UiObjects ui(lumora::makeRealServices(), lumora::AppStateOptions{});
  stage("state objects");
  QQuickView view;
  ui.prepare(*view.engine());
  stage("window and engine");
  view.setSource(QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Shell/MainContent.qml")));
  stage("window content");
  if (view.status() != QQuickView::Ready) {
    std::fprintf(stderr, "the window content did not load\n");
    return 1;
  }
  std::atomic<std::int64_t> firstFrame{0};
  // On xcb the frame is swapped on the render thread: note the time there, quit on the GUI thread.
  QObject::connect(
      &view, &QQuickWindow::frameSwapped, &view,
      [&] {
        std::int64_t expected = 0;
        if (firstFrame.compare_exchange_strong(expected, nowMicros())) {
          QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        }
      },
      Qt::DirectConnection);
  view.show();
  stage("shown");
  QTimer::singleShot(10000, &app, [] {
    std::fprintf(stderr, "no frame within 10 s\n");
    QCoreApplication::exit(1);
  });
  const int rc = app.exec();
  if (rc != 0) return rc;
  std::printf("first frame after %.1f ms (main() began after %.1f ms)\n", (firstFrame - t0) / 1000.0,
              (mainStart - t0) / 1000.0);
  return 0;
}
