// The network diagnosis over the service fakes: what a whole run puts into the report, how a
// run that is left ends, and the cases the service or the engine make awkward.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <mutex>
#include <thread>

#include "tests/diagnosis/DiagnosisWorld.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;

std::vector<std::string> keysOf(const nlohmann::ordered_json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

// Scripts a run in which every step meets something: one direct site answers, one fails; two
// discovery answers; the API host at an address fails and the named one answers; the node's
// relays give one refused and two open ports; the first trial connects but fetches nothing, the
// second fetches a 404 page.
void scriptWholeRun(DiagnosisWorld& w) {
  auto& d = w.fakes.diagnosis->script;
  d.enqueue<tarnel::NetworkResult>("fetch", ok(200));
  d.enqueue<tarnel::NetworkResult>("fetch", failed(-1001));
  d.answer<Answers>("discover", {answer(200, "dns-a.test"), answer(-1, "dns-b.test")});
  d.answer<std::vector<ApiHost>>("apiHosts", {{"https://198.51.100.4/v6", "198.51.100.4", "api.test"},
                                               {"https://api-two.test/v6", "api-two.test", "api-two.test"}});
  d.enqueue<tarnel::NetworkResult>("fetch", failed(-1004));
  d.enqueue<tarnel::NetworkResult>("fetch", ok(200));
  w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("g")});
  d.answer<std::optional<std::string>>("countryName", std::optional<std::string>("Japan"));
  d.answer<OpenResult>("openNode", opened("relay-1.test,,relay-2.test"));
  d.answer<Answers>("testAllPort", {answer(502, "relay-1.test", 8443), answer(200, "relay-1.test", 8443),
                                    answer(200, "relay-2.test", 9443)});
  w.fakes.engine->answerStarts(VPNStatus::connected);
  // First trial: a 502, then two transport failures; second trial: a 404 counts as reached.
  d.enqueue<tarnel::NetworkResult>("fetch", ok(502));
  d.enqueue<tarnel::NetworkResult>("fetch", failed(-1001));
  d.enqueue<tarnel::NetworkResult>("fetch", failed(-1001));
  d.enqueue<tarnel::NetworkResult>("fetch", ok(404));
  w.fakes.engine->script.enqueue<std::string>("getLog", "crash lines");
  w.fakes.engine->script.enqueue<std::string>("getLog", "core lines");
  w.fakes.nodes->script.answer<RuleLists>("ruleLists", RuleLists{{"unlock.test"}, {"direct.test"}, {}, {}, {}, {}, {}});
}

