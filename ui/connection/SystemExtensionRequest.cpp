#include "ui/connection/SystemExtensionRequest.h"

#include "ui/base/GuiQueue.h"
#include "ui/base/Workers.h"

namespace lumora {

SystemExtensionRequest::SystemExtensionRequest(std::shared_ptr<ExtensionAuthoriser> authoriser, QObject* parent)
    : QObject(parent), authoriser_(std::move(authoriser)) {}

void SystemExtensionRequest::activate() {
  QPointer<SystemExtensionRequest> self(this);
  // Each answer is read on the GUI thread at delivery time, so the callbacks set last run.
  auto deliver = [self](std::function<void(SystemExtensionRequest&)> answer) {
    GuiQueue::post([self, answer = std::move(answer)] {
      if (self) answer(*self);
    });
  };
  auto fail = [deliver](int code, QString description) {
    deliver([error = ActivationError{code, std::move(description)}](SystemExtensionRequest& request) {
      request.onError(error);
    });
  };
  auto complete = [deliver] {
    deliver([](SystemExtensionRequest& request) { request.onResult(static_cast<int>(ActivationResult::completed)); });
  };
  std::shared_ptr<ExtensionAuthoriser> authoriser = authoriser_;
  if (!authoriser) {
    fail(ActivationError::unsupportedLocation, QStringLiteral("tunnel mode is not available in this build"));
    return;
  }
  Workers::run([authoriser, deliver, fail, complete] {
    if (const auto problem = authoriser->installationProblem()) {
      fail(ActivationError::unsupportedLocation, *problem);
      return;
    }
    if (const auto problem = authoriser->serviceProblem()) {
      fail(ActivationError::serviceNotRunning, *problem);
      return;
    }
    if (const auto problem = authoriser->kernelProblem()) {
      fail(ActivationError::unsupportedKernel, *problem);
      return;
    }
    ExtensionAuthoriser::Answer answer = authoriser->check();
    if (answer.authorisation == ExtensionAuthoriser::Authorisation::needsApproval) {
      deliver([](SystemExtensionRequest& request) { request.onApproval(); });
      answer = authoriser->authorise();
    }
    if (answer.authorisation == ExtensionAuthoriser::Authorisation::granted) {
      complete();
    } else {
      fail(ActivationError::notAuthorised, answer.reason);
    }
  });
}

}  // namespace lumora
