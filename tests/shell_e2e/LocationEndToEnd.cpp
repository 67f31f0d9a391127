// The location and node pickers of the real program, connected through real v2ray nodes on
// loopback: each choice takes the connection down and up again through the node chosen, and a
// page fetched through the program's local proxy sees that node's own source address.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "services/connection/ConnectionController.h"
#include "services/network/NetworkRequest.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/LoopbackHttpServer.h"
#include "ui/base/Router.h"
#include "ui/home/ConnectManager.h"
#include "ui/home/HomeScreen.h"
#include "ui/base/DialogManager.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;

constexpr int kTokyoAddress = 5;
constexpr int kBerlinAddress = 6;
constexpr int kTokyoSource = 20;
constexpr int kBerlinSource = 21;

// The engine trusts the bed's authority while the test runs.
class EngineTrust {
 public:
  explicit EngineTrust(const std::filesystem::path& ca) : saved_(helmsey::engineEnvironment()) {
    helmsey::EngineEnvironment environment = saved_;
    environment.extraCaCertificate = ca;
    helmsey::setEngineEnvironment(environment);
  }
  ~EngineTrust() { helmsey::setEngineEnvironment(saved_); }

 private:
  helmsey::EngineEnvironment saved_;
};

struct Pages {
  // What the node's port probe finds behind the node, and a page that names who asked for it.
  tarnel::test::LoopbackHttpServer probe{std::nullopt, "127.0.0.1"};
  tarnel::test::LoopbackHttpServer page;

  explicit Pages(const tarnel::test::TestCA& ca) : page(ca.issue("page", {"page.test"}, {"127.0.0.1"}), "127.0.0.1") {
    probe.setHandler([](const tarnel::test::ReceivedRequest& request) {
      return request.path == "/test" ? tarnel::test::CannedReply::text(200, "ok")
                                     : tarnel::test::CannedReply::text(404, "", "Not Found");
    });
    page.setHandler(
        [](const tarnel::test::ReceivedRequest& request) { return tarnel::test::CannedReply::text(200, request.peerAddress); });
  }
  std::string url(const std::string& path) const {
    return "https://page.test:" + std::to_string(page.port()) + "/" + path;
  }
};

tarnel::dev::DevNodeSetup nodeSetup(std::string id, std::string name, std::string country, std::string countryName,
                                    const std::string& address, const std::string& source, std::uint16_t probePort,
                                    const std::filesystem::path& directory) {
  tarnel::dev::DevNodeSetup node;
  node.id = std::move(id);
  node.name = std::move(name);
  node.country = std::move(country);
  node.countryName = std::move(countryName);
  node.address = address;
  node.sendThrough = source;
  node.hosts = {{"page.test", "127.0.0.1"}};
  node.probePort = probePort;
  node.directory = directory;
  return node;
}

// The source address the page saw through the program's local proxy; empty when it did not load.
std::string seenThroughProxy(const Pages& pages) {
  const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
  const auto result = tarnel::NetworkRequest(pages.url("who"), tarnel::HttpMethod::GET, std::nullopt, std::nullopt,
                                             std::nullopt, proxy, std::nullopt)
                          .request();
  if (!result.isSuccess() || !result.response()->data) return {};
  const auto& body = *result.response()->data;
  return std::string(body.begin(), body.end());
}

class LocationSwitch : public ::testing::Test {
 protected:
  // The page fetched through the proxy comes from `source` while the program is connected.
  ::testing::AssertionResult connectedThrough(AppWorld& world, const Pages& pages, const std::string& source) {
    std::string seen;
    const bool done = waitFor(
        [&] {
          if (world.state().vpnStatus() != VPNStatus::connected) return false;
          seen = seenThroughProxy(pages);
          return seen == source;
        },
        60000);
    if (done) return ::testing::AssertionSuccess();
    std::string opened;
    for (const auto& request : world.service().requests("POST", "connect/node/*/user/*")) opened += request.path + " ";
    return ::testing::AssertionFailure() << "opened " << opened << "; status "
                                         << helmsey::rawValue(world.state().vpnStatus()) << ", page seen from '"
                                         << seen << "', wanted " << source;
  }

