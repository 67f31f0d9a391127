#pragma once

// What the endpoints of APIManager share: the password form, the device description and the
// guest sign-in that precedes calls made while nobody is signed in.

#include <memory>
#include <string>

#include "services/model/APIErrorInfo.h"
#include "services/model/Json.h"

namespace tarnel::api_detail {

// Upper-case hexadecimal SHA-256 of the password's bytes: the only form a password travels in.
std::string passwordDigest(const std::string& password);

// DeviceInfo::parameters() as the JSON object bodies carry under "device".
Json deviceParameters();

// When nobody is signed in, signs in as a guest (its result dropped) and answers true: the calling
// endpoint then ends with noUserError() and the caller's next call runs as the guest.
bool signedInAsGuestFirst();

// getDomains(), telling whether lists arrived (a failed call or a null answer brings none).
bool fetchDomainLists();

// 404 with an empty message.
std::shared_ptr<APIErrorInfo> noUserError();

}  // namespace tarnel::api_detail
