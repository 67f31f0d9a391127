#include "tests/support/ServiceDouble.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <thread>

namespace tarnel::test {
namespace {

constexpr std::string_view kApiPrefix = "/v6/";
constexpr std::string_view kDiscoveryPath = "/v6/get6";
constexpr std::string_view kProbePaths[] = {"/v6/test", "/v5-web/test", "/test"};

constexpr int kSignatureRejected = 4001;
constexpr int kTimestampRejected = 4000;
constexpr int kBadRequest = 4002;

std::vector<std::string_view> segments(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) {
      parts.push_back(path.substr(start));
      return parts;
    }
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
}

std::optional<int64_t> parseMillis(const std::string& text) {
  if (text.empty() || text.size() > 18 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return std::nullopt;
  }
  return std::stoll(text);
}

}  // namespace

Answer Answer::model(WireJson value, int status) {
  Answer a;
  a.kind = Kind::json;
  a.status = status;
  a.json = std::move(value);
  return a;
}

Answer Answer::error(int errCode, std::string errMsg, int status, WireJson extra) {
  WireJson body{{"errCode", errCode}, {"errMsg", std::move(errMsg)}};
  for (auto& [key, value] : extra.items()) body[key] = value;
  return model(std::move(body), status);
}

Answer Answer::textBody(std::string body, int status) {
  Answer a;
  a.kind = Kind::text;
  a.status = status;
  a.text = std::move(body);
  return a;
}

Answer Answer::empty(int status) {
  Answer a;
  a.kind = Kind::empty;
  a.status = status;
  return a;
}

Answer Answer::garbage(int status) {
  return textBody("<html><body>502 upstream went away</body></html>", status).plain();
}

Answer Answer::drop() {
  Answer a;
  a.kind = Kind::drop;
  a.status = 0;
  return a;
}

Answer Answer::plain() && {
  encipher = false;
  return std::move(*this);
}

Answer Answer::plain() const& {
  Answer copy = *this;
  copy.encipher = false;
  return copy;
}

ServiceDouble::ServiceDouble(const TestCA::Leaf& certificate, std::string address, int port,
                             std::string domain)
    : domain_(std::move(domain)) {
  for (const auto path : kProbePaths) {
    probes_.emplace(std::string(path), Answer::textBody("ok").plain());
  }
  // Last: requests may arrive as soon as the server exists.
  server_ = std::make_unique<LoopbackHttpsServer>(
      certificate, std::move(address), port,
      [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
}

ServiceDouble::~ServiceDouble() { server_.reset(); }

bool ServiceDouble::pathMatches(std::string_view pattern, std::string_view path) {
  const auto want = segments(pattern);
  const auto have = segments(path);
  if (want.size() != have.size()) return false;
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i] != "*" && want[i] != have[i]) return false;
  }
  return true;
}

ServiceDouble::Route& ServiceDouble::routeFor(std::string method, std::string path) {
  for (auto& route : routes_) {
    if (route.method == method && route.pattern == path) return route;
  }
  routes_.push_back(Route{std::move(method), std::move(path), std::nullopt, {}, {}});
  return routes_.back();
}

void ServiceDouble::script(std::string method, std::string path, Answer answer) {
  std::lock_guard lock(mutex_);
  routeFor(std::move(method), std::move(path)).always = std::move(answer);
}

void ServiceDouble::enqueue(std::string method, std::string path, Answer answer) {
  std::lock_guard lock(mutex_);
  routeFor(std::move(method), std::move(path)).once.push_back(std::move(answer));
}

void ServiceDouble::respond(std::string method, std::string path, Responder responder) {
  std::lock_guard lock(mutex_);
  routeFor(std::move(method), std::move(path)).responder = std::move(responder);
}

void ServiceDouble::setHold(Hold hold) {
  std::lock_guard lock(mutex_);
  hold_ = std::move(hold);
}

void ServiceDouble::clearScripts() {
  std::lock_guard lock(mutex_);
  routes_.clear();
}

void ServiceDouble::setDiscovery(const WireJson& body, wire::DiscoveryLayers layers,
                                 const std::string& version) {
  setDiscoveryAnswer(Answer::textBody(wire::discoveryAnswer(body, version, layers)).plain());
}

void ServiceDouble::setDiscoveryAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  discovery_ = std::move(answer);
}

void ServiceDouble::setProbeAnswer(const std::string& path, Answer answer) {
  std::lock_guard lock(mutex_);
  probes_.insert_or_assign(path, std::move(answer));
}

