// The diagnosis of the real program, end to end: the window's button starts the run, the run
// goes through host discovery, the API host, a real v2ray node (opened by the service double)
// with a trial tunnel of the real engine, and the finished report reaches the service double.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "services/connection/ConnectionController.h"
#include "services/network/NetworkRequest.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestHome.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Route.h"
#include "ui/base/Router.h"
#include "ui/diagnosis/DiagnosisContext.h"
#include "ui/diagnosis/NetworkDiagnosis.h"
#include "ui/home/ConnectManager.h"
#include "ui/shell/AccountCheck.h"

namespace lumora::test {
namespace {

using tarnel::test::CannedReply;
using tarnel::test::LoopbackHttpServer;
using tarnel::test::ReceivedRequest;
using tarnel::test::ServiceTestBed;

// The program with the development account's answers, a node that falls back to a probe page for
// plain requests and resolves "page.test" to a page of this test.
class DiagnosisWorld {
 public:
  static constexpr int kServiceAddress = 2;
  static constexpr int kNodeAddress = 5;
  static constexpr int kPageAddress = 6;

  DiagnosisWorld()
      : probePage_(std::nullopt, "127.0.0.1"), page_(bed_.ca().issue("page", {"page.test"}, {bed_.address(kPageAddress)}), bed_.address(kPageAddress)) {
    probePage_.setHandler([](const ReceivedRequest& request) {
      return request.path == "/test" ? CannedReply::text(200, "ok") : CannedReply::text(404, "", "Not Found");
    });
    page_.setHandler([this](const ReceivedRequest& request) {
      // The trial's first fetch may be held here, so that the user acts while the trial is up.
      if (request.path == "/one" && holdFirstFetch_.exchange(false)) pageGate_.pass();
      return CannedReply::text(200, request.peerAddress);
    });
    // The engine's proxy program trusts the bed's authority, which signed the node.
    helmsey::EngineEnvironment environment = savedEnvironment_;
    environment.extraCaCertificate = bed_.ca().certificatePath();
    helmsey::setEngineEnvironment(environment);
    api_ = bed_.startService(kServiceAddress);
    tarnel::DNS::setDeploymentForTesting({{{ServiceTestBed::endpoint(*api_)}}, ServiceTestBed::kSiteName});
    tarnel::dev::DevNodeSetup node;
    node.address = bed_.address(kNodeAddress);
    node.domain = ServiceTestBed::kNodeDomain;
    node.certificate = bed_.ca().issue("node", {"h1-d.node.test", "h1-a.node.test"}, {node.address});
    node.hosts = {{"page.test", bed_.address(kPageAddress)}};
    node.probePort = static_cast<std::uint16_t>(probePage_.port());
    node.directory = directory_.path();
    script_ = std::make_unique<tarnel::dev::DevAccountScript>(*api_, tarnel::dev::DevAccount{}, node);
    api_->script("POST", "lite/users/*/check", tarnel::test::Answer::empty(204));
  }

  ~DiagnosisWorld() {
    pageGate_.open();
    tarnel::ConnectionController::shared().disconnect();
    program_.reset();
    helmsey::setEngineEnvironment(savedEnvironment_);
    bed_.settle();
  }

  bool start() {
    tarnel_app::LaunchHooks hooks;
    hooks.windowReady = [this](QQuickWindow* window) { window_ = window; };
    program_ = std::make_unique<tarnel_app::Application>(hooks);
    if (!program_->start() || !window_ || !waitFor([this] { return window_->isExposed(); })) return false;
    // The sites of this test instead of the public ones the build names.
    auto* context = SharedInstance<DiagnosisContext>::get();
    if (!context) return false;
    const std::string page = "https://page.test:" + std::to_string(page_.port());
    context->addresses = {{"https://" + bed_.address(kPageAddress) + ":" + std::to_string(page_.port()),
                           "https://" + bed_.address(31) + ":1"},
                          {page + "/one", page + "/two", page + "/one"}};
    return true;
  }

