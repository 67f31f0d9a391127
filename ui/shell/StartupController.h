#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QtQml/qqmlregistration.h>

#include <functional>

#include "ui/base/services/Services.h"

namespace lumora {

class AccountCheck;
class AppStateManager;

// The start-up page's work: start the network monitor, wait for host discovery, choose the
// first real page by the stored sign-in (the home page and an account check for an account, the
// sign-in page for a guest), then report a failed discovery with a dialog whose only button
// leaves the program. GUI thread only; discovery runs on a worker.
class StartupController : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(int currentInitStep READ currentInitStep NOTIFY currentInitStepChanged)
  Q_PROPERTY(int totalInitCount READ totalInitCount CONSTANT)

 public:
  static constexpr int kTotalInitCount = 3;

  StartupController(Services services, AppStateManager& state, AccountCheck& accountCheck,
                    std::function<void(int exitCode)> quit, QObject* parent = nullptr);

  static StartupController* create(QQmlEngine* qml, QJSEngine* js);

  int currentInitStep() const { return currentInitStep_; }
  int totalInitCount() const { return kTotalInitCount; }

  // The page appeared: starts the work (again, if it appears again).
  Q_INVOKABLE void appear();

 signals:
  void currentInitStepChanged();
  // Discovery has answered (for tests and the start-up benchmark).
  void finished(bool discovered);

 private:
  void setStep(int step);
  void discovered(bool ok);

  Services services_;
  AppStateManager& state_;
  AccountCheck& accountCheck_;
  std::function<void(int)> quit_;
  int currentInitStep_ = 0;
};

}  // namespace lumora
