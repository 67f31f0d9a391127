#include "tests/support/LogServiceDouble.h"

#include <httplib.h>

#include <algorithm>

namespace tarnel::test {
namespace {

constexpr std::string_view kStorePrefix = "/logstores/";
constexpr std::string_view kTrackSuffix = "/track";

// The store name of "/logstores/<store>/track", or empty.
std::string storeOf(const std::string& path) {
  if (path.size() <= kStorePrefix.size() + kTrackSuffix.size() ||
      path.rfind(kStorePrefix, 0) != 0 ||
      path.compare(path.size() - kTrackSuffix.size(), kTrackSuffix.size(), kTrackSuffix) != 0) {
    return {};
  }
  const std::string store = path.substr(
      kStorePrefix.size(), path.size() - kStorePrefix.size() - kTrackSuffix.size());
  return store.find('/') == std::string::npos ? store : std::string();
}

void inspectBody(LogUpload& upload) {
  auto& faults = upload.faults;
  const auto body = WireJson::parse(upload.body, nullptr, /*allow_exceptions=*/false);
  if (body.is_discarded() || !body.is_object()) {
    faults.push_back("body is not a JSON object");
    return;
  }
  for (const auto& [key, value] : body.items()) {
    if (key != "__topic__" && key != "__logs__") faults.push_back("unexpected body key " + key);
  }
  const auto topic = body.find("__topic__");
  if (topic == body.end() || !topic->is_string() || topic->get_ref<const std::string&>().empty()) {
    faults.push_back("__topic__ is not a non-empty text");
  } else {
    upload.topic = topic->get<std::string>();
  }
  const auto logs = body.find("__logs__");
  if (logs == body.end() || !logs->is_array() || logs->size() != 1) {
    faults.push_back("__logs__ is not an array of exactly one record");
    return;
  }
  const auto& record = logs->front();
  if (!record.is_object()) {
    faults.push_back("the record is not an object");
    return;
  }
  for (const auto& [key, value] : record.items()) {
    if (!value.is_string()) faults.push_back("record member " + key + " is not a text");
  }
  upload.record = record;
}

}  // namespace

LogServiceDouble::LogServiceDouble(const TestCA::Leaf& certificate, std::string address, int port) {
  server_ = std::make_unique<LoopbackHttpsServer>(
      certificate, std::move(address), port,
      [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
}

LogServiceDouble::~LogServiceDouble() { server_.reset(); }

void LogServiceDouble::setState(State state) {
  {
    std::lock_guard lock(mutex_);
    failing_ = state == State::failing;
  }
  if (state == State::refusing) {
    server_->stop();
  } else {
    server_->start();
  }
}

std::vector<LogUpload> LogServiceDouble::uploads() const {
  std::lock_guard lock(mutex_);
  return uploads_;
}

std::vector<LogUpload> LogServiceDouble::accepted(std::string_view topic) const {
  std::lock_guard lock(mutex_);
  std::vector<LogUpload> out;
  std::copy_if(uploads_.begin(), uploads_.end(), std::back_inserter(out),
               [topic](const LogUpload& u) {
                 return u.answeredStatus == 200 && (topic.empty() || u.topic == topic);
               });
  return out;
}

bool LogServiceDouble::waitForUploads(size_t total, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return received_.wait_for(lock, timeout, [&] { return uploads_.size() >= total; });
}

void LogServiceDouble::clear() {
  std::lock_guard lock(mutex_);
  uploads_.clear();
}

void LogServiceDouble::handle(const httplib::Request& req, httplib::Response& res) {
  LogUpload upload;
  upload.method = req.method;
  upload.target = req.path;
  upload.body = req.body;
  upload.sni = LoopbackHttpsServer::serverName(req);
  upload.headers = LoopbackHttpsServer::headersByLowerName(req);
  if (const auto host = upload.headers.find("host"); host != upload.headers.end()) {
    upload.host = host->second;
  }

  upload.store = storeOf(req.path);
  if (upload.store.empty()) upload.faults.push_back("path is not /logstores/<store>/track");
  const auto header = [&upload](const std::string& name) {
    const auto it = upload.headers.find(name);
    return it == upload.headers.end() ? std::string("(none)") : it->second;
  };
  if (header("x-log-apiversion") != kApiVersion) {
    upload.faults.push_back("x-log-apiversion is " + header("x-log-apiversion"));
  }
  if (header("x-log-bodyrawsize") != std::to_string(req.body.size())) {
    upload.faults.push_back("x-log-bodyrawsize is " + header("x-log-bodyrawsize") + " for " +
                            std::to_string(req.body.size()) + " bytes");
  }
  inspectBody(upload);

  if (req.method != "POST") {
    upload.answeredStatus = 405;
  } else if (!upload.faults.empty()) {
    upload.answeredStatus = 400;
  } else {
    upload.answeredStatus = 200;
  }
  {
    std::lock_guard lock(mutex_);
    if (failing_) upload.answeredStatus = 500;
    uploads_.push_back(upload);
  }
  received_.notify_all();

  res.status = upload.answeredStatus;
  if (upload.answeredStatus != 200) {
    const WireJson error{{"errorCode", upload.answeredStatus == 500 ? "InternalServerError"
                                                                    : "InvalidRequest"},
                         {"errorMessage", upload.faults.empty() ? std::string("unavailable")
                                                                 : upload.faults.front()}};
    res.set_content(error.dump(-1, ' ', false, WireJson::error_handler_t::replace),
                    "application/json");
  }
}

}  // namespace tarnel::test
