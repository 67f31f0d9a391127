#pragma once

#include <string_view>

namespace tarnel::detail {

// Strict UTF-8 well-formedness: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

}  // namespace tarnel::detail
