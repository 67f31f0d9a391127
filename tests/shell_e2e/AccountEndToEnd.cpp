// The account pages of the real program against the loopback service: the device list, renaming
// this device, a password change followed by a sign-in with the new password, and a sign-in
// overtaken by the slow answer of the sign-in page's own guest sign-in.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "services/common/Global.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/Gate.h"
#include "ui/base/DialogManager.h"
#include "ui/base/LoadingManager.h"
#include "ui/base/ToastManager.h"

namespace lumora::test {
namespace {

bool signIn(AppWorld& world, const std::string& password) {
  // The page signs a guest in by itself first; the form waits for that.
  if (!waitFor([&] {
        return world.state().router()->rootName() == "login" && world.item("accountField") &&
               !SharedInstance<LoadingManager>::get()->isShowing();
      })) {
    return false;
  }
  QTest::qWait(400);
  return world.type("accountField", QString::fromStdString(world.account().email)) &&
         world.type("passwordField", QString::fromStdString(password)) && world.click("submitButton") &&
         waitFor([&] { return world.state().router()->rootName() == "main"; });
}

// The page `route` is on top and has finished sliding in, so taps land where its items are.
// The loading overlay (and its fade) is gone too.
bool showing(AppWorld& world, const char* route) {
  const bool shown = waitFor([&] {
    auto* router = world.state().router();
    return router->topName() == QLatin1String(route) && router->offsetX() == 0 &&
           !SharedInstance<LoadingManager>::get()->isShowing();
  });
  QTest::qWait(400);
  return shown;
}

QString text(AppWorld& world, const QString& name) {
  QQuickItem* found = world.item(name);
  return found ? found->property("text").toString() : QString();
}

TEST(AccountEndToEnd, RenamesThisDeviceAndSignsInWithAChangedPassword) {
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(signIn(world, world.account().password));

  // A first start's home page shows the disclaimer half a second in; it is dismissed.
  ASSERT_TRUE(waitFor([&] { return world.item("disclaimerView") != nullptr; }));
  ASSERT_TRUE(world.click("dialogClose"));
  ASSERT_TRUE(waitFor([&] { return !SharedInstance<DialogManager>::get()->isShow(); }));

  // Menu, settings, devices: the service's list, this device first.
  ASSERT_TRUE(waitFor([&] { return world.click("homeMenu"); }));
  ASSERT_TRUE(showing(world, "menu")) << world.state().router()->topName().toStdString() << " depth "
                                      << world.state().router()->depth() << " dialog "
                                      << SharedInstance<DialogManager>::get()->isShow() << " "
                                      << SharedInstance<DialogManager>::get()->text().toStdString();
  ASSERT_TRUE(world.click("row_settings"));
  ASSERT_TRUE(showing(world, "settings")) << world.state().router()->topName().toStdString();
  ASSERT_TRUE(world.click("rowDevices"));
  ASSERT_TRUE(showing(world, "devices"));
  ASSERT_TRUE(waitFor([&] { return text(world, "deviceName") == QStringLiteral("dev-desktop"); }))
      << text(world, "deviceName").toStdString();
  const auto fetches = world.service().count("GET", "users/" + world.account().userId + "/devices");

  ASSERT_TRUE(world.click("renameIcon"));
  ASSERT_TRUE(waitFor([&] { return world.item("renameField") != nullptr; }));
  ASSERT_TRUE(world.type("renameField", QStringLiteral("my-desk_2")));
  ASSERT_TRUE(world.click("renameConfirm"));
  ASSERT_TRUE(waitFor([&] { return world.service().count("PUT", "users/*/device/*") >= 1; }))
      << "no rename reached the service";
  const auto renames = world.service().requests("PUT", "users/*/device/*");
  ASSERT_FALSE(renames.empty());
  EXPECT_EQ(renames.back().body->at("device_desc"), "my-desk_2");

  // Back to settings and in again: the list comes from the service once more, with the name.
  ASSERT_TRUE(waitFor([&] { return !world.item("renameField"); }));
  ASSERT_TRUE(showing(world, "devices"));
  ASSERT_TRUE(world.click("backControl"));
  ASSERT_TRUE(showing(world, "settings"));
  ASSERT_TRUE(world.click("rowDevices"));
  ASSERT_TRUE(waitFor([&] {
    return world.service().count("GET", "users/" + world.account().userId + "/devices") > fetches &&
           text(world, "deviceName") == QStringLiteral("my-desk_2");
  })) << text(world, "deviceName").toStdString();

  // Change the password.
  ASSERT_TRUE(showing(world, "devices"));
  ASSERT_TRUE(world.click("backControl"));
  ASSERT_TRUE(showing(world, "settings"));
  ASSERT_TRUE(world.click("rowChangePassword"));
  ASSERT_TRUE(showing(world, "changePWD"));
  const std::string fresh = "fresh-pass-9";
  ASSERT_TRUE(world.type("oldPasswordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.type("newPasswordField", QString::fromStdString(fresh)));
  ASSERT_TRUE(world.type("confirmPasswordField", QString::fromStdString(fresh)));
  ASSERT_TRUE(world.click("changePasswordConfirm"));
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", "password/change") == 1; }));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->topName() == "settings"; }))
      << "the page goes back after the change";

  // Sign out through the menu, then in with the new password.
  world.state().router()->backToRoot();
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0 && world.item("homeMenu"); }));
  ASSERT_TRUE(world.click("homeMenu"));
  ASSERT_TRUE(showing(world, "menu"));
  ASSERT_TRUE(world.click("row_signOut"));
  const auto signInsBefore = world.service().count("POST", "lite/users");
  ASSERT_TRUE(signIn(world, fresh)) << world.state().router()->rootName().toStdString() << " "
                                    << world.service().count("POST", "lite/users") - signInsBefore << " "
                                    << world.service().requests("POST", "lite/users").back().answeredStatus << " "
                                    << text(world, "accountField").toStdString() << " "
                                    << SharedInstance<ToastManager>::get()->message().toStdString();
  EXPECT_EQ(world.state().loginInfo().user.email, world.account().email);
  const auto signIns = world.service().requests("POST", "lite/users");
  ASSERT_GT(signIns.size(), signInsBefore);
  EXPECT_EQ(signIns.back().answeredStatus, 200);
}

TEST(AccountEndToEnd, TheSlowGuestSignInOfTheSignInPageNeverSignsTheUserOutAgain) {
  // The guest sign-in that the sign-in page starts when it shows is answered late: once the user
  // has sent the form.
  auto guestAnswer = std::make_shared<tarnel::test::Gate>();
  guestAnswer->close();
  std::atomic<bool> guestAnswered{false};
  AppWorld world;
  struct Open {
    std::shared_ptr<tarnel::test::Gate> gate;
    ~Open() { gate->open(); }
  } openAtTheEnd{guestAnswer};
  world.service().setHold([guestAnswer, &guestAnswered](const tarnel::test::ServiceRequest& request) {
    const bool guest = request.method == "POST" && request.path == "lite/users" && request.body &&
                       request.body->contains("email") && (*request.body)["email"] == "";
    if (!guest) return;
    guestAnswer->pass();
    guestAnswered = true;
  });
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([&] {
    return world.state().router()->rootName() == "login" && world.item("accountField") &&
           world.service().count("POST", "lite/users") >= 1;
  }));
  QTest::qWait(300);
  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));
  guestAnswer->open();
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "main"; }));

  // After the guest's answer has come: still the user's account, on the home page.
  ASSERT_TRUE(waitFor([&] { return guestAnswered.load(); }));
  QTest::qWait(1500);
  EXPECT_EQ(world.state().router()->rootName().toStdString(), "main");
  EXPECT_EQ(world.state().loginInfo().user.email, world.account().email);
  EXPECT_EQ(tarnel::Global::loginInfo().user.email, world.account().email) << "the kept sign-in is the user's";
  EXPECT_EQ(tarnel::Global::userId(), world.account().userId);
  EXPECT_EQ(world.item("loginView"), nullptr);
  const auto signIns = world.service().requests("POST", "lite/users");
  ASSERT_GE(signIns.size(), 2u);
  EXPECT_EQ(signIns.back().body->at("email"), world.account().email);
}

