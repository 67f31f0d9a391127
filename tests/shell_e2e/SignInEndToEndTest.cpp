#include <gtest/gtest.h>

#include "platform/BundleInfo.h"
#include "tests/shell_e2e/AppWorld.h"

namespace lumora::test {
namespace {

TEST(ProgramEndToEnd, StartsFindsTheServiceSignsInAndShowsTheHomePage) {
  AppWorld world;
  ASSERT_TRUE(world.start());

  // A first start: discovery, then the sign-in page with its automatic guest sign-in.
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "login" && world.item("loginView"); }))
      << "root: " << world.state().router()->rootName().toStdString();
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", "lite/users") >= 1; }));
  EXPECT_FALSE(world.service().requests(tarnel::test::ServiceRequest::Kind::discovery).empty());
  // Discovery succeeded, so the title was rebuilt with the version.
  EXPECT_TRUE(world.window()->title().contains(QString::fromStdString(platform::mainBundle().shortVersion)))
      << world.window()->title().toStdString();

  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));

  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "main"; }));
  EXPECT_EQ(world.state().loginInfo().user.email, world.account().email);
  const auto signIns = world.service().requests("POST", "lite/users");
  ASSERT_GE(signIns.size(), 2u);
  EXPECT_EQ(signIns.back().body->at("email"), world.account().email);
  // The home page is what the window shows now.
  ASSERT_TRUE(waitFor([&] { return world.item("rootPage") != nullptr; }));
  EXPECT_EQ(world.item("loginView"), nullptr);
}

}  // namespace
}  // namespace lumora::test
