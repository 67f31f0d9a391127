#pragma once

// What every service interface of the pages shares: the failure value of the service library
// (null on success) and the library's models, which the pages read as they are.

#include <memory>

#include "services/model/APIErrorInfo.h"

namespace lumora {

// "Error or none": null when the operation did what was asked, otherwise the library's failure,
// whose `errMsg` is the text to show.
using ServiceError = std::shared_ptr<tarnel::APIErrorInfo>;

}  // namespace lumora
