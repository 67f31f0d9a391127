#pragma once

// Threads that a long-lived service starts and nobody awaits (refreshes, probes), owned by the
// service so that none outlives it: the owner's destructor waits for every one of them.

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace tarnel {

class BackgroundTasks {
 public:
  BackgroundTasks() = default;
  ~BackgroundTasks();
  BackgroundTasks(const BackgroundTasks&) = delete;
  BackgroundTasks& operator=(const BackgroundTasks&) = delete;

  // Runs `task` on a new thread. Threads of tasks that have ended are joined here, so the list
  // stays as long as the number of tasks still running.
  void start(std::function<void()> task);

  // Returns once every task started before or during the wait has ended. Must not be called from
  // one of the tasks.
  void waitAll();

 private:
  struct Task {
    std::thread thread;
    std::shared_ptr<bool> done;  // written under mutex_
  };

  std::mutex mutex_;
  std::list<Task> tasks_;
};

}  // namespace tarnel
