#include "services/network/HttpClient.h"

#include <charconv>
#include <cstdio>

#include "platform/LogText.h"

namespace tarnel {
namespace {

constexpr std::int64_t kNoClientStatus = -1;
constexpr std::string_view kNoClientText = "the HTTP engine refused the request options";

void printLine(const std::string& line) {
  const std::string text = platform::escapeControlCharacters(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::int64_t portNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return 0;
  }
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

}  // namespace

std::string jsonText(const Json& from) {
  std::string error;
  if (auto text = json::dump(from, &error)) return *text;
  printLine("Error converting dictionary to JSON: " + error);
  return {};
}

std::map<std::string, std::string> dictionary(std::string_view fromJSON) {
  std::string error;
  const auto parsed = json::parse(fromJSON, &error);
  if (!parsed) {
    printLine("Error converting JSON string to dictionary: " + error);
    return {};
  }
  std::map<std::string, std::string> result;
  if (!parsed->is_object()) return {};
  for (auto it = parsed->begin(); it != parsed->end(); ++it) {
    if (!it.value().is_string()) return {};
    result.emplace(it.key(), it.value().get<std::string>());
  }
  return result;
}

namespace {

// Never destroyed: workers may still send while the process ends.
const std::shared_ptr<std::atomic<bool>>& leavingFlag() {
  static const auto* flag = new std::shared_ptr<std::atomic<bool>>(std::make_shared<std::atomic<bool>>(false));
  return *flag;
}

}  // namespace

void HttpClient::abandonAllForExit() { leavingFlag()->store(true); }

HttpClient::HttpClient(std::string baseURL, std::int64_t timeout, std::string localAddr, std::string proxy,
                       Texts headers, Json parameters, std::shared_ptr<const std::atomic<bool>> cancel)
    : baseURL(std::move(baseURL)),
      timeout(timeout),
      localAddr(std::move(localAddr)),
      proxy(std::move(proxy)),
      headers(std::move(headers)),
      parameters(std::move(parameters)) {
  helmsey::LibXrayHttpOptions options;
  options.baseURL = this->baseURL;
  options.timeout = this->timeout;
  options.localAddr = this->localAddr;
  options.proxy = this->proxy;
  options.headers = jsonText(Json(this->headers));
  options.parameters = jsonText(this->parameters);
  options.cancel = cancel ? std::move(cancel) : leavingFlag();
  client = helmsey::LibXrayNewClient(options);
}

std::shared_ptr<HttpResponse> HttpClient::makeResponse(const helmsey::LibXrayHttpResponse& answer) {
  return std::make_shared<HttpResponse>(answer.statusCode, answer.status, answer.body, answer.time, answer.host,
                                        answer.path, portNumber(answer.port), dictionary(answer.header));
}

namespace {

std::shared_ptr<HttpResponse> noClient(const HttpClient& c, std::string_view path) {
  return std::make_shared<HttpResponse>(kNoClientStatus, std::string(kNoClientText), std::nullopt, 0, c.baseURL,
                                        std::string(path), 0, std::map<std::string, std::string>{});
}

}  // namespace

std::shared_ptr<HttpResponse> HttpClient::get(std::string_view path, const Texts& query, const Texts& extra) const {
  if (!client) return noClient(*this, path);
  return makeResponse(client->get(path, jsonText(Json(query)), jsonText(Json(extra))));
}

std::shared_ptr<HttpResponse> HttpClient::post(std::string_view path, const Body& body, const Texts& query,
                                               const Texts& extra) const {
  if (!client) return noClient(*this, path);
  return makeResponse(client->post(path, body, jsonText(Json(query)), jsonText(Json(extra))));
}

std::shared_ptr<HttpResponse> HttpClient::put(std::string_view path, const Body& body, const Texts& query,
                                              const Texts& extra) const {
  if (!client) return noClient(*this, path);
  return makeResponse(client->put(path, body, jsonText(Json(query)), jsonText(Json(extra))));
}

std::shared_ptr<HttpResponse> HttpClient::del(std::string_view path, const Body& body, const Texts& query,
                                              const Texts& extra) const {
  if (!client) return noClient(*this, path);
  return makeResponse(client->del(path, body, jsonText(Json(query)), jsonText(Json(extra))));
}

}  // namespace tarnel
