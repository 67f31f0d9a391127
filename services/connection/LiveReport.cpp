#include "services/connection/LiveReport.h"

#include "services/connection/NodeController.h"

namespace tarnel {

ReportData liveReport() {
  const NodeController& nodes = NodeController::shared();
  return ReportData::gather(ReportSources::current(nodes.selectedProtocol(), nodes.currentProtocol()));
}

}  // namespace tarnel
