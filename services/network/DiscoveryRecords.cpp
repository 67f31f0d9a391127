#include "services/network/DiscoveryRecords.h"

#include <mutex>
#include <utility>

namespace tarnel {
namespace {

struct Holder {
  std::mutex mutex;
  DiscoveryRecorder recorder;
  std::function<void()> prepare;
};

Holder& holder() {
  // Never destroyed: discovery's background work may still record while the process ends.
  static Holder* instance = new Holder;
  return *instance;
}

}  // namespace

void setDiscoveryRecorder(DiscoveryRecorder recorder, std::function<void()> prepare) {
  Holder& h = holder();
  std::lock_guard lock(h.mutex);
  h.recorder = std::move(recorder);
  h.prepare = std::move(prepare);
}

void prepareDiscoveryRecorder() {
  std::function<void()> prepare;
  {
    Holder& h = holder();
    std::lock_guard lock(h.mutex);
    prepare = h.prepare;
  }
  if (prepare) prepare();
}

void recordDiscoveryFailure(const DiscoveryRecord& fields) {
  DiscoveryRecorder recorder;
  {
    Holder& h = holder();
    std::lock_guard lock(h.mutex);
    recorder = h.recorder;
  }
  // Called outside the lock: the recorder uploads, which may take the request time-out.
  if (recorder) recorder(fields);
}

}  // namespace tarnel
