#include "services/network/BackgroundTasks.h"

namespace tarnel {

BackgroundTasks::~BackgroundTasks() { waitAll(); }

void BackgroundTasks::start(std::function<void()> task) {
  std::list<Task> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = tasks_.begin(); it != tasks_.end();) {
      if (*it->done) {
        finished.splice(finished.end(), tasks_, it++);
      } else {
        ++it;
      }
    }
    auto done = std::make_shared<bool>(false);
    tasks_.push_back(Task{std::thread([this, done, task = std::move(task)] {
                            task();
                            std::lock_guard lock(mutex_);
                            *done = true;
                          }),
                          done});
  }
  for (auto& t : finished) t.thread.join();
}

void BackgroundTasks::waitAll() {
  while (true) {
    std::list<Task> running;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return;
      running.swap(tasks_);
    }
    for (auto& t : running) t.thread.join();
  }
}

}  // namespace tarnel
