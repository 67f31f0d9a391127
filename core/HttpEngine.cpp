#include "core/HttpEngine.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace helmsey {
namespace {

using Json = nlohmann::ordered_json;

bool engineReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ready;
}

// Called by libcurl while an exchange runs (also while it waits): non-zero ends it.
int onProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

// --- the extra certificate authority (tests only) ---

struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
using Certificates = std::vector<std::unique_ptr<X509, X509Free>>;

std::mutex& extraCaMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<const Certificates>& extraCa() {
  static std::shared_ptr<const Certificates> certs;
  return certs;
}

std::shared_ptr<const Certificates> currentExtraCa() {
  std::lock_guard lock(extraCaMutex());
  return extraCa();
}

CURLcode addExtraCa(CURL*, void* sslContext, void* user) {
  const auto* certs = static_cast<const Certificates*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  // Each exchange gets copies: OpenSSL fills caches inside an X509 while verifying with it, so
  // one object shared by concurrent exchanges would be written from several threads.
  for (const auto& cert : *certs) {
    std::unique_ptr<X509, X509Free> copy(X509_dup(cert.get()));
    if (copy) X509_STORE_add_cert(store, copy.get());
  }
  return CURLE_OK;
}

// --- RAII for libcurl objects ---

struct EasyFree {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct UrlFree {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct ListFree {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CurlText {
  char* text = nullptr;
  ~CurlText() { curl_free(text); }
  std::string str() const { return text ? text : ""; }
};

std::optional<Json> parseObject(std::string_view text) {
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

// Query values may be any JSON value: texts go as they are, null as nothing, the rest as JSON.
std::string queryText(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return {};
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string escape(CURL* handle, const std::string& text) {
  char* escaped = curl_easy_escape(handle, text.data(), static_cast<int>(text.size()));
  if (escaped == nullptr) return {};
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool isIpAddress(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// "name", "name:443", "[v6]:443" → the name part.
std::string hostNameOf(std::string_view hostHeader) {
  if (!hostHeader.empty() && hostHeader.front() == '[') {
    const auto close = hostHeader.find(']');
    return std::string(hostHeader.substr(0, close == std::string_view::npos ? hostHeader.size() : close + 1));
  }
  return std::string(hostHeader.substr(0, hostHeader.find(':')));
}

bool isSafeHeaderText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

struct Exchange {
  std::vector<std::uint8_t> body;
  Json headers = Json::object();
  std::string reason;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  exchange->body.insert(exchange->body.end(), data, data + size * count);
  return size * count;
}

std::string trim(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(begin, end - begin + 1));
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    // A new status line (after an interim answer): only the final answer's headers count.
    exchange->headers = Json::object();
    exchange->reason.clear();
    const auto codeStart = line.find(' ');
    if (codeStart != std::string_view::npos) {
      const auto reasonStart = line.find(' ', codeStart + 1);
      if (reasonStart != std::string_view::npos) exchange->reason = trim(line.substr(reasonStart + 1));
    }
    return line.size();
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return line.size();
  const std::string name = trim(line.substr(0, colon));
  const std::string value = trim(line.substr(colon + 1));
  auto& headers = exchange->headers;
  if (auto it = headers.find(name); it != headers.end()) {
    *it = it->get<std::string>() + ", " + value;
  } else {
    headers[name] = value;
  }
  return line.size();
}

LibXrayHttpResponse failed(LibXrayHttpResponse answer, CURLcode code, std::string text) {
  answer.statusCode = -static_cast<std::int64_t>(code);
  answer.status = text.empty() ? curl_easy_strerror(code) : std::move(text);
  answer.body.reset();
  answer.header = "{}";
  return answer;
}

}  // namespace

LibXrayHttpClient::LibXrayHttpClient(LibXrayHttpOptions options, Json headers, Json parameters)
    : options_(std::move(options)), headers_(std::move(headers)), parameters_(std::move(parameters)) {}

std::shared_ptr<LibXrayHttpClient> LibXrayNewClient(const LibXrayHttpOptions& options) {
  if (!engineReady()) return nullptr;
  auto headers = parseObject(options.headers);
  auto parameters = parseObject(options.parameters);
  if (!headers || !parameters) return nullptr;
  return std::make_shared<LibXrayHttpClient>(options, std::move(*headers), std::move(*parameters));
}

LibXrayHttpResponse LibXrayHttpClient::get(std::string_view path, std::string_view query,
                                           std::string_view headers) const {
  return exchange("GET", path, nullptr, query, headers);
}

LibXrayHttpResponse LibXrayHttpClient::post(std::string_view path, const Body& body, std::string_view query,
                                            std::string_view headers) const {
  return exchange("POST", path, body ? &*body : nullptr, query, headers);
}

LibXrayHttpResponse LibXrayHttpClient::put(std::string_view path, const Body& body, std::string_view query,
                                           std::string_view headers) const {
  return exchange("PUT", path, body ? &*body : nullptr, query, headers);
}

LibXrayHttpResponse LibXrayHttpClient::del(std::string_view path, const Body& body, std::string_view query,
                                           std::string_view headers) const {
  return exchange("DELETE", path, body ? &*body : nullptr, query, headers);
}

LibXrayHttpResponse LibXrayHttpClient::exchange(std::string_view method, std::string_view path,
                                                const std::vector<std::uint8_t>* body, std::string_view queryJson,
                                                std::string_view headersText) const {
  const auto started = std::chrono::steady_clock::now();
  LibXrayHttpResponse answer;
  auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
        .count();
  };

  std::unique_ptr<CURL, EasyFree> handle(engineReady() ? curl_easy_init() : nullptr);
  if (!handle) return failed(answer, CURLE_FAILED_INIT, "the HTTP engine could not start");

  auto query = parseObject(queryJson);
  auto callHeaders = parseObject(headersText);
  if (!query || !callHeaders) {
    return failed(answer, CURLE_BAD_FUNCTION_ARGUMENT, "query and headers must be JSON objects");
  }

  // Query: the client's parameters, then the call's (which win for the same key).
  Json mergedQuery = parameters_;
  for (auto it = query->begin(); it != query->end(); ++it) mergedQuery[it.key()] = it.value();
  std::string url = options_.baseURL + std::string(path);
  if (!mergedQuery.empty()) {
    std::string encoded;
    for (auto it = mergedQuery.begin(); it != mergedQuery.end(); ++it) {
      if (!encoded.empty()) encoded += '&';
      encoded += escape(handle.get(), it.key()) + "=" + escape(handle.get(), queryText(it.value()));
    }
    url += (url.find('?') == std::string::npos ? "?" : "&") + encoded;
  }

  std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  if (!parsed) return failed(answer, CURLE_OUT_OF_MEMORY, {});
  if (const CURLUcode rc = curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0); rc != CURLUE_OK) {
    return failed(answer, CURLE_URL_MALFORMAT, std::string("bad URL: ") + curl_url_strerror(rc));
  }
  CurlText host, urlPath, port;
  curl_url_get(parsed.get(), CURLUPART_HOST, &host.text, 0);
  curl_url_get(parsed.get(), CURLUPART_PATH, &urlPath.text, 0);
  curl_url_get(parsed.get(), CURLUPART_PORT, &port.text, CURLU_DEFAULT_PORT);
  answer.host = host.str();
  answer.path = urlPath.str();
  answer.port = port.str();

  // Headers: the client's, then the call's (same name, any case: the call's wins).
  std::vector<std::pair<std::string, std::string>> headerList;
  auto addHeaders = [&](const Json& object) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      if (!it.value().is_string()) return false;
      const std::string& value = it.value().get_ref<const std::string&>();
      if (it.key().empty() || it.key().find_first_of(": \t") != std::string::npos || !isSafeHeaderText(it.key()) ||
          !isSafeHeaderText(value)) {
        return false;
      }
      std::erase_if(headerList, [&](const auto& h) { return equalsIgnoringCase(h.first, it.key()); });
      headerList.emplace_back(it.key(), value);
    }
    return true;
  };
  if (!addHeaders(headers_) || !addHeaders(*callHeaders)) {
    return failed(answer, CURLE_BAD_FUNCTION_ARGUMENT, "a header is not a single line of text");
  }