TEST(AccountEndToEnd, BackFromTheDeviceLimitListLeavesLaterDevicePagesToTheSignedInAccount) {
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([&] {
    return world.state().router()->rootName() == "login" && world.item("accountField") &&
           world.service().count("POST", "lite/users") >= 1 && !SharedInstance<LoadingManager>::get()->isShowing();
  }));
  // The user's sign-in is refused: every device slot of the account is taken, by another device.
  using tarnel::test::WireJson;
  const WireJson other = {{"device_id", "refused-1"},
                          {"uid", world.account().userId},
                          {"device_name", "refused-laptop"},
                          {"device_model", "m"},
                          {"version", 5},
                          {"platform", "win32"},
                          {"created_at", "2024-05-01T10:00:00.000Z"},
                          {"updated_at", "2024-05-01T10:00:00.000Z"}};
  world.service().enqueue("POST", "lite/users",
                          tarnel::test::Answer::error(3303, "设备已满\nNo free device slot", 400,
                                                      {{"devices", WireJson::array({other})}}));
  QTest::qWait(400);
  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));
  ASSERT_TRUE(showing(world, "devices"));
  ASSERT_TRUE(waitFor([&] { return text(world, "deviceName") == QStringLiteral("refused-laptop"); }));

  // Back instead of freeing a slot, then a sign-in that succeeds.
  ASSERT_TRUE(world.click("backControl"));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0 && !world.item("deviceList"); }));
  ASSERT_TRUE(signIn(world, world.account().password));
  ASSERT_TRUE(waitFor([&] { return world.item("disclaimerView") != nullptr; }));
  ASSERT_TRUE(world.click("dialogClose"));
  ASSERT_TRUE(waitFor([&] { return !SharedInstance<DialogManager>::get()->isShow(); }));

  // The device page of the signed-in account fetches its own list and offers renaming.
  const auto fetches = world.service().count("GET", "users/" + world.account().userId + "/devices");
  ASSERT_TRUE(waitFor([&] { return world.click("homeMenu"); }));
  ASSERT_TRUE(showing(world, "menu"));
  ASSERT_TRUE(world.click("row_settings"));
  ASSERT_TRUE(showing(world, "settings"));
  ASSERT_TRUE(world.click("rowDevices"));
  ASSERT_TRUE(showing(world, "devices"));
  EXPECT_TRUE(waitFor([&] {
    return world.service().count("GET", "users/" + world.account().userId + "/devices") > fetches &&
           text(world, "deviceName") == QStringLiteral("dev-desktop");
  })) << text(world, "deviceName").toStdString();
  EXPECT_NE(world.item("devicesHeader"), nullptr);
  EXPECT_NE(world.item("renameIcon"), nullptr);
}

}  // namespace
}  // namespace lumora::test
