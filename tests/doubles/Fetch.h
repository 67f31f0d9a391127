#pragma once

// A bare libcurl exchange for talking to the doubles without any client code in between.

#include <curl/curl.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace tarnel::test {

struct Fetched {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
  std::string error;
};

struct FetchRequest {
  std::string method = "GET";
  std::string url;
  std::map<std::string, std::string> headers;
  std::optional<std::string> body;
  std::optional<std::string> resolve;  // "name:port:address": reach a name on a loopback address
};

inline Fetched fetch(const FetchRequest& request, const std::filesystem::path& caCertificate) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  Fetched out;
  if (!initialised) {
    out.code = CURLE_FAILED_INIT;
    return out;
  }
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : request.headers) {
    // "name;" is curl's way of sending a header with an empty value.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    headers = curl_slist_append(headers, line.c_str());
  }
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  if (request.method == "GET") curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  if (request.body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body->data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body->size()));
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_slist* resolve = request.resolve ? curl_slist_append(nullptr, request.resolve->c_str()) : nullptr;
  curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
  curl_easy_setopt(curl, CURLOPT_CAINFO, caCertificate.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                   +[](char* data, size_t size, size_t count, void* sink) -> size_t {
                     static_cast<std::string*>(sink)->append(data, size * count);
                     return size * count;
                   });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
  out.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
  out.error = error;
  curl_slist_free_all(headers);
  curl_slist_free_all(resolve);
  curl_easy_cleanup(curl);
  return out;
}

}  // namespace tarnel::test