TEST(DiagnosisRunTest, AWholeRunPutsEveryStepsResultIntoTheReport) {
  DiagnosisWorld w;
  scriptWholeRun(w);
  auto page = w.page();
  w.runToEnd(*page);

  EXPECT_EQ(w.steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(page->progressText(), "8/8......");
  ASSERT_TRUE(page->report().has_value());
  const tarnel::ReportData& r = *page->report();
  EXPECT_EQ(r.ver, "2.1_77");  // what the library gathered stays
  EXPECT_EQ(r.app.runningModel, "Listen");

  ASSERT_EQ(r.network.tests.size(), 2u);
  EXPECT_EQ(r.network.tests[0].url, "https://portal-one.test");
  EXPECT_EQ(r.network.tests[0].code, 200);
  EXPECT_EQ(r.network.tests[0].msg, "");
  EXPECT_EQ(r.network.tests[1].code, -1001);
  EXPECT_EQ(r.network.tests[1].msg, "Error Domain=NSURLErrorDomain Code=-1001 \"no route\"");
  EXPECT_TRUE(r.network.tests[1].time.ends_with(" ms")) << r.network.tests[1].time;

  ASSERT_EQ(r.app.httpdns.size(), 2u);
  EXPECT_EQ(r.app.httpdns[1]->host, "dns-b.test");

  // The host at an address is asked with the API domain as Host; the named one with no header.
  ASSERT_EQ(r.app.api.size(), 2u);
  EXPECT_EQ(r.app.api[0]->statusCode, -1004);
  EXPECT_EQ(r.app.api[0]->host, "198.51.100.4");
  EXPECT_EQ(r.app.api[0]->path, "test");
  EXPECT_EQ(r.app.api[0]->port, 443);
  EXPECT_EQ(r.app.api[1]->statusCode, 200);
  const auto fetches = w.fakes.diagnosis->script.calls("fetch");
  ASSERT_EQ(fetches.size(), 8u);
  EXPECT_EQ(fetches[2].arguments, (std::vector<std::string>{"https://198.51.100.4/v6/test", "Host=api.test", "none"}));
  EXPECT_EQ(fetches[3].arguments, (std::vector<std::string>{"https://api-two.test/v6/test", "", "none"}));
  // The program's own host and retry budget are left alone.
  EXPECT_EQ(w.fakes.diagnosis->script.count("nextHost"), 0u);

  // An unknown protocol code is tried as the relay protocol, through the comma-separated relays.
  EXPECT_EQ(w.fakes.diagnosis->script.calls("openNode")[0].arguments, (std::vector<std::string>{"g", "n-1"}));
  EXPECT_EQ(w.fakes.diagnosis->script.calls("testAllPort")[0].arguments,
            (std::vector<std::string>{"relay-1.test,relay-2.test", "h7-a.nodes.test", ""}));
  // Trial fetches go through the local HTTP proxy.
  EXPECT_EQ(fetches[4].arguments[2], "http://127.0.0.1:18080");

  ASSERT_EQ(r.app.nodes.size(), 3u);
  const auto& first = r.app.nodes[0];
  EXPECT_EQ(first.test.size(), 3u);
  EXPECT_EQ(first.test[1]->host, "https://far-two.test");
  EXPECT_EQ(first.test[1]->port, 443);
  const auto& second = r.app.nodes[1];
  ASSERT_EQ(second.test.size(), 1u);
  EXPECT_EQ(second.test[0]->statusCode, 404);
  const auto& summary = r.app.nodes[2];
  EXPECT_EQ(summary.id, "n-1");
  EXPECT_EQ(summary.protocol, "g");
  EXPECT_EQ(summary.region, "Japan");
  EXPECT_EQ(summary.tag, std::vector<std::int64_t>{});
  EXPECT_EQ(summary.port_turn, 0);
  EXPECT_EQ(summary.server, "203.0.113.7");
  EXPECT_EQ(summary.host, "h7");
  EXPECT_EQ(summary.domain, "nodes.test");
  EXPECT_EQ(summary.port, 443);
  EXPECT_EQ(summary.open.size(), 1u);
  EXPECT_EQ(summary.port_test.size(), 3u);
  EXPECT_TRUE(summary.test.empty());

  EXPECT_EQ(r.extra, "crash lines");
  EXPECT_EQ(r.core, "core lines");
  EXPECT_EQ(w.fakes.engine->script.calls("setIsTun")[0].arguments[0], "false");

  // Each trial after the first is preceded by the stop of the one before; the last one is ended
  // before the run finishes. Nothing else of the engine's is stopped.
  EXPECT_EQ(w.engineCalls(), (std::vector<std::string>{"startVPN", "stopVPN", "startVPN", "stopVPN"}));
  const auto starts = w.fakes.engine->script.calls("startVPN");
  const auto config = nlohmann::json::parse(starts[1].arguments[0]);
  EXPECT_EQ(config.at("serverName"), "h7-g.nodes.test");
  EXPECT_EQ(config.at("servers").at("address"), "relay-2.test");
  EXPECT_EQ(config.at("servers").at("port"), 9443);
  EXPECT_EQ(config.at("servers").at("password"), "00000000-0000-0000-0000-000000000001");
  EXPECT_EQ(config.at("unlock"), nlohmann::json::array({"unlock.test"}));
  EXPECT_EQ(config.at("dns"), "auto");
  EXPECT_EQ(config.at("dnsStrategy"), "UseIP");
  // The user's connection is ended once, before the tests; the last step ends only the trial.
  EXPECT_EQ(w.front->calls(), 1);

  // The report as sent: every key, in order.
  const auto sent = nlohmann::ordered_json::parse(tarnel::toJson(r).value());
  EXPECT_EQ(keysOf(sent), (std::vector<std::string>{"ver", "created_at", "device", "soft", "network", "user", "app",
                                                    "core", "extra"}));
  EXPECT_EQ(keysOf(sent.at("network")), (std::vector<std::string>{"type", "dns", "tests"}));
  EXPECT_EQ(keysOf(sent.at("network").at("tests")[0]), (std::vector<std::string>{"url", "time", "code", "msg"}));
  EXPECT_EQ(keysOf(sent.at("app")),
            (std::vector<std::string>{"id", "ver", "coreVer", "route", "runningModel", "whitelist", "protocol_setup",
                                      "protocol_used", "httpdns", "api", "nodes"}));
  EXPECT_EQ(keysOf(sent.at("app").at("nodes")[2]),
            (std::vector<std::string>{"id", "name", "protocol", "region", "tag", "host", "server", "domain", "port",
                                      "port_turn", "port_test", "open", "test"}));
  EXPECT_EQ(sent.at("app").at("api")[0].at("time").get<std::string>().ends_with(" ms"), true);
}

TEST(DiagnosisRunTest, NodeTestVariesWithProtocolAndMode) {
  struct Case {
    std::string name;
    std::string protocol;
    bool tunnel;
    std::vector<std::string> probeArguments;  // hosts, domain, ports
    std::string serverName;
    std::string proxy;
  };
  const std::vector<Case> cases = {
      {"websocket node in normal mode", "c", false, {"relays.test", "h7-c.nodes.test", "443"}, "h7-c.nodes.test",
       "http://127.0.0.1:18080"},
      {"direct node in tunnel mode", "d", true, {"203.0.113.7", "h7-a.nodes.test", ""}, "h7-d.nodes.test", "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DiagnosisWorld w;
    w.ui.state->setTunnelMode(c.tunnel);
    w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node(c.protocol)});
    w.fakes.diagnosis->script.answer<OpenResult>("openNode", opened("relays.test"));
    w.fakes.diagnosis->script.answer<Answers>("testAllPort", {answer(200, "p.test", 443)});
    w.fakes.diagnosis->script.answer<tarnel::NetworkResult>("fetch", ok(200));
    w.fakes.engine->answerStarts(VPNStatus::connected);
    auto page = w.page();
    w.runToEnd(*page);
    EXPECT_EQ(w.fakes.diagnosis->script.calls("testAllPort")[0].arguments, c.probeArguments);
    const auto config = nlohmann::json::parse(w.fakes.engine->script.calls("startVPN")[0].arguments[0]);
    EXPECT_EQ(config.at("serverName"), c.serverName);
    EXPECT_EQ(config.at("isTun"), c.tunnel);
    EXPECT_EQ(w.fakes.diagnosis->script.calls("fetch").back().arguments[2], c.proxy);
    EXPECT_EQ(page->report()->app.runningModel, c.tunnel ? "Tunnel" : "Listen");
    EXPECT_EQ(w.fakes.engine->script.calls("setIsTun")[0].arguments[0], c.tunnel ? "true" : "false");
  }
}

