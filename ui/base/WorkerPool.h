#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumora {

// Threads for blocking calls: a task waits in the queue only while every thread is busy and the
// pool is at its size; threads are made as work needs them. The destructor lets the queued work
// finish and joins every thread, so no thread outlives the pool.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t maxThreads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void start(std::function<void()> task);
  // Waits until nothing is queued or running.
  void waitForDone();

 private:
  void run();

  const std::size_t maxThreads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  std::size_t idle_ = 0;
  std::size_t busy_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace lumora
