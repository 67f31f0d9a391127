#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/shell/ShellWorld.h"
#include "tests/support/TestHome.h"
#include "ui/shell/ShellActions.h"

namespace lumora::test {
namespace {

struct ActionsWorld : ShellWorld {
  explicit ActionsWorld(std::filesystem::path logs)
      : actions(*ui.state, accountCheck, quitPath, fakes.engine, std::move(logs), hooks(), nullptr) {}
  ShellActions::Hooks hooks() {
    ShellActions::Hooks h;
    h.clearStoredState = [this] { fakes.settings->clearAll(); };
    h.openFolder = [this](const QUrl& folder) {
      opened.push_back(folder);
      return true;
    };
    return h;
  }
  ShellActions actions;
};

TEST(ClearCache, EmptiesTheLogsFolderAndTheSettingsAndShowsTheSignInPage) {
  tarnel::test::TempDir dir;
  const auto logs = dir.path() / "logs";
  std::filesystem::create_directories(logs / "older");
  for (const char* name : {"tarnel.log", "tarnel.log.1", "older/engine.log"}) std::ofstream(logs / name) << "x";
  ActionsWorld world(logs);
  world.fakes.account->setLoginInfo(accountLogin());
  world.ui.state->setLoginInfo(accountLogin());
  world.router().setRoot(Route::main);
  world.router().push(Route::settings);

  world.actions.clearCache();
  EXPECT_TRUE(waitFor([&] { return std::filesystem::is_empty(logs); }));
  EXPECT_EQ(world.fakes.settings->script.count("clearAll"), 1u);
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "");
  EXPECT_EQ(world.router().root().kind(), Route::login);
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
}

TEST(ClearCache, WithoutALogsFolderStillClearsAndDebugLogSaysItCannotOpen) {
  tarnel::test::TempDir dir;
  ActionsWorld world(dir.path() / "never-made");
  world.actions.clearCache();
  EXPECT_EQ(world.fakes.settings->script.count("clearAll"), 1u);

  world.actions.openDebugLog();
  EXPECT_TRUE(world.opened.empty());
  EXPECT_TRUE(world.ui.toast.isShowing());

  std::filesystem::create_directories(dir.path() / "never-made");
  world.actions.openDebugLog();
  ASSERT_EQ(world.opened.size(), 1u);
  EXPECT_EQ(world.opened[0].toLocalFile().toStdString(), (dir.path() / "never-made").string());
}

TEST(ShellActions, ToolsShowThePortsRightAfterTheColon) {
  tarnel::test::TempDir dir;
  ActionsWorld world(dir.path());
  EXPECT_TRUE(world.actions.httpPortText().endsWith(QStringLiteral(":") + QString::number(world.fakes.engine->httpPort())));
  EXPECT_TRUE(
      world.actions.socksPortText().endsWith(QStringLiteral(":") + QString::number(world.fakes.engine->socksPort())));
}

}  // namespace
}  // namespace lumora::test