void ServiceDouble::setMode(Mode mode, int count) {
  std::lock_guard lock(mutex_);
  mode_ = count == 0 ? Mode::normal : mode;
  modeCount_ = count;
}

void ServiceDouble::setClockOffset(std::chrono::milliseconds offset) {
  std::lock_guard lock(mutex_);
  clockOffsetMs_ = offset.count();
}

int64_t ServiceDouble::nowMs() const {
  std::lock_guard lock(mutex_);
  return wire::nowMs() + clockOffsetMs_;
}

void ServiceDouble::setTimestampTolerance(std::chrono::milliseconds tolerance) {
  std::lock_guard lock(mutex_);
  toleranceMs_ = tolerance.count();
}

std::vector<ServiceRequest> ServiceDouble::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<ServiceRequest> ServiceDouble::requests(std::string_view method,
                                                    std::string_view path) const {
  std::lock_guard lock(mutex_);
  std::vector<ServiceRequest> out;
  for (const auto& r : requests_) {
    if (r.kind == ServiceRequest::Kind::api && r.method == method && pathMatches(path, r.path)) {
      out.push_back(r);
    }
  }
  return out;
}

std::vector<ServiceRequest> ServiceDouble::requests(ServiceRequest::Kind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<ServiceRequest> out;
  std::copy_if(requests_.begin(), requests_.end(), std::back_inserter(out),
               [kind](const ServiceRequest& r) { return r.kind == kind; });
  return out;
}

size_t ServiceDouble::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

size_t ServiceDouble::count(std::string_view method, std::string_view path) const {
  return requests(method, path).size();
}

bool ServiceDouble::waitForRequests(size_t total, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return answered_.wait_for(lock, timeout, [&] { return requests_.size() >= total; });
}

void ServiceDouble::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

void ServiceDouble::handle(const httplib::Request& req, httplib::Response& res) {
  ServiceRequest seen;
  seen.method = req.method;
  seen.target = req.path;
  seen.path = req.path;
  seen.localAddress = req.local_addr;
  seen.sni = LoopbackHttpsServer::serverName(req);
  seen.rawBody = req.body;
  seen.receivedAtMs = nowMs();
  seen.headers = LoopbackHttpsServer::headersByLowerName(req);
  if (const auto host = seen.headers.find("host"); host != seen.headers.end()) {
    seen.host = host->second;
  }

  if (req.path == kDiscoveryPath) {
    seen.kind = ServiceRequest::Kind::discovery;
  } else if (std::find(std::begin(kProbePaths), std::end(kProbePaths), req.path) !=
             std::end(kProbePaths)) {
    seen.kind = ServiceRequest::Kind::probe;
  } else if (req.path.rfind(kApiPrefix, 0) == 0) {
    seen.kind = ServiceRequest::Kind::api;
    seen.path = req.path.substr(kApiPrefix.size());
    inspectApi(req, seen);
  }

  Answer answer;
  Hold hold;
  {
    std::lock_guard lock(mutex_);
    answer = chooseAnswer(seen);
    seen.answeredStatus = answer.kind == Answer::Kind::drop ? 0 : answer.status;
    if (seen.kind == ServiceRequest::Kind::api) hold = hold_;
    requests_.push_back(seen);
  }
  answered_.notify_all();
  if (hold) hold(seen);
  send(answer, req, res);
}

void ServiceDouble::inspectApi(const httplib::Request& req, ServiceRequest& seen) const {
  auto& faults = seen.faults;
  const auto header = [&seen](std::string_view name) -> std::string {
    const auto it = seen.headers.find(std::string(name));
    return it == seen.headers.end() ? std::string() : it->second;
  };

  if (header(wire::kPublicHeader) != wire::kPlatform) {
    faults.push_back("vomel-secret-public is not \"darwin\"");
  }
  const std::string stamp = header(wire::kTimespanHeader);
  seen.timestamp = parseMillis(stamp);
  if (!seen.timestamp) {
    faults.push_back("vomel-secret-timespan is not a time stamp in milliseconds");
  } else {
    std::lock_guard lock(mutex_);
    const int64_t skew = *seen.timestamp - seen.receivedAtMs;
    if (skew > toleranceMs_ || -skew > toleranceMs_) faults.push_back("stale time stamp");
  }
  if (header(wire::kSignHeader) != wire::sign(stamp)) {
    faults.push_back("vomel-secret-sign does not sign the time stamp");
  }
  if (header("content-type") != "application/json") {
    faults.push_back("Content-Type is not application/json");
  }

  for (const auto& [name, value] : req.params) {
    if (name != "secret") faults.push_back("query parameter besides secret: " + name);
  }
  if (req.get_param_value_count("secret") != 1) {
    faults.push_back("no single secret parameter");
  } else {
    seen.secret = req.get_param_value("secret");
    if (!wire::isLowerHex(seen.secret)) faults.push_back("secret is not lowercase hexadecimal");
    if (auto text = wire::decipher(seen.secret)) {
      seen.queryText = *text;
      for (auto& [key, value] : wire::parseQuery(seen.queryText)) {
        seen.query.insert_or_assign(std::move(key), std::move(value));
      }
    } else {
      faults.push_back("secret does not decipher");
    }
  }

  if (!req.body.empty()) {
    if (!wire::isLowerHex(req.body)) faults.push_back("body is not lowercase hexadecimal");
    if (auto text = wire::decipher(req.body)) {
      seen.bodyText = *text;
      auto parsed = WireJson::parse(*text, nullptr, /*allow_exceptions=*/false);
      if (parsed.is_discarded()) {
        faults.push_back("body is not JSON");
      } else {
        seen.body = std::move(parsed);
      }
    } else {
      faults.push_back("body does not decipher");
    }
  }
}

