#pragma once

// The cloud log: error records, analytics events and feedback sent to the hosted log service's
// web-tracking interface, one record per request. A record whose upload fails is kept in the
// settings store under CACHE_LOG and sent again after the next upload that succeeds.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/log/EventType.h"
#include "services/log/LogTopic.h"

namespace tarnel {

// One record whose upload failed, as kept under CACHE_LOG (one JSON text per record).
struct CacheLog {
  std::map<std::string, std::string> log;  // the record
  std::string store;                       // the log store it was meant for
  std::string topic;                       // its "__topic__"
  // When it was kept, in milliseconds since the epoch; records kept by older builds have none
  // and leave only by the count bound.
  std::optional<std::int64_t> kept_at;

  bool operator==(const CacheLog& other) const = default;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("log", self.log);
    v("store", self.store);
    v("topic", self.topic);
    v("kept_at", self.kept_at);
  }
};

// Static operations only. Uploads block the calling thread for up to the request time-out.
// Records kept after a failure are sent again on a worker thread owned by the cloud log, never on
// the caller's thread; that thread is stopped and joined when the process ends.
//
// Safe to call from any thread. The kept records are merged, not overwritten: records kept by
// several threads at once, or by another process using the same settings store, are all kept, and
// a record leaves the store only once it has been delivered again. An upload counts as delivered
// only when the service answers with a 2xx status. A record the service refuses for good (a 4xx
// answer other than 408 and 429: it would be refused again) is dropped, not kept. The kept
// records are bounded by kMaxKeptRecords and kMaxKeptAge; the oldest go first, with a log line.
class CloudLog {
 public:
  CloudLog() = delete;

  using Record = std::map<std::string, std::string>;
  using Completion = std::function<void(bool delivered)>;

  // The log stores of the service.
  static constexpr const char* kLogStore = "k-mac";
  static constexpr const char* kFeedbackStore = "feedback";
  static constexpr const char* kEventStore = "event-tracking";

  // Bounds of the kept records: they live in the settings file, which is rewritten at each write.
  static constexpr std::size_t kMaxKeptRecords = 100;
  static constexpr std::chrono::hours kMaxKeptAge{24 * 7};

  // Adds the common members (time, identity of device and build, network, user) to `fields`
  // (a field of the caller wins over a common one) and uploads the record: to "feedback" for
  // FEEDBACK_PC, to "k-mac" otherwise. `complete`, when given, learns whether it was delivered;
  // it runs on the calling thread before log returns.
  static void log(const std::map<std::string, std::string>& fields, LogTopic topic, Completion complete = {});

  // Uploads an analytics event to "event-tracking": its value, its message as compact JSON text
  // and the identity of device and build (no time members).
  static void onEvent(EventType event, const std::string& value, const std::map<std::string, std::string>& message);

  // Sends the user's feedback ("content" and "email") under FEEDBACK_PC.
  static void addFeedback(const std::string& content, const std::string& email);

  // Uploads one record to `store` under `topic`. On delivery a resend of the kept records is
  // started on the worker; otherwise the record is kept first, then `complete` learns false. A
  // record that cannot be written as JSON (a text that is not UTF-8) is neither sent nor kept,
  // and `complete` learns false.
  static void putlog(const std::string& store, const Record& record, const std::string& topic,
                     Completion complete = {});

  // Keeps one record that could not be delivered, added to what the store already holds; then
  // drops what exceeds the bounds, oldest first.
  static void addCacheLog(const std::string& store, const Record& record, const std::string& topic);

  // The kept records, in the order they were kept. Texts that do not decode are skipped.
  static std::vector<CacheLog> readCacheLogs();

  // Asks the worker for a resend pass over the kept records; returns at once. Requests that come
  // while a pass is running are folded into one further pass.
  static void putCacheLog();

  // Test seams. `host` is the log project's host name (URL and Host header); `authority`, when
  // not empty, is the "address:port" the requests go to instead. Empty host: the built-in one.
  static void setServiceForTesting(const std::string& host, const std::string& authority = {});
  // Waits until no resend pass is running or requested; false on time-out.
  static bool waitForResendsForTesting(std::chrono::milliseconds timeout);
};

}  // namespace tarnel
