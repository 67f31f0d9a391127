#pragma once

#include <QObject>
#include <QPointer>

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include "ui/base/GuiQueue.h"
#include "ui/base/WorkerPool.h"

namespace lumora {

// Runs blocking service calls off the GUI thread and brings their results back to it.
class Workers {
 public:
  // Runs `blockingCall` on the pool, then `applyOnGui(result)` on the GUI thread through a
  // queued call; dropped when `context` (an object of the GUI thread) is gone by then. The
  // caller never waits.
  template <class F, class G>
  static void run(QObject* context, F blockingCall, G applyOnGui) {
    QPointer<QObject> guard(context);
    pool().start([guard, call = std::move(blockingCall), apply = std::move(applyOnGui)]() mutable {
      using Result = std::invoke_result_t<F&>;
      if constexpr (std::is_void_v<Result>) {
        call();
        post(guard, [apply = std::move(apply)]() mutable { apply(); });
      } else {
        auto result = std::make_shared<Result>(call());
        post(guard, [apply = std::move(apply), result]() mutable { apply(std::move(*result)); });
      }
    });
  }

  // Runs `blockingCall` on the pool with no result to bring back.
  template <class F>
  static void run(F blockingCall) {
    pool().start(std::move(blockingCall));
  }

  // The pool the calls run on; at exit it lets its work finish within its grace, never longer.
  static WorkerPool& pool();

 private:
  // The guard is read only on the GUI thread: a QPointer is not safe to read while another
  // thread deletes its object.
  template <class H>
  static void post(QPointer<QObject> guard, H work) {
    GuiQueue::post([guard = std::move(guard), work = std::move(work)]() mutable {
      if (guard) work();
    });
  }
};

}  // namespace lumora