  AppStateManager& state() const { return *SharedInstance<AppStateManager>::get(); }
  tarnel::test::ServiceDouble& service() { return *api_; }
  const tarnel::dev::DevAccount& account() const { return script_->account(); }
  QQuickItem* item(const QString& name) const {
    return window_ ? AppWorld::find(window_->contentItem(), name) : nullptr;
  }
  bool click(const QString& name) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window_, Qt::LeftButton, {}, centre.toPoint());
    return true;
  }
  bool type(const QString& name, const QString& text) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    target->forceActiveFocus();
    target->setProperty("text", QString());
    for (const QChar c : text) QTest::keyClick(window_, c.toLatin1());
    return target->property("text").toString() == text;
  }
  // The trial's first page fetch waits until release().
  void holdTrialFetch() {
    pageGate_.close();
    holdFirstFetch_ = true;
  }
  bool trialFetchHeld() { return pageGate_.waitForVisits(1, std::chrono::seconds(60)); }
  void release() { pageGate_.open(); }
  std::string pageUrl(const std::string& path) const { return "https://page.test:" + std::to_string(page_.port()) + path; }

  // Signs in with the account, gets the account status, closes the disclaimer and routes
  // everything through the node; then opens the diagnosis page and starts its run.
  void signInAndStartTheDiagnosis() {
    ASSERT_TRUE(waitFor([&] { return state().router()->rootName() == "login" && item("loginView"); }));
    ASSERT_TRUE(waitFor([&] { return service().count("POST", "lite/users") >= 1; }));
    ASSERT_TRUE(waitFor([&] { return !state().loginInfo().user.id.empty(); }));
    QTest::qWait(500);
    ASSERT_TRUE(type("accountField", QString::fromStdString(account().email)));
    ASSERT_TRUE(type("passwordField", QString::fromStdString(account().password)));
    ASSERT_TRUE(click("submitButton"));
    ASSERT_TRUE(waitFor([&] { return state().router()->rootName() == "main"; }, 40000));
    SharedInstance<AccountCheck>::get()->checkLive();
    ASSERT_TRUE(waitFor([&] { return !state().live().ports.empty(); }));
    ASSERT_TRUE(waitFor([&] { return item("disclaimerView") != nullptr; }));
    SharedInstance<DialogManager>::get()->setIsShow(false);
    state().setSmartRoute(false);
    // The user's own connection skips the availability pages, which this world does not serve.
    state().setCheckConnection(false);
    Router& router = *state().router();
    router.push(Route::Kind::diagnsis);
    ASSERT_TRUE(waitFor([&] {
      return router.topName() == "diagnsis" && router.offsetX() == 0 && buttonKey() == "start check";
    }));
    ASSERT_TRUE(click("diagnosisButton"));
    ASSERT_TRUE(waitFor([&] { return buttonKey() == "Processing"; }));
  }
  // The run of the diagnosis page on screen.
  std::shared_ptr<DiagnosisRun> run() const { return runUnder(window_->contentItem()); }
  // Pages hang in the item tree, their state objects under their page items.
  static std::shared_ptr<DiagnosisRun> runUnder(QQuickItem* item) {
    for (auto* page : item->findChildren<NetworkDiagnosis*>(Qt::FindDirectChildrenOnly)) {
      if (page->run()) return page->run();
    }
    for (QQuickItem* child : item->childItems()) {
      if (auto found = runUnder(child)) return found;
    }
    return nullptr;
  }
  // The user's connect, as the tray menu's item and the home switch ask for it.
  static void userConnects() { SharedInstance<ConnectManager>::get()->toggleConnection(false, {}); }
  static bool userConnected() {
    return tarnel::ConnectionController::shared().phase() == tarnel::ConnectionController::Phase::connected;
  }
  // What the engine really runs, whatever the window says: a page through the local proxy.
  tarnel::NetworkResult fetchThroughTheEngine(const std::string& path) const {
    const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
    return tarnel::NetworkRequest(pageUrl(path), tarnel::HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt,
                                  proxy, std::nullopt)
        .request();
  }

  QString buttonKey() const {
    QQuickItem* button = item("diagnosisButton");
    return button ? button->property("key").toString() : QString();
  }

 private:
  helmsey::EngineEnvironment savedEnvironment_ = helmsey::engineEnvironment();
  ServiceTestBed bed_;
  tarnel::test::TempDir directory_;
  // Before the page server, whose handler uses them until it stops.
  tarnel::test::Gate pageGate_;
  std::atomic<bool> holdFirstFetch_{false};
  LoopbackHttpServer probePage_;
  LoopbackHttpServer page_;
  std::unique_ptr<tarnel::test::ServiceDouble> api_;
  std::unique_ptr<tarnel::dev::DevAccountScript> script_;
  std::unique_ptr<tarnel_app::Application> program_;
  QQuickWindow* window_ = nullptr;
};

