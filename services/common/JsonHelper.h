#pragma once

// JSON texts of plain values (maps, lists, texts, numbers, booleans, null), as the request bodies,
// the cloud log and the screens write and read them. Failures print a console line and give the
// empty text or none.

#include <optional>
#include <string>
#include <string_view>

#include "services/model/Json.h"

namespace tarnel {

// Compact JSON text of a map or a list, members in their own order (no key sorting). The empty
// text, after an error line, for any other value or when it cannot be written (a text that is
// not UTF-8, a number that is not finite).
std::string jsonEncode(const Json& value);

// The value of a JSON text (any JSON value, a bare text or number included), or none after an
// error line when the text is not JSON or not UTF-8.
std::optional<Json> jsonDecode(std::string_view text);

}  // namespace tarnel