  CURL* h = handle.get();
  // Connect to the address in the URL, but speak TLS (SNI, certificate check) for the Host name.
  std::string connectTo;
  std::unique_ptr<curl_slist, ListFree> connectToList;
  const auto hostHeader = std::find_if(headerList.begin(), headerList.end(),
                                       [](const auto& hd) { return equalsIgnoringCase(hd.first, "Host"); });
  if (hostHeader != headerList.end() && isIpAddress(answer.host)) {
    const std::string name = hostNameOf(hostHeader->second);
    if (!name.empty() && !isIpAddress(name)) {
      if (curl_url_set(parsed.get(), CURLUPART_HOST, name.c_str(), 0) != CURLUE_OK) {
        return failed(answer, CURLE_URL_MALFORMAT, "bad Host header: " + hostHeader->second);
      }
      connectTo = name + ":" + answer.port + ":" + answer.host + ":" + answer.port;
      connectToList.reset(curl_slist_append(nullptr, connectTo.c_str()));
      curl_easy_setopt(h, CURLOPT_CONNECT_TO, connectToList.get());
    }
  }
  CurlText finalUrl;
  curl_url_get(parsed.get(), CURLUPART_URL, &finalUrl.text, 0);

  std::unique_ptr<curl_slist, ListFree> headerSlist;
  auto append = [&](const std::string& line) {
    curl_slist* next = curl_slist_append(headerSlist.get(), line.c_str());
    if (next != nullptr) {
      headerSlist.release();
      headerSlist.reset(next);
    }
  };
  bool hasContentType = false;
  bool hasExpect = false;
  for (const auto& [name, value] : headerList) {
    hasContentType = hasContentType || equalsIgnoringCase(name, "Content-Type");
    hasExpect = hasExpect || equalsIgnoringCase(name, "Expect");
    // "Name;" is libcurl's way of sending a header with an empty value.
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  // No form content type and no 100-continue wait unless the caller asks for them.
  if (!hasContentType) append("Content-Type:");
  if (!hasExpect) append("Expect:");

  Exchange exchange;
  char errorText[CURL_ERROR_SIZE] = {0};
  curl_easy_setopt(h, CURLOPT_URL, finalUrl.str().c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  // Safe on many threads: the threaded resolver needs no alarm, and libcurl writes with
  // MSG_NOSIGNAL (TLS included), so a closed peer is an error value, never SIGPIPE.
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(h, CURLOPT_PROXY, options_.proxy.c_str());  // "" also keeps the environment out
  curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (options_.timeout > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(options_.timeout));
  std::string interface;
  if (!options_.localAddr.empty()) {
    interface = (isIpAddress(options_.localAddr) ? "host!" : "if!") + options_.localAddr;
    curl_easy_setopt(h, CURLOPT_INTERFACE, interface.c_str());
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerSlist.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
  const auto extra = currentExtraCa();
  if (extra) {
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, addExtraCa);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, extra.get());
  }

  if (method == "GET") {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  } else {
    if (method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, std::string(method).c_str());
    if (body != nullptr) {
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
      curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body->empty() ? "" : reinterpret_cast<const char*>(body->data()));
    } else if (method == "POST") {
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
      curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, "");
    }
  }

