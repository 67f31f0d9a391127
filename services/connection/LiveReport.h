#pragma once

// The diagnosis report of the running program in one call. It sits with node selection, which
// keeps the user's protocol choice and the protocol in use that the report names.

#include "services/log/ReportData.h"

namespace tarnel {

// ReportData::gather over the live sources: the build, the device, the network, the stored
// account, the engine's version and the system's DNS servers, with the user's stored protocol
// choice and the protocol in use from the process-wide node selection.
ReportData liveReport();

}  // namespace tarnel