  // Waits for the page of that route to be on top and still, then taps the item.
  static bool tapOn(AppWorld& world, const QString& page, const QString& item) {
    Router* router = world.state().router();
    if (!waitFor([&] { return router->topName() == page && router->offsetX() == 0 && world.item(item); })) {
      ADD_FAILURE() << "on top: '" << router->topName().toStdString() << "' at " << router->offsetX() << "; "
                    << item.toStdString() << (world.item(item) ? " shown" : " not shown");
      return false;
    }
    return world.click(item);
  }
};

TEST_F(LocationSwitch, ACountryAndThenANodeChosenWhileConnectedCarryTheTrafficThroughThemselves) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  std::unique_ptr<Pages> pages;
  std::string tokyoSource;
  std::string berlinSource;
  AppWorld world([&](tarnel::test::ServiceTestBed& bed) {
    pages = std::make_unique<Pages>(bed.ca());
    tokyoSource = bed.address(kTokyoSource);
    berlinSource = bed.address(kBerlinSource);
    const auto probe = static_cast<std::uint16_t>(pages->probe.port());
    const std::filesystem::path dir = folder.path().toStdString();
    return std::vector<tarnel::dev::DevNodeSetup>{
        nodeSetup("1", "JP-Tokyo-1", "JP", "Japan", bed.address(kTokyoAddress), tokyoSource, probe, dir / "jp"),
        nodeSetup("2", "DE-Berlin-1", "DE", "Germany", bed.address(kBerlinAddress), berlinSource, probe, dir / "de")};
  });
  EngineTrust trust(world.bed().ca().certificatePath());
  tarnel::ConnectionController::setAvailabilityPagesForTesting({pages->url("check")});

  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "login" && world.item("loginView"); }));
  // The automatic guest sign-in first.
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", "lite/users") >= 1; }));
  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "main"; }, 60000))
      << "root " << world.state().router()->rootName().toStdString() << ", dialog "
      << SharedInstance<DialogManager>::get()->text().toStdString();
  // The weekly disclaimer, confirmed: it covers the home page once and never again.
  ASSERT_TRUE(waitFor([] { return SharedInstance<DialogManager>::get()->isShow(); }));
  SharedInstance<DialogManager>::get()->setIsShow(false);
  SharedInstance<HomeScreen>::get()->setDisclaimerIgnored(true);
  // The desktop's proxy settings stay as they are.
  world.state().setSystemProxy(true);

  // Japan chosen while disconnected: the switch-over connects there.
  ASSERT_TRUE(tapOn(world, "", "locationRow"));
  ASSERT_TRUE(tapOn(world, "location", "countryRow_JP"));
  ASSERT_TRUE(connectedThrough(world, *pages, tokyoSource));

  // Germany: the connection goes down and comes up through the Berlin node.
  ASSERT_TRUE(tapOn(world, "", "locationRow"));
  ASSERT_TRUE(tapOn(world, "location", "countryRow_DE"));
  EXPECT_TRUE(waitFor([&] { return world.state().vpnStatus() != VPNStatus::connected; }));
  ASSERT_TRUE(connectedThrough(world, *pages, berlinSource));

  // Then the Tokyo node from Japan's node list.
  ASSERT_TRUE(tapOn(world, "", "locationRow"));
  ASSERT_TRUE(tapOn(world, "location", "nodesButton_JP"));
  ASSERT_TRUE(tapOn(world, "node", "nodeRow_1"));
  EXPECT_TRUE(waitFor([&] { return world.state().vpnStatus() != VPNStatus::connected; }));
  ASSERT_TRUE(connectedThrough(world, *pages, tokyoSource));
  const auto opened = world.script().openedNodes();
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(opened.back(), "1");
  EXPECT_NE(std::find(opened.begin(), opened.end(), "2"), opened.end());

  SharedInstance<ConnectManager>::get()->disconnectAsync();
  EXPECT_TRUE(waitFor([&] { return world.state().vpnStatus() == VPNStatus::disconnected; }));
  tarnel::ConnectionController::setAvailabilityPagesForTesting({});
}

}  // namespace
}  // namespace lumora::test
