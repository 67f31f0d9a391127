#include "ui/base/UiObjects.h"

#include "ui/base/SharedInstance.h"

namespace lumora {

UiObjects::UiObjects(Services services, AppStateOptions options) {
  SharedInstance<ToastManager>::install(&toast);
  SharedInstance<LoadingManager>::install(&loading);
  SharedInstance<DialogManager>::install(&dialog);
  if (!options.translations) options.translations = &translations;
  state = std::make_unique<AppStateManager>(std::move(services), std::move(options), nullptr);
  SharedInstance<AppStateManager>::install(state.get());
}

UiObjects::~UiObjects() {
  SharedInstance<AppStateManager>::uninstall(state.get());
  SharedInstance<DialogManager>::uninstall(&dialog);
  SharedInstance<LoadingManager>::uninstall(&loading);
  SharedInstance<ToastManager>::uninstall(&toast);
}

void UiObjects::prepare(QQmlEngine& engine) {
  engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
  translations.addEngine(&engine);
}

}  // namespace lumora
