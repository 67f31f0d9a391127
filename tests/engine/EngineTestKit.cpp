#include "tests/engine/EngineTestKit.h"

#include <curl/curl.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/EngineEnvironment.h"

namespace tarnel::test::engine {

helmsey::VPNStatusCallback StatusRecorder::callback() const {
  return [record = record_](helmsey::VPNStatus status) {
    {
      std::lock_guard lock(record->mutex);
      record->statuses.push_back(status);
      record->threads.push_back(std::this_thread::get_id());
    }
    record->changed.notify_all();
  };
}

bool StatusRecorder::waitFor(helmsey::VPNStatus status, std::chrono::milliseconds timeout, int count) const {
  std::unique_lock lock(record_->mutex);
  return record_->changed.wait_for(lock, timeout, [&] {
    return std::count(record_->statuses.begin(), record_->statuses.end(), status) >= count;
  });
}

std::vector<helmsey::VPNStatus> StatusRecorder::statuses() const {
  std::lock_guard lock(record_->mutex);
  return record_->statuses;
}

std::vector<std::thread::id> StatusRecorder::threads() const {
  std::lock_guard lock(record_->mutex);
  return record_->threads;
}

namespace {

size_t collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

Fetch fetch(const std::string& url, Via via, std::uint16_t port, const std::filesystem::path& ca,
            std::chrono::milliseconds timeout) {
  Fetch result;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.error = "no curl handle";
    return result;
  }
  const std::string proxy =
      (via == Via::httpProxy ? "http://127.0.0.1:" : "socks5h://127.0.0.1:") + std::to_string(port);
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
  curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_easy_cleanup(curl);
  result.ok = code == CURLE_OK && result.status == 200;
  if (code != CURLE_OK) result.error = std::string(curl_easy_strerror(code)) + ": " + error;
  return result;
}

Fetch fetchThroughEngine(const std::string& url, Via via, const std::filesystem::path& ca,
                         std::chrono::milliseconds timeout) {
  return fetch(url, via, via == Via::httpProxy ? helmsey::CoreManager::httpPort() : helmsey::CoreManager::socksPort(), ca,
               timeout);
}

Json tunnelConfig(std::uint16_t nodePort, const std::string& protocol, const std::string& password) {
  return Json{
      {"isSmart", false},
      {"isTun", false},
      {"unlock", Json::array()},
      {"alway", Json::array()},
      {"alwayIPs", Json::array()},
      {"direct", Json::array()},
      {"directIPs", Json::array()},
      {"blockDomains", Json::array()},
      {"blockIPs", Json::array()},
      {"servers", {{"address", "127.0.0.1"}, {"port", nodePort}, {"password", password}}},
      {"protocol", protocol},
      {"serverName", kNodeName},
      {"dns", "auto"},
      {"dnsStrategy", "UseIP"},
  };
}

std::vector<pid_t> engineChildren() {
  std::vector<pid_t> found;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return found;
  while (const dirent* task = ::readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    std::ifstream children(std::string("/proc/self/task/") + task->d_name + "/children");
    pid_t pid = 0;
    while (children >> pid) {
      std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
      std::stringstream text;
      text << cmdline.rdbuf();
      if (text.str().find("stdin:") != std::string::npos) found.push_back(pid);
    }
  }
  ::closedir(tasks);
  return found;
}

bool processGone(pid_t pid) {
  // A zombie still has its /proc entry; only a reaped child is gone.
  struct stat info {};
  return ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0;
}

bool waitGone(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!processGone(pid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::filesystem::path writeScript(const std::filesystem::path& directory, const std::string& name,
                                  const std::string& body) {
  std::filesystem::create_directories(directory);
  const auto file = directory / name;
  std::ofstream(file) << "#!/bin/sh\n" << body;
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  return file;
}

void prependToPath(const std::filesystem::path& directory) {
  const char* path = std::getenv("PATH");
  const std::string value = directory.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin");
  ::setenv("PATH", value.c_str(), 1);
}

LoopbackWorld::LoopbackWorld()
    : ca_(dir_.path()),
      pageLeaf_(ca_.issue("page", {"page.test", "blocked.test", "localhost"}, {"127.0.0.1"})),
      nodeLeaf_(ca_.issue("node", {kNodeName}, {"127.0.0.1"})) {
  page_ = std::make_unique<LoopbackHttpsServer>(pageLeaf_, "127.0.0.1", 0,
                                                [](const httplib::Request& request, httplib::Response& response) {
                                                  response.set_content("reached from " + request.remote_addr,
                                                                       "text/plain");
                                                });
  helmsey::EngineEnvironment environment;
  environment.extraCaCertificate = ca_.certificatePath();
  helmsey::setEngineEnvironment(environment);
}

std::string LoopbackWorld::pageUrl(const std::string& host) const {
  return "https://" + host + ":" + std::to_string(pagePort()) + "/";
}

V2rayNode::Kind LoopbackWorld::kindFor(const std::string& protocol) {
  if (protocol == "b" || protocol == "ts") return V2rayNode::Kind::vmess;
  if (protocol == "d" || protocol == "e") return V2rayNode::Kind::vless;
  if (protocol == "c") return V2rayNode::Kind::trojanWebSocket;
  return V2rayNode::Kind::trojan;
}

std::string LoopbackWorld::credentialFor(const std::string& protocol) {
  const auto kind = kindFor(protocol);
  const bool uuid = kind == V2rayNode::Kind::vmess || kind == V2rayNode::Kind::vless;
  return uuid ? randomUuid() : "pw-" + randomUuid().substr(0, 12);
}

std::unique_ptr<V2rayNode> LoopbackWorld::node(const std::string& protocol, const std::string& credential) {
  V2rayNode::Options options;
  options.kind = kindFor(protocol);
  options.credential = credential;
  options.certificate = nodeLeaf_;
  options.hosts = {{"page.test", "127.0.0.1"}, {"blocked.test", "127.0.0.1"}};
  options.sendThrough = kNodeSource;
  return std::make_unique<V2rayNode>(options, dir_.path());
}

}  // namespace tarnel::test::engine
