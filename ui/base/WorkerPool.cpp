#include "ui/base/WorkerPool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace lumora {

struct WorkerPool::State {
  std::mutex mutex;
  // Idle threads wait on `work` alone, so a task's wake-up never goes to a waiter of `changed`
  // (the pool's end, waitForDone), where it would be lost.
  std::condition_variable work;
  std::condition_variable changed;
  std::deque<std::function<void()>> tasks;
  std::size_t threads = 0;  // threads that have not ended
  std::size_t idle = 0;     // threads waiting for work, including those woken that have not yet taken it
  std::size_t busy = 0;
  bool stopping = false;
};

WorkerPool::WorkerPool(std::size_t maxThreads, std::chrono::milliseconds exitGrace)
    : maxThreads_(maxThreads == 0 ? 1 : maxThreads), exitGrace_(exitGrace), state_(std::make_shared<State>()) {}

WorkerPool::~WorkerPool() {
  std::deque<std::function<void()>> dropped;
  {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->work.notify_all();
    // Every thread ends once the queue is empty; a task that blocks (a call that waits on the
    // network, a drawing held inside a library that is being torn down) is not waited out.
    if (!state_->changed.wait_for(lock, exitGrace_, [this] { return state_->threads == 0; })) {
      dropped.swap(state_->tasks);
    }
  }
  // Destroyed outside the lock: a task's captures may take time or locks of their own to go.
  dropped.clear();
}

void WorkerPool::start(std::function<void()> task) {
  std::lock_guard lock(state_->mutex);
  if (state_->stopping) return;
  state_->tasks.push_back(std::move(task));
  // Each idle thread takes one task: one woken for an earlier task may not have taken it yet, so a
  // thread is made while the queue holds more tasks than there are idle threads to take them.
  if (state_->tasks.size() > state_->idle && state_->threads < maxThreads_) {
    ++state_->threads;
    // Detached: the pool's end does not join, and the thread keeps the state alive itself.
    std::thread([state = state_] { run(state); }).detach();
  } else {
    state_->work.notify_one();
  }
}

void WorkerPool::waitForDone() {
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [this] { return state_->tasks.empty() && state_->busy == 0; });
}

void WorkerPool::run(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    ++state->idle;
    state->work.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
    --state->idle;
    if (state->tasks.empty()) break;  // stopping, and nothing left to do
    auto task = std::move(state->tasks.front());
    state->tasks.pop_front();
    ++state->busy;
    lock.unlock();
    task();
    task = nullptr;  // its captures go on this thread, before the pool hears it is done
    lock.lock();
    --state->busy;
    state->changed.notify_all();
  }
  --state->threads;
  state->changed.notify_all();
}

}  // namespace lumora
