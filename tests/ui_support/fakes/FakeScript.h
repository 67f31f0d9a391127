#pragma once

// The scripting and call record every fake service shares. A test scripts, per operation name
// (the interface's member name, e.g. "login"), what the next calls answer, how long they take and
// what else happens when they run; afterwards it reads which calls came, in order, with their
// arguments as texts. Thread-safe: calls may come from any number of threads while the test
// scripts and reads.
//
//   fakes.account->script.answer<ServiceError>("login", tarnel::APIErrorInfo::make(3303, "full"));
//   fakes.account->script.enqueue<ServiceError>("login", nullptr);   // the next call only
//   fakes.notices->script.gate("notices", gate);                     // calls wait at the gate
//   fakes.account->script.onCall("login", [&] { ... });               // runs inside the call
//   EXPECT_EQ(fakes.account->script.count("login"), 1u);

#include <any>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "tests/support/Gate.h"

namespace lumora {

using FakeGate = tarnel::test::Gate;

struct FakeCall {
  std::string operation;
  std::vector<std::string> arguments;

  bool operator==(const FakeCall&) const = default;
};

class FakeScript {
 public:
  // Every later call of `operation` answers `value` (unless a queued answer comes first). The
  // type must be the operation's result type, named explicitly.
  template <class R>
  void answer(const std::string& operation, std::type_identity_t<R> value) {
    std::lock_guard lock(mutex_);
    entry(operation).always = std::any(std::move(value));
  }
  // The next call of `operation` answers `value`; queued answers are used in order, once each.
  template <class R>
  void enqueue(const std::string& operation, std::type_identity_t<R> value) {
    std::lock_guard lock(mutex_);
    entry(operation).once.emplace_back(std::move(value));
  }
  // Every later call of `operation` takes this long before it answers.
  void delay(const std::string& operation, std::chrono::milliseconds duration) {
    std::lock_guard lock(mutex_);
    entry(operation).delay = duration;
  }
  // Every later call of `operation` passes `gate` (waits while it is closed) before it answers.
  void gate(const std::string& operation, std::shared_ptr<FakeGate> gate) {
    std::lock_guard lock(mutex_);
    entry(operation).gate = std::move(gate);
  }
  // Runs inside every later call of `operation`, after its wait, before it answers; on the
  // calling thread, with no lock of the script held.
  void onCall(const std::string& operation, std::function<void()> effect) {
    std::lock_guard lock(mutex_);
    entry(operation).effect = std::move(effect);
  }
  // Forgets answers, delays, gates and effects (not the calls).
  void reset() {
    std::lock_guard lock(mutex_);
    entries_.clear();
  }

  std::vector<FakeCall> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<FakeCall> calls(const std::string& operation) const {
    std::lock_guard lock(mutex_);
    std::vector<FakeCall> found;
    for (const auto& call : calls_) {
      if (call.operation == operation) found.push_back(call);
    }
    return found;
  }
  std::size_t count(const std::string& operation) const { return calls(operation).size(); }
  // The operation names of every call so far, in order.
  std::vector<std::string> operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& call : calls_) names.push_back(call.operation);
    return names;
  }
  // Waits until `operation` was called at least `total` times (counted on arrival).
  bool waitForCalls(const std::string& operation, std::size_t total,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      std::size_t seen = 0;
      for (const auto& call : calls_) seen += call.operation == operation ? 1 : 0;
      return seen >= total;
    });
  }
  void clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

  // For the fakes: records the call, waits as scripted, runs the effect and gives the scripted
  // answer, or `fallback` when none is scripted.
  template <class R>
  R call(const std::string& operation, std::vector<std::string> arguments, R fallback) {
    std::optional<std::any> answer = enter(operation, std::move(arguments));
    if (!answer) return fallback;
    if (R* value = std::any_cast<R>(&*answer)) return std::move(*value);
    std::fprintf(stderr, "fake %s: scripted answer of type %s, the operation answers %s\n", operation.c_str(),
                 answer->type().name(), typeid(R).name());
    std::abort();
  }
  void call(const std::string& operation, std::vector<std::string> arguments) {
    (void)enter(operation, std::move(arguments));
  }

 private:
  struct Entry {
    std::optional<std::any> always;
    std::deque<std::any> once;
    std::chrono::milliseconds delay{0};
    std::shared_ptr<FakeGate> gate;
    std::function<void()> effect;
  };

  Entry& entry(const std::string& operation) { return entries_[operation]; }

  std::optional<std::any> enter(const std::string& operation, std::vector<std::string> arguments) {
    std::optional<std::any> answer;
    std::chrono::milliseconds delay{0};
    std::shared_ptr<FakeGate> gate;
    std::function<void()> effect;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({operation, std::move(arguments)});
      changed_.notify_all();
      if (auto found = entries_.find(operation); found != entries_.end()) {
        Entry& e = found->second;
        if (!e.once.empty()) {
          answer = std::move(e.once.front());
          e.once.pop_front();
        } else {
          answer = e.always;
        }
        delay = e.delay;
        gate = e.gate;
        effect = e.effect;
      }
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    if (gate) gate->pass();
    if (effect) effect();
    return answer;
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, Entry> entries_;
  std::vector<FakeCall> calls_;
};

}  // namespace lumora
