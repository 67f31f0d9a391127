// Renders the foundation's widgets in one language into PNG files for review:
//   lumora_screenshots <folder> <en|zh-Hans|zh-Hant>
// Run it under a real display (Xvfb) so text and images draw as users see them.
#include <QDir>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

#include "tests/support/TestHome.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/Feedback.h"
#include "ui/base/UiObjects.h"
#include "ui/controls/AnimationPlayer.h"
#include "ui/shell/LumoraPlugins.h"

namespace {

using lumora::test::spin;

struct Scene {
  const char* file;
  const char* scene;
  std::function<void(lumora::UiObjects&, QQuickItem*)> setUp;
  int settleMs = 700;
};

void reset(lumora::UiObjects& ui) {
  ui.dialog.setIsShow(false);
  if (ui.toast.isShowing()) {
    // The toast goes the way it always does, only sooner.
    ui.toast.setLifetimeMs(1);
    ui.toast.show(ui.toast.message(), ui.toast.type());
  }
  spin(600);
  ui.toast.setLifetimeMs(60000);
  ui.state->router()->backToRoot();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <folder> <en|zh-Hans|zh-Hant>\n", argv[0]);
    return 2;
  }
  tarnel::test::TestHome home;
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString language = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(folder);

  lumora::FakeServices fakes;
  tarnel::Country japan;
  japan.country = "jp";
  japan.name = "Japan";
  fakes.nodes->setCurrentCountry(japan);
  lumora::UiObjects ui(fakes.services(), lumora::AppStateOptions{});
  QQuickView view;
  ui.prepare(*view.engine());
  ui.state->setCurrentLanguage(language);
  view.setSource(QUrl::fromLocalFile(QStringLiteral(LUMORA_SCENES_QML)));
  if (view.status() != QQuickView::Ready) {
    std::fprintf(stderr, "the scenes did not load\n");
    return 1;
  }
  view.show();
  QQuickItem* root = view.rootObject();

  std::vector<lumora::LoadingTicket> held;
  const std::vector<Scene> scenes{
      {"route_root", "route", [](auto& u, auto*) { u.state->router()->setRoot(lumora::Route::main); }},
      {"route_page", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::settings); }},
      {"route_node_page", "route",
       [](auto& u, auto*) { u.state->router()->push(lumora::Route::nodeRoute("jp", "Japan")); }},
      {"route_sliding", "route", [](auto& u, auto*) { u.state->router()->push(lumora::Route::menu); }, 120},
      {"dialog_two_buttons", "route",
       [](auto&, auto*) {
         lumora::showDialog("Customized DNS tips", "tips_title", true,
                            {{"Cancel", {}, false}, {"Confirm", {}, true}}, {});
       }},
      {"dialog_default", "route",
       [](auto&, auto*) { lumora::showDialog("Customized DNS tips", "tips_title", false, {}, {}); }},
      {"dialog_three_buttons", "route",
       [](auto&, auto*) {
         lumora::showDialog("Customized DNS tips", "tips_title", true,
                            {{"Settings", {}, true}, {"Reconnect", {}, true}, {"Cancel", {}, false}}, {});
       }},
      {"toast_info", "route", [](auto&, auto*) { lumora::showToast("Customized DNS tips", lumora::ToastType::info); }},
      {"toast_error", "route", [](auto&, auto*) { lumora::showToast("Reconnect", lumora::ToastType::error); }},
      {"toast_warning", "route", [](auto&, auto*) { lumora::showToast("Settings", lumora::ToastType::warning); }},
      {"toast_success", "route", [](auto&, auto*) { lumora::showToast("Confirm", lumora::ToastType::success); }},
      {"loading", "route", [&held](auto&, auto*) { held.push_back(lumora::showLoading("Loading nodes")); }},
      {"loading_empty", "route",
       [&held](auto&, auto*) {
         held.clear();
         held.push_back(lumora::showLoading(""));
       }},
      {"menu_rows", "menu", [&held](auto&, auto*) { held.clear(); }},
      {"menu_dropdown_open", "menu",
       [](auto&, QQuickItem* r) {
         QMetaObject::invokeMethod(r->findChild<QObject*>("menuScene"), "openList");
       }},
      {"animation_frame", "animation",
       [](auto&, QQuickItem* r) {
         // A frame from the middle of each animation, still.
         for (auto* player : r->findChildren<lumora::AnimationPlayer*>()) {
           spin(50);
           player->showFrame(player->totalFrames() / 2);
         }
       },
       200},
  };

  int failures = 0;
  for (const auto& scene : scenes) {
    reset(ui);
    spin(450);
    root->setProperty("scene", QString::fromLatin1(scene.scene));
    scene.setUp(ui, root);
    spin(scene.settleMs);
    const QString file = folder + QLatin1Char('/') + QString::fromLatin1(scene.file) + QStringLiteral(".png");
    if (!view.grabWindow().save(file)) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(file));
      ++failures;
    }
  }
  std::printf("%zu pictures in %s\n", scenes.size() - static_cast<std::size_t>(failures), qPrintable(folder));
  return failures == 0 ? 0 : 1;
}