TEST(DiagnosisRunTest, LeavingThePageEndsTheRunAtEveryStep) {
  for (int step = 1; step <= 7; ++step) {
    SCOPED_TRACE("left at step " + std::to_string(step));
    DiagnosisWorld w;
    scriptWholeRun(w);
    auto gate = std::make_shared<FakeGate>();
    gate->close();
    GateOpener opener{gate};
    auto logsRead = std::make_shared<FakeGate>();
    logsRead->close();
    GateOpener logsOpener{logsRead};
    // Step 5 waits in a trial that never connects; the others wait inside their first call.
    switch (step) {
      case 1: w.front->hold(gate, 0); break;
      case 2: w.fakes.diagnosis->script.gate("fetch", gate); break;
      case 3: w.fakes.diagnosis->script.gate("discover", gate); break;
      case 4: w.fakes.diagnosis->script.gate("apiHosts", gate); break;
      case 5:
        // Far longer than the run may take here: a trial that ends with its time-out fails.
        w.fakes.engine->answerStarts(std::nullopt);
        w.trialTimeout = std::chrono::seconds(90);
        break;
      case 6: w.fakes.engine->script.gate("getLog", gate); break;
      case 7:
        // Only the last step's stop is held: the stops between the trials are answered, so the
        // run gets there without waiting for any bound.
        w.fakes.engine->script.gate("getLog", logsRead);
        break;
    }
    auto page = w.page();
    page->action();
    const auto run = page->run();
    std::size_t stopsBeforeTheLast = 0;
    if (step == 7) {
      ASSERT_TRUE(w.fakes.engine->script.waitForCalls("getLog", 1));
      w.fakes.engine->holdStops(true);
      stopsBeforeTheLast = w.fakes.engine->script.count("stopVPN");
      logsRead->open();
    }
    ASSERT_TRUE(waitFor([&] { return page->step() >= step; }));
    // The page shows a step before the run is inside it: the page goes once the run waits there.
    // A stop that came after the page went and its confirmations were given would be held for
    // good, and the run would end only with its bound.
    if (step == 5) {
      ASSERT_TRUE(w.fakes.engine->script.waitForCalls("startVPN", 1));
    } else if (step == 7) {
      ASSERT_TRUE(w.fakes.engine->script.waitForCalls("stopVPN", stopsBeforeTheLast + 1));
    } else {
      ASSERT_TRUE(gate->waitForVisits(1));
    }
    page.reset();
    gate->open();
    if (step == 7) w.fakes.engine->completeStops();
    // A trial's wait ends with the page, not with its time-out.
    ASSERT_TRUE(run->waitDone(std::chrono::seconds(30)));
    spin(50);
    EXPECT_TRUE(w.noTrialLeft()) << testing::PrintToString(w.engineCalls());
    EXPECT_FALSE(run->trialRunning());
    EXPECT_EQ(w.fakes.diagnosis->script.count("sendReport"), 0u);
    // Nothing after the step it was in: no logs read after step 6 was left, no second disconnect.
    if (step < 6) {
      EXPECT_EQ(w.fakes.engine->script.count("getLog"), 0u);
    }
    EXPECT_EQ(w.front->calls(), 1);
    EXPECT_EQ(w.steps.back(), step);
  }
}

