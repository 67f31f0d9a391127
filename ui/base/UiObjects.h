#pragma once

#include <QObject>
#include <QQmlEngine>

#include <memory>

#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/LoadingManager.h"
#include "ui/base/ModalWindowType.h"
#include "ui/base/ToastManager.h"
#include "ui/base/Translations.h"

namespace lumora {

// The state objects of the user interface, built in order and installed as the instances that
// QML's singletons and the feedback helpers reach; uninstalled again when this goes. The
// composition root makes one; each test makes its own.
class UiObjects {
 public:
  UiObjects(Services services, AppStateOptions options);
  ~UiObjects();
  UiObjects(const UiObjects&) = delete;
  UiObjects& operator=(const UiObjects&) = delete;

  // Points an engine at the static QML modules and has it retranslated on language switches.
  void prepare(QQmlEngine& engine);

  Translations translations;
  ToastManager toast{nullptr};
  LoadingManager loading{nullptr};
  DialogManager dialog{nullptr};
  ModalWindowRegistry modalWindows;
  std::unique_ptr<AppStateManager> state;
};

}  // namespace lumora
