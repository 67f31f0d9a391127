// The diagnosis of the real program, end to end: the window's button starts the run, the run
// goes through host discovery, the API host, a real v2ray node (opened by the service double)
// with a trial tunnel of the real engine, and the finished report reaches the service double.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "services/connection/NodeController.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestHome.h"
#include "ui/base/Route.h"
#include "ui/base/Router.h"
#include "ui/diagnosis/DiagnosisContext.h"

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

  DiagnosisWorld()
      : probePage_(std::nullopt, "127.0.0.1"), page_(bed_.ca().issue("page", {"page.test"}, {"127.0.0.1"}), "127.0.0.1") {
    probePage_.setHandler([](const ReceivedRequest& request) {
      return request.path == "/test" ? CannedReply::text(200, "ok") : CannedReply::text(404, "", "Not Found");
    });
    page_.setHandler([](const ReceivedRequest& request) { return CannedReply::text(200, request.peerAddress); });
    api_ = bed_.startService(kServiceAddress);
    tarnel::DNS::setDeploymentForTesting({{{ServiceTestBed::endpoint(*api_)}}, ServiceTestBed::kSiteName});
    tarnel::dev::DevNodeSetup node;
    node.address = bed_.address(kNodeAddress);
    node.domain = ServiceTestBed::kNodeDomain;
    node.certificate = bed_.leaf();
    node.hosts = {{"page.test", "127.0.0.1"}};
    node.probePort = static_cast<std::uint16_t>(probePage_.port());
    node.directory = directory_.path();
    script_ = std::make_unique<tarnel::dev::DevAccountScript>(*api_, tarnel::dev::DevAccount{}, node);
  }

  ~DiagnosisWorld() {
    program_.reset();
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
    context->addresses = {{"https://127.0.0.1:" + std::to_string(page_.port()), bed_.address(31) + ":1"},
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
  ASSERT_TRUE(world.type("accountField", QString::fromStdString(world.account().email)));
  ASSERT_TRUE(world.type("passwordField", QString::fromStdString(world.account().password)));
  ASSERT_TRUE(world.click("submitButton"));
  ASSERT_TRUE(waitFor([&] { return world.state().router()->rootName() == "main"; }, 20000));
  const std::string userId = world.state().loginInfo().user.id;
  ASSERT_FALSE(userId.empty());

  world.state().router()->push(Route::Kind::tools);
  ASSERT_TRUE(waitFor([&] { return world.item("diagnosisRow") != nullptr; }));
  ASSERT_TRUE(world.click("diagnosisRow"));
  ASSERT_TRUE(waitFor([&] { return world.buttonKey() == "start check"; }));
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
  EXPECT_EQ(nodes[0].at("test").back().at("statusCode"), 200);
  EXPECT_EQ(nodes[1].at("protocol"), "d");
  EXPECT_EQ(nodes[1].at("host"), "h1");
  EXPECT_EQ(nodes[1].at("open").at(0).at("statusCode"), 200);
  EXPECT_FALSE(nodes[1].at("port_test").empty());
  EXPECT_TRUE(report.contains("core"));
  EXPECT_TRUE(report.contains("extra"));
  // The trial tunnel was ended with the run.
  EXPECT_NE(world.state().vpnStatus(), helmsey::VPNStatus::connected);
}

}  // namespace
}  // namespace lumora::test
