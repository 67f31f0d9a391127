#include "ui/base/WorkerPool.h"

namespace lumora {

WorkerPool::WorkerPool(std::size_t maxThreads) : maxThreads_(maxThreads == 0 ? 1 : maxThreads) {}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void WorkerPool::start(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  tasks_.push_back(std::move(task));
  if (idle_ == 0 && threads_.size() < maxThreads_) {
    threads_.emplace_back([this] { run(); });
  } else {
    changed_.notify_one();
  }
}

void WorkerPool::waitForDone() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return tasks_.empty() && busy_ == 0; });
}

void WorkerPool::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    changed_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    --idle_;
    if (tasks_.empty()) return;  // stopping, and nothing left to do
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    ++busy_;
    lock.unlock();
    task();
    lock.lock();
    --busy_;
    changed_.notify_all();
  }
}

}  // namespace lumora