// The user's own connect while a trial waits for its tunnel, with the page kept open and with
// the page left right after: the run never stops or replaces the user's connection, starts no
// further trial, and (kept open) still finishes its report.
TEST(DiagnosisRunTest, AConnectionTheUserStartsDuringATrialIsNeverTouchedByTheRun) {
  for (const bool leave : {false, true}) {
    SCOPED_TRACE(leave ? "page left after the user's connect" : "page kept open");
    DiagnosisWorld w;
    // Far longer than the run may take here: the trial ends with the user's start.
    w.trialTimeout = std::chrono::seconds(90);
    scriptWholeRun(w);
    // The trials wait for a tunnel that does not come.
    w.fakes.engine->answerStarts(std::nullopt);
    auto page = w.page();
    page->action();
    const auto run = page->run();
    ASSERT_TRUE(waitFor([&] { return run->trialRunning(); }));
    // The user's connection reaches the engine (as the connection control starts it).
    w.fakes.engine->startVPN(tarnel::Config(), true, true, false, [](VPNStatus) {});
    const std::size_t userStart = w.engineCalls().size();
    if (leave) page.reset();
    ASSERT_TRUE(run->waitDone(std::chrono::seconds(30)));
    if (!leave) {
      ASSERT_TRUE(waitFor([&] { return page->step() == 8; })) << page->step();
      // The node step kept its summary; no trial after the user's start.
      ASSERT_TRUE(page->report().has_value());
      EXPECT_EQ(page->report()->app.nodes.size(), 1u);
    }
    const auto calls = w.engineCalls();
    EXPECT_EQ(calls.size(), userStart) << "the run touched the engine after the user's start: "
                                       << testing::PrintToString(calls);
    EXPECT_TRUE(run->superseded());
    EXPECT_FALSE(run->trialRunning());
    EXPECT_EQ(w.front->calls(), 1);
  }
}

TEST(DiagnosisRunTest, AwkwardAnswersEndTheNodeStepWithoutFault) {
  struct Case {
    std::string name;
    std::function<void(DiagnosisWorld&)> script;
    std::size_t nodeFetches;
    std::size_t records;
    std::size_t portProbes;
  };
  const std::vector<Case> cases = {
      {"node list stays empty after successful fetches",
       [](DiagnosisWorld&) {}, DiagnosisRun::kMaxNodeFetches, 0, 0},
      {"node list fetch fails",
       [](DiagnosisWorld& w) {
         w.fakes.nodes->script.answer<ServiceError>("fetchNodes", tarnel::APIErrorInfo::make(-1, "network error."));
       },
       1, 0, 0},
      {"node list filled by the fetch",
       [](DiagnosisWorld& w) {
         w.fakes.nodes->script.enqueue<std::vector<tarnel::Node>>("cachedNodes", {});
         w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("c")});
       },
       1, 1, 0},
      {"relay protocol whose open answer has no relay data, country unknown",
       [](DiagnosisWorld& w) {
         w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("e", "zz")});
         w.fakes.diagnosis->script.answer<OpenResult>("openNode", opened());
       },
       0, 1, 0},
      {"open succeeds without an answer",
       [](DiagnosisWorld& w) {
         w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("c")});
         w.fakes.diagnosis->script.answer<OpenResult>("openNode", OpenResult::success(std::nullopt));
       },
       0, 1, 0},
      {"open answer does not decode",
       [](DiagnosisWorld& w) {
         w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("c")});
         w.fakes.diagnosis->script.answer<OpenResult>("openNode", OpenResult::success(answer(200, "", 0, "{\"no")));
       },
       0, 1, 0},
      {"trial that never connects, engine confirming stops twice",
       [](DiagnosisWorld& w) {
         w.trialTimeout = std::chrono::milliseconds(200);
         w.fakes.engine->repeatStopConfirmations(2);
         w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("c")});
         w.fakes.diagnosis->script.answer<OpenResult>("openNode", opened("r.test"));
         w.fakes.diagnosis->script.answer<Answers>("testAllPort", {answer(200, "r.test", 443), answer(200, "r.test", 8443)});
       },
       0, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DiagnosisWorld w;
    c.script(w);
    auto page = w.page();
    w.runToEnd(*page);
    EXPECT_EQ(w.fakes.nodes->script.count("fetchNodes"), c.nodeFetches);
    ASSERT_EQ(page->report()->app.nodes.size(), c.records);
    EXPECT_EQ(w.fakes.diagnosis->script.count("testAllPort"), c.portProbes);
    if (c.records > 0) {
      const auto& summary = page->report()->app.nodes.back();
      EXPECT_EQ(summary.open.size(), 1u);
      EXPECT_EQ(summary.region, "");
      EXPECT_FALSE(summary.turn.has_value());
    }
    EXPECT_TRUE(w.noTrialLeft());
  }
}

