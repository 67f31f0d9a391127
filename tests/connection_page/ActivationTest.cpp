// Tunnel-mode activation from the connection settings page: the four outcomes of the checks
// and what the page makes of each.
#include <gtest/gtest.h>

#include "tests/connection_page/ConnectionWorld.h"
#include "tests/support/Gate.h"

namespace lumora::test {
namespace {

using Authorisation = ExtensionAuthoriser::Authorisation;
using Answer = ExtensionAuthoriser::Answer;

TEST(TunnelActivation, EachOutcomeReachesTheUserAndOnlyCompletionSelectsTheRow) {
  struct Case {
    const char* name;
    std::optional<QString> installation;
    std::optional<QString> service;
    std::optional<QString> kernel;
    Answer check;
    bool selected;
    int approvalWindows;
    const char* dialog;  // the dialog's key, or none
    QString toast;       // the error toast's text, or none
    bool confirmQuits = false;
  };
  const QString notListening = QStringLiteral("the tunnel host does not listen on /run/io.tarnelmacos.ne.sock");
  const QString kernelReason = QStringLiteral("this kernel has no transparent proxy (TPROXY) support for nftables");
  const std::vector<Case> cases{
      {"installed and authorised", {}, {}, {}, {Authorisation::granted, {}}, true, 0, nullptr, {}},
      {"authorisation pending, then granted", {}, {}, {}, {Authorisation::needsApproval, {}}, true, 1, nullptr, {}},
      {"helper missing", QStringLiteral("the tunnel host is not installed"), {}, {}, {}, false, 0,
       "drag and drop app to applications", {}, true},
      // Installed, but its socket is not listening: the user is told how to start it, and the
      // program stays open.
      {"service not running", {}, notListening, {}, {}, false, 0, "tunnel service not running", {}, false},
      {"kernel without TPROXY", {}, {}, kernelReason, {}, false, 0, nullptr, kernelReason},
      {"refused", {}, {}, {}, {Authorisation::refused, QStringLiteral("not authorised")}, false, 0, nullptr,
       QStringLiteral("not authorised")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StoreBuild build(false);
    ConnectionWorld world;
    world.authoriser->script.answer<std::optional<QString>>("installationProblem", c.installation);
    world.authoriser->script.answer<std::optional<QString>>("serviceProblem", c.service);
    world.authoriser->script.answer<std::optional<QString>>("kernelProblem", c.kernel);
    world.authoriser->script.answer<Answer>("check", c.check);
    ConnectionPage& page = world.open();

    page.chooseTunnelMode();
    // The checks run on a worker: nothing is decided when the tap returns.
    EXPECT_FALSE(page.tunnelMode());
    ASSERT_TRUE(waitFor([&] {
      return page.tunnelMode() || world.ui.dialog.isShow() || world.ui.toast.isShowing();
    }));
    spin(50);
    EXPECT_EQ(page.tunnelMode(), c.selected);
    EXPECT_EQ(world.approvalWindows, c.approvalWindows);
    if (c.dialog) {
      EXPECT_TRUE(world.dialogShows(c.dialog));
      EXPECT_EQ(world.ui.dialog.title(), QStringLiteral("tips_title"));
      // The package is needed: "Confirm" ends the program; a service to start leaves it open.
      world.ui.dialog.press(world.buttonIndex("Confirm"));
      EXPECT_EQ(world.quits, c.confirmQuits ? std::vector<int>{0} : std::vector<int>{});
    } else {
      EXPECT_FALSE(world.ui.dialog.isShow());
      EXPECT_TRUE(world.quits.empty());
    }
    EXPECT_EQ(world.ui.toast.isShowing(), !c.toast.isEmpty());
    if (!c.toast.isEmpty()) {
      EXPECT_EQ(world.ui.toast.message(), c.toast);
      EXPECT_EQ(world.ui.toast.type(), ToastType::error);
    }
    // Only the pending case asks the user; a missing helper is not checked further.
    EXPECT_EQ(world.authoriser->script.count("authorise"), c.check.authorisation == Authorisation::needsApproval ? 1u : 0u);
    EXPECT_EQ(world.authoriser->script.count("kernelProblem"), c.installation || c.service ? 0u : 1u);
    // The app state hears of it only when the page is left.
    EXPECT_FALSE(world.state().tunnelMode());
  }
}

// A notice does what its text says however it is closed: "Confirm" and the close button (which
// Escape presses too) both end the program when the package is missing, and neither does when
// only the service needs starting.
TEST(TunnelActivation, ANoticeEndsTheProgramOrNotAlikeForEveryWayOfClosingIt) {
  struct Case {
    const char* name;
    std::optional<QString> installation;
    std::optional<QString> service;
    const char* dialog;
    bool quits;
  };
  const Case cases[] = {
      {"helper missing", QStringLiteral("the tunnel host is not installed"), {}, "drag and drop app to applications", true},
      {"service not running", {}, QStringLiteral("the tunnel host does not listen"), "tunnel service not running", false},
  };
  for (const Case& c : cases) {
    for (const bool withCloseButton : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (withCloseButton ? ", close button" : ", Confirm"));
      StoreBuild build(false);
      ConnectionWorld world;
      world.authoriser->script.answer<std::optional<QString>>("installationProblem", c.installation);
      world.authoriser->script.answer<std::optional<QString>>("serviceProblem", c.service);
      world.open().chooseTunnelMode();
      ASSERT_TRUE(waitFor([&] { return world.dialogShows(c.dialog); }));
      ASSERT_TRUE(world.ui.dialog.showClose());
      if (withCloseButton) {
        world.ui.dialog.close();
      } else {
        world.ui.dialog.press(world.buttonIndex("Confirm"));
      }
      EXPECT_EQ(world.quits, c.quits ? std::vector<int>{0} : std::vector<int>{});
    }
  }
}

TEST(TunnelActivation, TheRowWaitsForTheUsersAnswerWhileTheApprovalWindowShows) {
  StoreBuild build(false);
  ConnectionWorld world;
  auto prompt = std::make_shared<tarnel::test::Gate>();
  prompt->close();
  world.authoriser->script.answer<Answer>("check", {Authorisation::needsApproval, {}});
  world.authoriser->script.gate("authorise", prompt);
  ConnectionPage& page = world.open();

  page.chooseTunnelMode();
  ASSERT_TRUE(waitFor([&] { return world.approvalWindows == 1; }));
  ASSERT_TRUE(prompt->waitForVisits(1));
  // The prompt is open: the GUI thread goes on and the row stays unselected.
  spin(100);
  EXPECT_FALSE(page.tunnelMode());

  // A second tap while the first prompt waits replaces the approval window.
  page.chooseTunnelMode();
  ASSERT_TRUE(waitFor([&] { return world.approvalWindows == 2; }));
  prompt->open();
  ASSERT_TRUE(waitFor([&] { return page.tunnelMode(); }));

  // Leaving disconnected writes it.
  EXPECT_TRUE(world.goBack());
  EXPECT_TRUE(world.state().tunnelMode());
}

TEST(TunnelActivation, NoWindowNoApprovalWindowAndAPageThatWentHearsNothing) {
  StoreBuild build(false);
  {
    ConnectionWorld world;
    world.hasWindow = false;
    world.authoriser->script.answer<Answer>("check", {Authorisation::needsApproval, {}});
    ConnectionPage& page = world.open();
    page.chooseTunnelMode();
    ASSERT_TRUE(waitFor([&] { return page.tunnelMode(); }));
    EXPECT_EQ(world.approvalWindows, 0);
  }
  {
    ConnectionWorld world;
    auto checking = std::make_shared<tarnel::test::Gate>();
    checking->close();
    world.authoriser->script.gate("check", checking);
    world.open().chooseTunnelMode();
    ASSERT_TRUE(checking->waitForVisits(1));
    world.page.reset();  // the page goes while the check runs
    checking->open();
    spin(100);
    EXPECT_FALSE(world.ui.toast.isShowing());
    EXPECT_FALSE(world.ui.dialog.isShow());
  }
}

}  // namespace
}  // namespace lumora::test
