#pragma once

// The HTTP engine of the core framework: one blocking exchange per call, one libcurl handle per
// exchange, nothing kept between exchanges.
//
// Dictionaries cross this boundary as JSON object texts. Every call ends in an answer object:
// a failed exchange (refused, timed out, TLS refused, bad input) gives a negative status code,
// minus the libcurl error code, with the error text as status.
//
// TLS is always verified. A request whose URL names an IP address and that carries a Host
// header connects to that address but sends SNI for, and verifies the certificate against,
// the Host name. The proxy environment variables are never read: only the given proxy is used.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace helmsey {

struct LibXrayHttpOptions {
  std::string baseURL;            // every request path is appended to it
  std::int64_t timeout = 0;       // seconds for the whole exchange; 0 or less: no limit
  std::string localAddr;          // source address or interface name; empty: the system's choice
  std::string proxy;              // proxy URL (http://host:port, socks5://…); empty: direct
  std::string headers = "{}";     // JSON object of texts, sent with every request
  std::string parameters = "{}";  // JSON object, query parameters of every request
  // When given and set, an exchange under way ends as a failed one (within about a second), and
  // a new one is not sent: so a process can end without waiting out the time-outs.
  std::shared_ptr<const std::atomic<bool>> cancel;
};

struct LibXrayHttpResponse {
  std::int64_t statusCode = 0;  // HTTP status, or negative for a failed exchange
  std::string status;           // reason phrase of the status line, or the error text
  std::optional<std::vector<std::uint8_t>> body;  // none when no answer arrived
  std::int64_t time = 0;        // milliseconds the exchange took
  std::string host;             // host of the request URL
  std::string path;             // path of the request URL
  std::string port;             // port the request went to, decimal
  std::string header = "{}";    // JSON object of the response headers (repeated ones joined by ", ")
};

class LibXrayHttpClient {
 public:
  using Body = std::optional<std::vector<std::uint8_t>>;

  // `query` and `headers` are JSON object texts; their members win over the client's own.
  LibXrayHttpResponse get(std::string_view path, std::string_view query, std::string_view headers) const;
  // A body of none sends no body.
  LibXrayHttpResponse post(std::string_view path, const Body& body, std::string_view query,
                           std::string_view headers) const;
  LibXrayHttpResponse put(std::string_view path, const Body& body, std::string_view query,
                          std::string_view headers) const;
  LibXrayHttpResponse del(std::string_view path, const Body& body, std::string_view query,
                          std::string_view headers) const;

  // Made only by LibXrayNewClient.
  LibXrayHttpClient(LibXrayHttpOptions options, nlohmann::ordered_json headers, nlohmann::ordered_json parameters);

 private:
  LibXrayHttpResponse exchange(std::string_view method, std::string_view path, const std::vector<std::uint8_t>* body,
                               std::string_view query, std::string_view headers) const;

  LibXrayHttpOptions options_;
  nlohmann::ordered_json headers_;
  nlohmann::ordered_json parameters_;
};

// A client for the options; null when the engine cannot start or when `headers` or
// `parameters` is not a JSON object text.
std::shared_ptr<LibXrayHttpClient> LibXrayNewClient(const LibXrayHttpOptions& options);

class HttpEngine {
 public:
  // Trusts the PEM certificate(s) in `file` in addition to the system's authorities, for every
  // later exchange of the process. Test seam only; false when the file holds no certificate.
  static bool setExtraCertificateAuthority(const std::filesystem::path& file);
  static void clearExtraCertificateAuthority();
};

}  // namespace helmsey
