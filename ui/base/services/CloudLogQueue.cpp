#include "ui/base/services/CloudLogQueue.h"

#include <utility>

namespace lumora {

CloudLogQueue::CloudLogQueue(std::shared_ptr<CloudLogService> service, std::chrono::milliseconds drainBound)
    : service_(std::move(service)), drainBound_(drainBound), worker_([this] { run(); }) {}

CloudLogQueue::~CloudLogQueue() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  changed_.notify_all();
  const bool drained =
      changed_.wait_for(lock, drainBound_, [this] { return tasks_.empty() && !inFlight_; });
  if (!drained) {
    dropped_ += tasks_.size();
    done_ += tasks_.size();
    tasks_.clear();
    changed_.notify_all();
  }
  lock.unlock();
  // Only the upload in flight, if any, is left; the worker ends after it.
  worker_.join();
}

void CloudLogQueue::log(LogFields fields, tarnel::LogTopic topic) {
  enqueue([fields = std::move(fields), topic](CloudLogService& service) { service.log(fields, topic); });
}

void CloudLogQueue::event(tarnel::EventType event, std::string value, LogFields message) {
  enqueue([event, value = std::move(value), message = std::move(message)](CloudLogService& service) {
    service.onEvent(event, value, message);
  });
}

void CloudLogQueue::feedback(std::string content, std::string email) {
  enqueue([content = std::move(content), email = std::move(email)](CloudLogService& service) {
    service.addFeedback(content, email);
  });
}

void CloudLogQueue::enqueue(Task task) {
  std::lock_guard lock(mutex_);
  if (stopping_ || !service_) return;
  tasks_.push_back(std::move(task));
  ++queued_;
  changed_.notify_all();
}

bool CloudLogQueue::flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = queued_;
  return changed_.wait_for(lock, timeout, [&] { return done_ >= target; });
}

std::size_t CloudLogQueue::pending() const {
  std::lock_guard lock(mutex_);
  return tasks_.size() + (inFlight_ ? 1 : 0);
}

std::uint64_t CloudLogQueue::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void CloudLogQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // stopping, and nothing left to send
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    inFlight_ = true;
    lock.unlock();
    task(*service_);
    lock.lock();
    inFlight_ = false;
    ++done_;
    changed_.notify_all();
  }
}

}  // namespace lumora
