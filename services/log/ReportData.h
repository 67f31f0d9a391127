#pragma once

// The network-diagnosis report: a tree of plain records whose JSON keys are their field names.
// The service receives toMap(report).

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/base/VPNProtocol.h"
#include "services/common/AppInfo.h"
#include "services/model/Json.h"
#include "services/model/LoginModels.h"
#include "services/model/OpenModels.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

// Answers kept in the report, shared with whoever made them.
using ReportResponses = std::vector<std::shared_ptr<HttpResponse>>;

struct ReportDeviceInfo {
  std::string id;
  std::string name;
  std::string model;
  std::string platform = "darwin";

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("name", self.name);
    v("model", self.model);
    v("platform", self.platform);
  }
};

// One probe of a reference site.
struct ReportNetworkTest {
  std::string url;
  std::string time;  // elapsed milliseconds followed by " ms"
  std::int64_t code = 0;  // HTTP status, the error's code on a transport error, else -1
  std::string msg;        // "", the error's debug description, or "unknown error"

  ReportNetworkTest() = default;
  ReportNetworkTest(std::string url, std::string time, std::int64_t code, std::string msg)
      : url(std::move(url)), time(std::move(time)), code(code), msg(std::move(msg)) {}

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("url", self.url);
    v("time", self.time);
    v("code", self.code);
    v("msg", self.msg);
  }
};

struct ReportNetwork {
  std::string type;
  std::string dns;  // the system's DNS servers joined with ","; "" when none can be read
  std::vector<ReportNetworkTest> tests;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("type", self.type);
    v("dns", self.dns);
    v("tests", self.tests);
  }
};

struct ReportUserInfo {
  std::string id;
  std::string mail;
  std::int64_t expired = 0;
  std::int64_t expired_vip = 0;
  std::int64_t expired_svip = 0;
  std::string agent;
  std::int64_t visibility_svip = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("mail", self.mail);
    v("expired", self.expired);
    v("expired_vip", self.expired_vip);
    v("expired_svip", self.expired_svip);
    v("agent", self.agent);
    v("visibility_svip", self.visibility_svip);
  }
};

// One node tested by the diagnosis.
struct ReportNodeInfo {
  std::string id;
  std::string name;
  std::string protocol;  // protocol code used for the node
  std::string region;
  std::vector<std::int64_t> tag;
  std::string host;
  std::string server;
  std::string domain;
  std::optional<OpenTrun> turn;  // left out of the JSON when the node has no relay
  std::int64_t port = 0;
  std::int64_t port_turn = 0;
  ReportResponses port_test;
  ReportResponses open;
  ReportResponses test;

  ReportNodeInfo() = default;
  ReportNodeInfo(std::string id, std::string name, std::string protocal, std::string region,
                 std::vector<std::int64_t> tag, std::string host, std::string server, std::string domain,
                 std::optional<OpenTrun> turn, std::int64_t port, std::int64_t port_turn, ReportResponses port_test,
                 ReportResponses open, ReportResponses test);

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("name", self.name);
    v("protocol", self.protocol);
    v("region", self.region);
    v("tag", self.tag);
    v("host", self.host);
    v("server", self.server);
    v("domain", self.domain);
    v("turn", self.turn);
    v("port", self.port);
    v("port_turn", self.port_turn);
    v("port_test", self.port_test);
    v("open", self.open);
    v("test", self.test);
  }
};

struct ReportAppInfo {
  std::string id;
  std::string ver;
  std::string coreVer;
  std::string route = "global";
  std::string runningModel;  // "Tunnel" or "Listen" once the diagnosis has started the engine
  std::string whitelist = "[]";
  std::string protocol_setup;  // display name of the user's protocol choice
  std::string protocol_used;   // display name of the protocol in use
  ReportResponses httpdns;
  ReportResponses api;
  std::vector<ReportNodeInfo> nodes;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("ver", self.ver);
    v("coreVer", self.coreVer);
    v("route", self.route);
    v("runningModel", self.runningModel);
    v("whitelist", self.whitelist);
    v("protocol_setup", self.protocol_setup);
    v("protocol_used", self.protocol_used);
    v("httpdns", self.httpdns);
    v("api", self.api);
    v("nodes", self.nodes);
  }
};

// What a new report takes from the running library, read once when the report is made: the
// report is a snapshot and later changes do not reach it.
struct ReportSources {
  AppInfo app;  // versionName, agent, appId and build
  std::string deviceId;
  std::string deviceName;
  std::string deviceModel;
  std::string systemVersion;
  std::string networkType = "Unknown";
  std::string userId;
  Login login;  // the stored sign-in, an empty one when nobody has signed in
  VPNProtocol protocolSetup = VPNProtocol::AUTO;  // the user's choice
  VPNProtocol protocolUsed = VPNProtocol::AUTO;   // the choice, or the protocol of the current attempt
  std::string coreVersion;
  std::optional<std::vector<std::string>> dnsServers;
  std::chrono::system_clock::time_point now;

  // Reads the running library now: the build, the device (its identifier is made and saved first
  // when none is stored), the network type, the stored account, the engine's version and the
  // system's DNS servers. The protocol choice and the protocol in use come from node selection.
  static ReportSources current(VPNProtocol protocolSetup, VPNProtocol protocolUsed);
};

struct ReportData {
  std::string ver;
  std::string created_at;  // local time, "yyyy-MM-dd HH:mm:ss"
  ReportDeviceInfo device;
  std::map<std::string, std::map<std::string, std::string>> soft;
  ReportNetwork network;
  ReportUserInfo user;
  ReportAppInfo app;
  std::string core;   // the engine's core log, once the diagnosis has read it
  std::string extra;  // the engine's crash log, likewise

  // A report holding what the library knows by itself; everything a test produces starts empty.
  static ReportData gather(const ReportSources& sources);

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("ver", self.ver);
    v("created_at", self.created_at);
    v("device", self.device);
    v("soft", self.soft);
    v("network", self.network);
    v("user", self.user);
    v("app", self.app);
    v("core", self.core);
    v("extra", self.extra);
  }
};

}  // namespace tarnel
