#include "services/log/CloudLog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"
#include "services/base/Logger.h"
#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/common/Store.h"
#include "services/model/Json.h"
#include "services/network/DiscoveryRecords.h"
#include "services/network/NetworkRequest.h"

#ifndef TARNEL_LOG_HOST
#error "TARNEL_LOG_HOST (the log project's host name) comes from the build configuration"
#endif

namespace tarnel {
namespace {

constexpr const char* kApiVersion = "0.6.0";
constexpr const char* kTrackPath = "/logstores/%@/track";
constexpr std::string_view kStorePlaceholder = "%@";

// --- where uploads go ---

struct Service {
  std::string host;       // log project's host name: URL and Host header
  std::string authority;  // where the request connects instead, when not empty
};

std::mutex& serviceMutex() {
  static std::mutex m;
  return m;
}

Service& serviceOverride() {
  static Service service;
  return service;
}

std::string trackUrl(const std::string& store, std::string& host) {
  Service service;
  {
    std::lock_guard lock(serviceMutex());
    service = serviceOverride();
  }
  host = service.host.empty() ? std::string(TARNEL_LOG_HOST) : service.host;
  std::string path = kTrackPath;
  path.replace(path.find(kStorePlaceholder), kStorePlaceholder.size(), store);
  return "https://" + (service.authority.empty() ? host : service.authority) + path;
}

// --- record members ---

// Milliseconds as the shortest decimal text that reads back as the same double, always with a
// fraction ("1700000000123.0").
std::string millisecondsText(double milliseconds) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, milliseconds, std::chars_format::fixed);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::to_string(milliseconds);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string localDateTimeText(std::time_t seconds) {
  std::tm parts{};
  localtime_r(&seconds, &parts);
  char buffer[32];
  const auto length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts);
  return std::string(buffer, length);
}

CloudLog::Record commonRecord() {
  const AppInfo app;
  const auto now = std::chrono::system_clock::now();
  const double seconds = std::chrono::duration<double>(now.time_since_epoch()).count();
  return {
      {"agent", app.agent},
      {"app_id", app.appId},
      {"device_id", DeviceInfo::ID()},
      {"device_model", DeviceInfo::Model()},
      {"device_name", DeviceInfo::Name()},
      {"device_platform", DeviceInfo::Platform()},
      {"network", Global::networkType()},
      // dt and ts are one instant: the whole second of ts, in local time.
      {"dt", localDateTimeText(static_cast<std::time_t>(std::floor(seconds)))},
      {"system", DeviceInfo::System()},
      {"ts", millisecondsText(seconds * 1000.0)},
      {"user_id", Global::userId()},
      {"version", app.versionName},
  };
}

// --- the upload ---

// One upload of one record, a success only when the service answered 2xx. None for a body that
// cannot be written: it is not sent.
std::optional<NetworkResult> upload(const std::string& store, const CloudLog::Record& record, const std::string& topic) {
  Json body = Json::object();
  body["__topic__"] = topic;
  body["__logs__"] = Json::array({json::encodeValue(record)});
  // Only a text that is not UTF-8 makes this fail; jsonEncode has said why.
  const auto text = jsonEncode(body);
  if (text.empty()) {
    Logger::log(LogLevel::error, "Failed to convert JSON data to string.");
    return std::nullopt;
  }

  std::string host;
  const std::string url = trackUrl(store, host);
  NetworkRequest request(url, HttpMethod::POST, text, std::nullopt,
                         std::map<std::string, std::string>{
                             {"Host", host},
                             {"x-log-apiversion", kApiVersion},
                             {"x-log-bodyrawsize", std::to_string(text.size())},
                         },
                         std::nullopt, std::nullopt);
  // The service takes a record only with a 2xx answer; anything else must stay kept.
  request.acceptableStatusCodes.clear();
  for (std::int64_t code = 200; code < 300; ++code) request.acceptableStatusCodes.push_back(code);
  return request.request();
}

// A 4xx answer says the record itself is at fault, so sending it again can only fail again; 408
// (time-out) and 429 (too many requests) say nothing about the record.
bool refusedForGood(const NetworkResult& result) {
  const auto error = result.error();
  if (!error) return false;
  return error->code >= 400 && error->code < 500 && error->code != 408 && error->code != 429;
}

