#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

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

  // The pool the calls run on (waited for at exit by its owner, the application object's end).
  static QThreadPool& pool();

 private:
  // The guard is read only on the GUI thread (a QPointer is not safe to read while another
  // thread deletes its object), so the call goes to the application object and checks there.
  template <class H>
  static void post(QPointer<QObject> guard, H work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [guard = std::move(guard), work = std::move(work)]() mutable {
          if (guard) work();
        },
        Qt::QueuedConnection);
  }
};

}  // namespace lumora
