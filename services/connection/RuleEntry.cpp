#include "services/connection/RuleEntry.h"

#include <idn2.h>

#include <algorithm>
#include <cstdlib>

#include "core/engine/V2rayConfig.h"

namespace tarnel {

std::string idnaEncoded(const std::string& entry) {
  char* output = nullptr;
  const int rc = idn2_to_ascii_8z(entry.c_str(), &output, 0);
  std::string result = (rc == IDN2_OK && output) ? std::string(output) : entry;
  std::free(output);
  return result;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHostName(std::string_view entry) {
  // Blanks and control characters are never part of a name; IDNA would not keep them either.
  if (std::any_of(entry.begin(), entry.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; })) {
    return false;
  }
  const std::string encoded = idnaEncoded(std::string(entry));
  // A trailing dot would make the engine's matcher read a different name than the user sees.
  if (encoded.empty() || encoded.back() == '.') return false;
  const auto lastDot = encoded.rfind('.');
  if (lastDot == std::string::npos) return false;
  const std::string_view last = std::string_view(encoded).substr(lastDot + 1);
  if (std::all_of(last.begin(), last.end(), isDigit)) return false;
  return helmsey::engine::domainRule(encoded).has_value();
}

}  // namespace

std::optional<RuleEntryKind> ruleEntryKind(std::string_view entry) {
  if (entry.empty()) return std::nullopt;
  // A block ("10.0.0.0/8") is an address the engine takes, but no host the user names.
  if (entry.find('/') != std::string_view::npos) return std::nullopt;
  if (helmsey::engine::addressRule(entry)) return RuleEntryKind::address;
  if (isHostName(entry)) return RuleEntryKind::domain;
  return std::nullopt;
}

}  // namespace tarnel