TEST(DiagnosisEndToEnd, RunsTheDiagnosisAndSendsACompleteReport) {
  DiagnosisWorld world;
  ASSERT_TRUE(world.start());

  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "login" && world.item("loginView"); }));
  // The automatic guest sign-in first.
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", "lite/users") >= 1; }));
  ASSERT_TRUE(waitFor([&] { return !world.state().loginInfo().user.id.empty(); }));
  QTest::qWait(500);
  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "main"; }, 40000))
      << "root: " << world.state().router()->rootName().toStdString() << ", depth "
      << world.state().router()->depth() << ", top " << world.state().router()->topName().toStdString()
      << ", sign-ins " << world.service().count("POST", "lite/users");
  const std::string userId = world.state().loginInfo().user.id;
  ASSERT_FALSE(userId.empty());

  // The account status names the node ports the probes try: the program's own check, as the
  // home page runs it periodically.
  SharedInstance<AccountCheck>::get()->checkLive();
  ASSERT_TRUE(waitFor([&] { return world.service().count("GET", "lite/users/*/device/*") >= 1; }));
  ASSERT_TRUE(waitFor([&] { return !world.state().live().ports.empty(); }));
  // The home page's disclaimer comes up once after a sign-in; the user closes it.
  ASSERT_TRUE(waitFor([&] { return world.item("disclaimerView") != nullptr; }));
  SharedInstance<DialogManager>::get()->setIsShow(false);
  // Global routing: the test's page is reached through the node, never directly.
  world.state().setSmartRoute(false);
  Router& router = *world.state().router();
  router.push(Route::Kind::tools);
  // Taps land once the slide has ended.
  ASSERT_TRUE(waitFor([&] { return world.item("diagnosisRow") != nullptr && router.offsetX() == 0; }));
  ASSERT_TRUE(world.click("diagnosisRow"));
  ASSERT_TRUE(waitFor([&] { return router.topName() == "diagnsis" && router.offsetX() == 0; }))
      << router.topName().toStdString();
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "start check"; })) << world.buttonKey().toStdString();
  ASSERT_TRUE(world.click("diagnosisButton"));
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "Processing"; }));
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "submit_report"; }, 120000)) << world.buttonKey().toStdString();
  EXPECT_NE(world.item("diagnosisProgress"), nullptr);

  const std::string path = "lite/users/" + userId + "/check";
  EXPECT_EQ(world.service().count("POST", path), 0u);
  ASSERT_TRUE(world.click("diagnosisButton"));
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", path) == 1; }));
  // Sent: the program goes back to its first page.
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0; }));

  const auto sent = world.service().requests("POST", path).front();
  ASSERT_TRUE(sent.body.has_value());
  const auto& report = *sent.body;
  EXPECT_FALSE(report.at("device").at("id").get<std::string>().empty());
  EXPECT_EQ(report.at("user").at("id"), userId);
  EXPECT_EQ(report.at("app").at("runningModel"), "Listen");
  EXPECT_EQ(report.at("app").at("protocol_setup"), "Automatic");
  EXPECT_FALSE(report.at("app").at("protocol_used").get<std::string>().empty());
  const auto& tests = report.at("network").at("tests");
  ASSERT_EQ(tests.size(), 2u);
  EXPECT_EQ(tests[0].at("code"), 200);
  EXPECT_LT(tests[1].at("code").get<int>(), 0);
  EXPECT_FALSE(report.at("app").at("httpdns").empty());
  ASSERT_FALSE(report.at("app").at("api").empty());
  EXPECT_EQ(report.at("app").at("api").back().at("statusCode"), 200);
  // A trial through the node fetched the page; then the node's summary.
  const auto& nodes = report.at("app").at("nodes");
  ASSERT_EQ(nodes.size(), 2u) << nodes.dump();
  EXPECT_EQ(nodes[0].at("test").back().at("statusCode"), 200) << nodes[0].dump();
  EXPECT_EQ(nodes[1].at("protocol"), "d");
  EXPECT_EQ(nodes[1].at("host"), "h1");
  EXPECT_EQ(nodes[1].at("open").at(0).at("statusCode"), 200);
  EXPECT_FALSE(nodes[1].at("port_test").empty());
  EXPECT_TRUE(report.contains("core"));
  EXPECT_TRUE(report.contains("extra"));
  // The trial tunnel was ended with the run: no proxy process of the engine is left.
  EXPECT_TRUE(tarnel::test::waitForNoEngine());
  EXPECT_NE(world.state().vpnStatus(), helmsey::VPNStatus::connected);
}