  if (options_.cancel) {
    if (options_.cancel->load()) return failed(std::move(answer), CURLE_ABORTED_BY_CALLBACK, "cancelled");
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, options_.cancel.get());
  }

  const CURLcode rc = curl_easy_perform(h);
  answer.time = elapsed();
  if (rc != CURLE_OK) return failed(std::move(answer), rc, errorText);

  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  answer.statusCode = status;
  answer.status = exchange.reason;
  answer.body = std::move(exchange.body);
  answer.header = exchange.headers.dump(-1, ' ', false, Json::error_handler_t::replace);
  return answer;
}

bool HttpEngine::setExtraCertificateAuthority(const std::filesystem::path& file) {
  FILE* f = std::fopen(file.c_str(), "r");
  if (f == nullptr) return false;
  auto certs = std::make_shared<Certificates>();
  while (X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr)) certs->emplace_back(cert);
  std::fclose(f);
  ERR_clear_error();  // the end of the file leaves a "no start line" error behind
  if (certs->empty()) return false;
  std::lock_guard lock(extraCaMutex());
  extraCa() = std::move(certs);
  return true;
}

void HttpEngine::clearExtraCertificateAuthority() {
  std::lock_guard lock(extraCaMutex());
  extraCa().reset();
}

}  // namespace helmsey