Answer ServiceDouble::chooseAnswer(const ServiceRequest& seen) {
  if (mode_ != Mode::normal) {
    const Mode mode = mode_;
    if (modeCount_ > 0 && --modeCount_ == 0) mode_ = Mode::normal;
    switch (mode) {
      case Mode::rejectTimestamp:
        return Answer::error(kTimestampRejected, "请求时间错误\nrequest time error", 403,
                             {{"timestamp", wire::nowMs() + clockOffsetMs_}});
      case Mode::status525:
        return Answer::textBody("<html><body>525: SSL handshake failed</body></html>", 525).plain();
      case Mode::garbage:
        return Answer::garbage();
      case Mode::drop:
        return Answer::drop();
      case Mode::normal:
        break;
    }
  }

  switch (seen.kind) {
    case ServiceRequest::Kind::discovery:
      if (discovery_) return *discovery_;
      return Answer::textBody(wire::discoveryAnswer(wire::discoveryBody(domain_, {address()})))
          .plain();
    case ServiceRequest::Kind::probe:
      return probes_.at(seen.target);
    case ServiceRequest::Kind::other:
      return Answer::textBody("not found", 404).plain();
    case ServiceRequest::Kind::api:
      break;
  }

  const auto hasFault = [&seen](std::string_view prefix) {
    return std::any_of(seen.faults.begin(), seen.faults.end(),
                       [prefix](const std::string& f) { return f.rfind(prefix, 0) == 0; });
  };
  if (hasFault("vomel-secret")) {
    return Answer::error(kSignatureRejected, "签名错误\nsignature error", 403);
  }
  if (hasFault("stale time stamp")) {
    return Answer::error(kTimestampRejected, "请求时间错误\nrequest time error", 403,
                         {{"timestamp", seen.receivedAtMs}});
  }
  if (hasFault("no single secret") || hasFault("secret does not") || hasFault("body does not") ||
      hasFault("body is not JSON")) {
    return Answer::error(kBadRequest, "请求错误\nbad request", 400);
  }

  // An exact path first, then patterns in the order they were scripted.
  for (const bool exact : {true, false}) {
    for (auto& route : routes_) {
      const bool isPattern = route.pattern.find('*') != std::string::npos;
      if (route.method != seen.method || isPattern == exact ||
          !pathMatches(route.pattern, seen.path)) {
        continue;
      }
      if (!route.once.empty()) {
        Answer answer = std::move(route.once.front());
        route.once.pop_front();
        return answer;
      }
      if (route.responder) return route.responder(seen);
      if (route.always) return *route.always;
    }
  }
  return Answer::error(404, "not found", 404);
}

void ServiceDouble::send(const Answer& answer, const httplib::Request& req,
                         httplib::Response& res) const {
  res.status = answer.status;
  switch (answer.kind) {
    case Answer::Kind::drop:
      res.status = 500;  // never reaches the client
      LoopbackHttpsServer::dropConnection(req);
      return;
    case Answer::Kind::empty:
      return;
    case Answer::Kind::json: {
      const std::string text = answer.json.dump();
      if (answer.encipher) {
        res.set_content(wire::encipher(text), "text/plain");
      } else {
        res.set_content(text, "application/json");
      }
      return;
    }
    case Answer::Kind::text:
      res.set_content(answer.encipher ? wire::encipher(answer.text) : answer.text, "text/plain");
      return;
  }
}

}  // namespace tarnel::test
