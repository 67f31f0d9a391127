#pragma once

// Where host discovery sends its failure records. The cloud log sits a layer above discovery (it
// uploads through the network layer), so discovery only knows this hook: the cloud log installs
// itself as the recorder when the library is loaded. Until a recorder is installed, records are
// dropped. Safe from any thread, also while the process ends.

#include <functional>
#include <map>
#include <string>

namespace tarnel {

using DiscoveryRecord = std::map<std::string, std::string>;
using DiscoveryRecorder = std::function<void(const DiscoveryRecord& fields)>;

// `prepare`, when given, makes the function-local statics the recorder uses: discovery calls it
// (through prepareDiscoveryRecorder) before it makes its shared instance, so that those statics
// are destroyed only after that instance has stopped its background work.
void setDiscoveryRecorder(DiscoveryRecorder recorder, std::function<void()> prepare = {});
void prepareDiscoveryRecorder();
void recordDiscoveryFailure(const DiscoveryRecord& fields);

}  // namespace tarnel
