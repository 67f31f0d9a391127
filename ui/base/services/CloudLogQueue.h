#pragma once

// The one ordered queue for the pages' cloud-log records (events, logs, feedback). A page hands
// a record over and goes on at once; one worker thread of the queue's own uploads the records
// one after another in the order they were handed over, so the GUI thread never waits for the
// log service and events of one action reach it in their order.
//
// Destruction stops taking records and drains what is queued for at most the drain bound; the
// records still queued then are dropped (the log service keeps only what it was asked to send),
// and the upload in flight, bounded by the library's request time-out, is waited for.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ui/base/services/CloudLogService.h"

namespace lumora {

class CloudLogQueue {
 public:
  static constexpr std::chrono::milliseconds kDefaultDrainBound{3000};

  explicit CloudLogQueue(std::shared_ptr<CloudLogService> service,
                         std::chrono::milliseconds drainBound = kDefaultDrainBound);
  ~CloudLogQueue();
  CloudLogQueue(const CloudLogQueue&) = delete;
  CloudLogQueue& operator=(const CloudLogQueue&) = delete;

  // Each queues one record and returns at once; after destruction has begun they are ignored.
  void log(LogFields fields, tarnel::LogTopic topic);
  void event(tarnel::EventType event, std::string value = {}, LogFields message = {});
  void feedback(std::string content, std::string email);

  // Waits until every record queued before the call has been handed to the service; false when
  // `timeout` passed first. Not to be called from the GUI thread outside tests.
  bool flush(std::chrono::milliseconds timeout);

  // Records queued and not yet handed to the service (the one in flight included).
  std::size_t pending() const;
  // Records dropped by a drain that ran out of time.
  std::uint64_t dropped() const;

 private:
  using Task = std::function<void(CloudLogService&)>;

  void enqueue(Task task);
  void run();

  std::shared_ptr<CloudLogService> service_;
  std::chrono::milliseconds drainBound_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Task> tasks_;
  std::uint64_t queued_ = 0;  // records ever queued
  std::uint64_t done_ = 0;    // records handed over or dropped
  std::uint64_t dropped_ = 0;
  bool inFlight_ = false;
  bool stopping_ = false;
  std::thread worker_;  // last: started once the members above exist
};

}  // namespace lumora
