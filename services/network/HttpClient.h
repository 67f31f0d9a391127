#pragma once

// The library's only way to speak HTTP: every request goes to the core framework's HTTP engine,
// whose answer comes back as an HttpResponse. Every call blocks the calling thread; a client is
// made for one request on one thread and then dropped.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/HttpEngine.h"
#include "services/model/Json.h"
#include "services/network/HttpResponse.h"

namespace tarnel {

class HttpClient {
 public:
  using Body = std::optional<std::vector<std::uint8_t>>;
  using Texts = std::map<std::string, std::string>;

  // `timeout` is handed to the engine unchanged (seconds); `localAddr` and `proxy` are empty for
  // none; `parameters` is a JSON object of query parameters sent with every request.
  // `cancel`, when given and set, ends the exchanges of this client early (as failed ones);
  // without one, the exchanges end early once the program is leaving (abandonAllForExit).
  HttpClient(std::string baseURL, std::int64_t timeout, std::string localAddr, std::string proxy,
             Texts headers, Json parameters, std::shared_ptr<const std::atomic<bool>> cancel = nullptr);

  std::shared_ptr<HttpResponse> get(std::string_view path, const Texts& parameters = {},
                                    const Texts& headers = {}) const;
  // A body of none sends no body.
  std::shared_ptr<HttpResponse> post(std::string_view path, const Body& body, const Texts& parameters = {},
                                     const Texts& headers = {}) const;
  std::shared_ptr<HttpResponse> put(std::string_view path, const Body& body, const Texts& parameters = {},
                                    const Texts& headers = {}) const;
  std::shared_ptr<HttpResponse> del(std::string_view path, const Body& body, const Texts& parameters = {},
                                    const Texts& headers = {}) const;

  // The program is leaving: every exchange under way without a cancel of its own ends as a
  // failed one (within about a second), and none is sent any more, so that no worker waits out
  // a time-out while the program ends. For good: there is no way back.
  static void abandonAllForExit();

  // The engine's answer as an HttpResponse: the port text read as a signed decimal (0 when it is
  // not one), the header text as a dictionary (empty when it is not an object of texts).
  static std::shared_ptr<HttpResponse> makeResponse(const helmsey::LibXrayHttpResponse& answer);

  std::string baseURL;
  std::int64_t timeout = 0;
  std::string localAddr;
  std::string proxy;
  Texts headers;
  Json parameters;
  // Null when the engine refused the options (for example a header that is not UTF-8): every
  // request then answers -1 with the reason instead of going out.
  std::shared_ptr<helmsey::LibXrayHttpClient> client;
};

// Pretty-printed JSON text of a dictionary; the empty text (with a printed line) when it cannot
// be written, for example because a text in it is not UTF-8.
std::string jsonText(const Json& from);

// The object of texts in a JSON text; empty when the text is no JSON (printed), or JSON that is
// not an object whose members are all texts (not printed).
std::map<std::string, std::string> dictionary(std::string_view fromJSON);

}  // namespace tarnel