// The user leaves the diagnosis while its trial tunnel is up and connects at once: the run,
// ending on its worker after that, stops only its own trial, so the user's connection stays up
// and carries the traffic (before, the engine under the user's connection was stopped and the
// window went on saying "connected").
TEST(DiagnosisEndToEnd, LeavingMidTrialAndConnectingLeavesTheUsersConnectionUp) {
  DiagnosisWorld world;
  ASSERT_TRUE(world.start());
  world.holdTrialFetch();
  world.signInAndStartTheDiagnosis();
  if (testing::Test::HasFatalFailure()) return;
  ASSERT_TRUE(world.trialFetchHeld()) << "the trial never fetched through its tunnel";
  const auto run = world.run();
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->trialRunning());

  world.state().router()->backToRoot();
  ASSERT_TRUE(waitFor([&] { return run->cancelled(); })) << "leaving the page did not end the run";
  DiagnosisWorld::userConnects();
  ASSERT_TRUE(waitFor([] { return DiagnosisWorld::userConnected(); }, 30000));
  ASSERT_TRUE(waitFor([&] { return world.state().vpnStatus() == helmsey::VPNStatus::connected; }));
  world.release();
  ASSERT_TRUE(run->waitDone(std::chrono::seconds(30)));
  QTest::qWait(500);

  EXPECT_EQ(helmsey::CoreManager::status(), helmsey::VPNStatus::connected) << "the user's engine was stopped";
  EXPECT_EQ(tarnel::test::engineProcesses().size(), 1u);
  EXPECT_EQ(world.state().vpnStatus(), helmsey::VPNStatus::connected);
  const auto page = world.fetchThroughTheEngine("/after");
  EXPECT_TRUE(page.isSuccess()) << "no page through the user's connection";
}

// The user connects (from the tray menu) while a trial tunnel is up and the page stays open: the
// user's connection replaces the trial, the run starts no trial over it, ends without stopping it
// and still finishes its report; the window's "connected" is true to what the engine runs.
TEST(DiagnosisEndToEnd, AUsersConnectDuringATrialWinsAndOutlivesTheRun) {
  DiagnosisWorld world;
  ASSERT_TRUE(world.start());
  world.holdTrialFetch();
  world.signInAndStartTheDiagnosis();
  if (testing::Test::HasFatalFailure()) return;
  ASSERT_TRUE(world.trialFetchHeld()) << "the trial never fetched through its tunnel";
  const auto run = world.run();
  ASSERT_TRUE(run);

  DiagnosisWorld::userConnects();
  ASSERT_TRUE(waitFor([] { return DiagnosisWorld::userConnected(); }, 30000));
  world.release();
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "submit_report"; }, 120000)) << world.buttonKey().toStdString();
  ASSERT_TRUE(run->waitDone(std::chrono::seconds(30)));
  EXPECT_TRUE(run->superseded());
  QTest::qWait(500);

  EXPECT_EQ(world.state().vpnStatus(), helmsey::VPNStatus::connected) << "the run ended the user's connection";
  EXPECT_TRUE(DiagnosisWorld::userConnected());
  EXPECT_EQ(helmsey::CoreManager::status(), helmsey::VPNStatus::connected);
  EXPECT_EQ(tarnel::test::engineProcesses().size(), 1u);
  const auto page = world.fetchThroughTheEngine("/after");
  EXPECT_TRUE(page.isSuccess()) << "no page through the user's connection";
}

}  // namespace
}  // namespace lumora::test