std::int64_t nowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Drops kept texts older than the age bound, then the oldest beyond the count bound. Texts that
// do not decode carry no age and are left to the resend pass, which drops them.
void enforceBounds(std::vector<std::string>& texts) {
  const std::int64_t oldest =
      nowMilliseconds() - std::chrono::duration_cast<std::chrono::milliseconds>(CloudLog::kMaxKeptAge).count();
  const auto before = texts.size();
  std::erase_if(texts, [oldest](const std::string& text) {
    const auto record = fromJson<CacheLog>(text);
    return record && record->kept_at && *record->kept_at < oldest;
  });
  const auto aged = before - texts.size();
  std::size_t excess = 0;
  if (texts.size() > CloudLog::kMaxKeptRecords) {
    excess = texts.size() - CloudLog::kMaxKeptRecords;
    texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(excess));
  }
  if (aged + excess > 0) {
    Logger::log(LogLevel::info, "cache log over its bounds: dropped " + std::to_string(aged) + " too old and " +
                                    std::to_string(excess) + " oldest of too many");
  }
}

// --- the kept records ---

// Threads of this process take the mutex, processes the lock file; the list is always read from
// the store inside both, so nobody writes back a list that misses someone else's record.
class KeptRecords {
 public:
  template <class Change>
  static void update(Change&& change) {
    std::lock_guard guard(mutex());
    const platform::FileLock lock(lockFile());
    auto texts = read();
    change(texts);
    Store::setValue(StoreKeys::CACHE_LOG, StoreValue(std::move(texts)));
  }

  static std::vector<std::string> snapshot() {
    std::lock_guard guard(mutex());
    return read();
  }

 private:
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }

  static std::filesystem::path lockFile() {
    const auto dir = platform::appConfigDir();
    platform::ensureDirectory(dir);
    return dir / "CACHE_LOG.lock";
  }

  // The texts of the stored list; an entry of another kind (placed there by something else) is
  // left out and so goes at the next write, without taking the others with it.
  static std::vector<std::string> read() { return Store::getTexts(StoreKeys::CACHE_LOG); }
};

// Removes the first kept text equal to `text` (identical records are kept once each).
void removeKept(const std::string& text) {
  KeptRecords::update([&](std::vector<std::string>& texts) {
    if (const auto it = std::find(texts.begin(), texts.end(), text); it != texts.end()) texts.erase(it);
  });
}

// --- the resend worker ---

// Owns the thread that sends kept records again. Made on the first request for a resend and
// destroyed (the thread stopped and joined) when the process ends; the store is touched before
// the thread starts (and every other function-local static the thread uses is made first) so
// that they are torn down only after this object.
class ResendWorker {
 public:
  static ResendWorker& shared() {
    static ResendWorker worker;
    return worker;
  }

  void request() {
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    changed_.notify_all();
  }

