// The diagnosis of the real program, end to end: the window's button starts the run, the run
// goes through host discovery, the API host, a real v2ray node (opened by the service double)
// with a trial tunnel of the real engine, and the finished report reaches the service double.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/EngineEnvironment.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestHome.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Route.h"
#include "ui/base/Router.h"
#include "ui/diagnosis/DiagnosisContext.h"
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
    page_.setHandler([](const ReceivedRequest& request) { return CannedReply::text(200, request.peerAddress); });
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
  QString buttonKey() const {
    QQuickItem* button = item("diagnosisButton");
    return button ? button->property("key").toString() : QString();
  }

 private:
  helmsey::EngineEnvironment savedEnvironment_ = helmsey::engineEnvironment();
  ServiceTestBed bed_;
  tarnel::test::TempDir directory_;
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

  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "login" && world.item("loginView"); }, 20000));
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
  ASSERT_TRUE(waitFor([&] { return world.service().count("GET", "lite/users/*/device/*") >= 1; }, 20000));
  ASSERT_TRUE(waitFor([&] { return !world.state().live().ports.empty(); }, 20000));
  // The home page's disclaimer comes up once after a sign-in; the user closes it.
  ASSERT_TRUE(waitFor([&] { return world.item("disclaimerView") != nullptr; }));
  SharedInstance<DialogManager>::get()->setIsShow(false);
  // Global routing: the test's page is reached through the node, never directly.
  world.state().setSmartRoute(false);
  Router& router = *world.state().router();
  router.push(Route::Kind::tools);
  ASSERT_TRUE(waitFor([&] { return world.item("diagnosisRow") != nullptr; }));
  QTest::qWait(Router::kSlideMs + 200);  // the slide has ended
  ASSERT_TRUE(world.click("diagnosisRow"));
  ASSERT_TRUE(waitFor([&] { return router.topName() == "diagnsis"; })) << router.topName().toStdString();
  QTest::qWait(Router::kSlideMs + 200);
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "start check"; })) << world.buttonKey().toStdString();
  ASSERT_TRUE(world.click("diagnosisButton"));
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "Processing"; }));
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "submit_report"; }, 120000)) << world.buttonKey().toStdString();
  EXPECT_NE(world.item("diagnosisProgress"), nullptr);

  const std::string path = "lite/users/" + userId + "/check";
  EXPECT_EQ(world.service().count("POST", path), 0u);
  ASSERT_TRUE(world.click("diagnosisButton"));
  ASSERT_TRUE(waitFor([&] { return world.service().count("POST", path) == 1; }, 20000));
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

}  // namespace
}  // namespace lumora::test
