#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

#include "ui/connection/ExtensionAuthoriser.h"

namespace lumora {

// Why an activation failed. The code of a program that is not the installed one keeps the
// value the other platforms give an application outside its place; an installed tunnel host
// whose service is not running has a code of its own (the user can start it without quitting).
struct ActivationError {
  enum Code { unsupportedKernel = 1, notAuthorised = 2, unsupportedLocation = 3, serviceNotRunning = 4 };
  int code = notAuthorised;
  QString description;
};

// How an activation ended.
enum class ActivationResult { completed = 0, willCompleteAfterReboot = 1 };

// Makes tunnel mode usable: checks the installed tunnel host, the kernel and the user's
// authorisation on a worker, and answers through three callbacks on the GUI thread. Every
// activation is a new request; its answers go to the callbacks set last.
class SystemExtensionRequest : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kIdentifier = "io.tarnelmacos.ne";

  explicit SystemExtensionRequest(std::shared_ptr<ExtensionAuthoriser> authoriser, QObject* parent = nullptr);

  std::function<void(const ActivationError&)> onError = [](const ActivationError&) {};
  std::function<void(int)> onResult = [](int) {};
  std::function<void()> onApproval = [] {};

  // Starts the request and returns at once. GUI thread.
  void activate();

 private:
  std::shared_ptr<ExtensionAuthoriser> authoriser_;
};

}  // namespace lumora
