#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace lumora {

// Threads for blocking calls: a task waits in the queue only while every thread is busy and the
// pool is at its size; threads are made as work needs them.
//
// The pool's end never waits without bound. It stops taking work and lets what it took run for
// at most `exitGrace`; a task still running then is left to finish on its own thread, and tasks
// not yet started are dropped. The queue and counters live as long as the last thread, so a
// thread left behind touches nothing that is gone; what its task uses must outlive it (for the
// process-wide pools: the process-wide objects their calls reach).
class WorkerPool {
 public:
  static constexpr std::chrono::milliseconds kDefaultExitGrace{5000};

  explicit WorkerPool(std::size_t maxThreads, std::chrono::milliseconds exitGrace = kDefaultExitGrace);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void start(std::function<void()> task);
  // Waits until nothing is queued or running.
  void waitForDone();

 private:
  struct State;
  static void run(const std::shared_ptr<State>& state);

  const std::size_t maxThreads_;
  const std::chrono::milliseconds exitGrace_;
  std::shared_ptr<State> state_;
};

}  // namespace lumora
