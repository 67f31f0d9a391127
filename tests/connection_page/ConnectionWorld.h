#pragma once

// The connection settings page over the service fakes: the app state and router as the program
// builds them, a connection front that records what it is asked, and an authoriser whose
// answers the test scripts (its calls run on workers, as the real ones do).

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "tests/ui_support/fakes/RecordingFront.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/Feedback.h"
#include "ui/base/UiObjects.h"
#include "ui/connection/ConnectionPage.h"

namespace lumora::test {

class FakeAuthoriser final : public ExtensionAuthoriser {
 public:
  FakeScript script;

  std::optional<QString> installationProblem() override {
    return script.call<std::optional<QString>>("installationProblem", {}, std::nullopt);
  }
  std::optional<QString> serviceProblem() override {
    return script.call<std::optional<QString>>("serviceProblem", {}, std::nullopt);
  }
  std::optional<QString> kernelProblem() override {
    return script.call<std::optional<QString>>("kernelProblem", {}, std::nullopt);
  }
  Answer check() override { return script.call<Answer>("check", {}, Answer{Authorisation::granted, {}}); }
  Answer authorise() override { return script.call<Answer>("authorise", {}, Answer{Authorisation::granted, {}}); }
};

// Store or not, for the life of the object.
struct StoreBuild {
  explicit StoreBuild(bool store) { setAppStoreBuildForTesting(store); }
  ~StoreBuild() { setAppStoreBuildForTesting(std::nullopt); }
};

struct ConnectionWorld {
  ConnectionWorld() : ui(fakes.services(), AppStateOptions{}) {
    ui.toast.setLifetimeMs(60'000);
  }

  ConnectionContext context() {
    ConnectionContext context;
    context.services = fakes.services();
    context.state = ui.state.get();
    context.front = front;
    context.authoriser = authoriser;
    context.hasWindow = [this] { return hasWindow; };
    context.openApprovalWindow = [this] { ++approvalWindows; };
    context.quit = [this](int code) { quits.push_back(code); };
    return context;
  }

  // Opens the page over the home page, as the menu does.
  ConnectionPage& open() {
    router().push(Route(Route::connection));
    waitFor([this] { return router().offsetX() == 0; });
    page = std::make_unique<ConnectionPage>(context(), nullptr);
    page->appear();
    return *page;
  }
  // The back button; true when the page has gone.
  bool goBack() {
    router().back();
    return waitFor([this] { return router().depth() == 0; });
  }

  Router& router() { return *ui.state->router(); }
  AppStateManager& state() { return *ui.state; }
  std::vector<std::string> writes() const { return fakes.settings->writes(); }
  bool dialogShows(const char* key) { return ui.dialog.isShow() && ui.dialog.text() == localized(QString::fromUtf8(key)); }
  int buttonIndex(const char* key) {
    const auto& buttons = ui.dialog.buttons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i].title == QString::fromUtf8(key)) return static_cast<int>(i);
    }
    return -1;
  }

  FakeServices fakes;
  UiObjects ui;
  std::shared_ptr<RecordingFront> front = std::make_shared<RecordingFront>();
  std::shared_ptr<FakeAuthoriser> authoriser = std::make_shared<FakeAuthoriser>();
  bool hasWindow = true;
  int approvalWindows = 0;
  std::vector<int> quits;
  std::unique_ptr<ConnectionPage> page;
};

}  // namespace lumora::test