TEST(DiagnosisRunTest, OnlyTheFirstEndOfATrialWaitCounts) {
  // The engine reports connected twice, from two threads, right as the time-out is due.
  DiagnosisWorld w;
  w.trialTimeout = std::chrono::milliseconds(30);
  w.fakes.nodes->script.answer<std::vector<tarnel::Node>>("cachedNodes", {node("c")});
  w.fakes.diagnosis->script.answer<OpenResult>("openNode", opened("r.test"));
  w.fakes.diagnosis->script.answer<Answers>("testAllPort", {answer(200, "r.test", 443)});
  std::vector<std::thread> late;
  std::mutex lateMutex;
  w.fakes.engine->script.onCall("startVPN", [&] {
    std::lock_guard lock(lateMutex);
    late.emplace_back([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      w.fakes.engine->emitStatus(VPNStatus::connected);
    });
  });
  w.fakes.engine->answerStarts(VPNStatus::connected);
  auto page = w.page();
  w.runToEnd(*page);
  // However the race went, the node step recorded one trial at most and one summary.
  const auto nodes = page->report()->app.nodes.size();
  EXPECT_TRUE(nodes == 1u || nodes == 2u) << nodes;
  EXPECT_TRUE(w.noTrialLeft());
  for (auto& thread : late) thread.join();
}

TEST(DiagnosisRunTest, TheButtonStartsOnceAndSendsTheFinishedReport) {
  DiagnosisWorld w;
  Router& router = *w.ui.state->router();
  router.push(Route::Kind::tools);
  router.push(Route::Kind::diagnsis);
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  GateOpener opener{gate};
  w.fakes.diagnosis->script.gate("discover", gate);
  auto page = w.page();

  page->action();
  ASSERT_TRUE(waitFor([&] { return page->step() == 3; }));
  page->action();  // taps during the run change nothing
  page->action();
  gate->open();
  ASSERT_TRUE(waitFor([&] { return page->step() == 8; }));
  EXPECT_EQ(w.fakes.diagnosis->script.count("newReport"), 1u);
  EXPECT_EQ(w.fakes.diagnosis->script.count("sendReport"), 0u);

  // A refused upload: the message, the page stays finished; the next tap sends the same report.
  w.fakes.diagnosis->script.enqueue<ServiceError>("sendReport", tarnel::APIErrorInfo::make(5001, "busy"));
  page->action();
  page->action();  // while the first upload is under way
  ASSERT_TRUE(waitFor([&] { return w.ui.toast.message() == "busy"; }));
  EXPECT_EQ(w.fakes.diagnosis->script.count("sendReport"), 1u);
  EXPECT_EQ(page->step(), 8);
  EXPECT_EQ(router.depth(), 2);

  page->action();
  ASSERT_TRUE(waitFor([&] { return router.depth() == 0; }));
  const auto sent = w.fakes.diagnosis->script.calls("sendReport");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].arguments, sent[1].arguments);
  EXPECT_EQ(sent[1].arguments[0], "Listen");
}

}  // namespace
}  // namespace lumora::test