  bool waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !requested_ && !running_; });
  }

  ~ResendWorker() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  ResendWorker(const ResendWorker&) = delete;
  ResendWorker& operator=(const ResendWorker&) = delete;

 private:
  ResendWorker() {
    std::string host;
    (void)trackUrl({}, host);
    (void)KeptRecords::snapshot();
    thread_ = std::thread([this] { run(); });
  }

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return requested_ || stopping_; });
      if (stopping_) return;
      requested_ = false;
      running_ = true;
      lock.unlock();
      pass();
      lock.lock();
      running_ = false;
      changed_.notify_all();
    }
  }

  bool stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  // Every kept record is tried once; it leaves the store only when delivered, so a failure keeps
  // it in place (not a second copy) for a later pass.
  void pass() {
    for (const auto& text : KeptRecords::snapshot()) {
      if (stopping()) return;
      const auto record = fromJson<CacheLog>(text);
      if (!record) {
        removeKept(text);
        continue;
      }
      const auto result = upload(record->store, record->log, record->topic);
      if (!result) {
        removeKept(text);  // it can never be written; keeping it would only fail again
        continue;
      }
      if (!result->isSuccess()) {
        Logger::log(LogLevel::error, "upload log faild: " + result->error()->debugDescription());
        if (refusedForGood(*result)) {
          removeKept(text);
          Logger::log(LogLevel::info, "drop cache log refused by the service: [" + record->store + ":" +
                                          record->topic + "]");
        }
        continue;
      }
      removeKept(text);
      Logger::log(LogLevel::info, "reupload log: [" + record->store + ":" + record->topic + "]");
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// Host discovery's failure records come here from the moment the library is loaded.
[[maybe_unused]] const bool discoveryRecorderInstalled = [] {
  setDiscoveryRecorder([](const DiscoveryRecord& fields) { CloudLog::log(fields, LogTopic::ERROR_HTTPDNS); },
                       [] { (void)CloudLog::readCacheLogs(); });
  return true;
}();

std::string joinedFields(const std::map<std::string, std::string>& fields) {
  std::string text;
  for (const auto& [key, value] : fields) {
    if (!text.empty()) text += ",";
    text += key + ": " + value;
  }
  return text;
}

}  // namespace

void CloudLog::log(const std::map<std::string, std::string>& fields, LogTopic topic, Completion complete) {
  const std::string topicText(rawValue(topic));
  Logger::log(LogLevel::debug, "[" + topicText + "] -> " + joinedFields(fields));
  Record record = commonRecord();
  for (const auto& [key, value] : fields) record[key] = value;
  const char* store = topic == LogTopic::FEEDBACK_PC ? kFeedbackStore : kLogStore;
  putlog(store, record, topicText, std::move(complete));
}

void CloudLog::onEvent(EventType event, const std::string& value, const std::map<std::string, std::string>& message) {
  const AppInfo app;
  const Record record{
      {"agent", app.agent},
      {"app_id", app.appId},
      {"device_id", DeviceInfo::ID()},
      {"device_model", DeviceInfo::Model()},
      {"device_name", DeviceInfo::Name()},
      {"msg", jsonEncode(json::encodeValue(message))},
      {"network", Global::networkType()},
      {"platform", DeviceInfo::Platform()},
      {"system", DeviceInfo::System()},
      {"uid", Global::userId()},
      {"value", value},
      {"version", app.versionName},
  };
  putlog(kEventStore, record, std::string(rawValue(event)));
}

void CloudLog::addFeedback(const std::string& content, const std::string& email) {
  log({{"content", content}, {"email", email}}, LogTopic::FEEDBACK_PC);
}

void CloudLog::putlog(const std::string& store, const Record& record, const std::string& topic, Completion complete) {
  const auto result = upload(store, record, topic);
  if (!result) {
    // Never sent and never kept; the caller still hears that it was not delivered.
    if (complete) complete(false);
    return;
  }
  if (result->isSuccess()) {
    // The resend of kept records is asked for before the caller hears: a caller that goes on to
    // wait for the resends finds them already under way.
    putCacheLog();
    if (complete) complete(true);
    Logger::log(LogLevel::info, "upload log [" + store + ":" + topic + "] => success");
    return;
  }
  Logger::log(LogLevel::error, "upload log faild: " + result->error()->debugDescription());
  if (refusedForGood(*result)) {
    Logger::log(LogLevel::info, "log refused by the service, not kept: [" + store + ":" + topic + "]");
  } else {
    // Kept before the caller hears of the failure, so that it is safe once the caller goes on.
    addCacheLog(store, record, topic);
  }
  if (complete) complete(false);
}

void CloudLog::addCacheLog(const std::string& store, const Record& record, const std::string& topic) {
  Logger::log(LogLevel::info, "add cache log: [" + store + ":" + topic + "]");
  const auto text = toJson(CacheLog{record, store, topic, nowMilliseconds()});
  if (!text) return;
  KeptRecords::update([&](std::vector<std::string>& texts) {
    texts.push_back(*text);
    enforceBounds(texts);
  });
}

std::vector<CacheLog> CloudLog::readCacheLogs() {
  std::vector<CacheLog> records;
  for (const auto& text : KeptRecords::snapshot()) {
    if (auto record = fromJson<CacheLog>(text)) records.push_back(std::move(*record));
  }
  return records;
}

void CloudLog::putCacheLog() {
  if (KeptRecords::snapshot().empty()) return;
  ResendWorker::shared().request();
}

void CloudLog::setServiceForTesting(const std::string& host, const std::string& authority) {
  std::lock_guard lock(serviceMutex());
  serviceOverride() = Service{host, authority};
}

bool CloudLog::waitForResendsForTesting(std::chrono::milliseconds timeout) {
  return ResendWorker::shared().waitUntilIdle(timeout);
}

}  // namespace tarnel
