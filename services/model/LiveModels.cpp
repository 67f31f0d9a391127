#include "services/model/LiveModels.h"

#include "services/encryption/StringExtension.h"

namespace tarnel {

std::int64_t fetchMask(const Other& fresh, const std::optional<Other>& stored) {
  std::int64_t mask = 0;
  // Stamps compare as texts do: canonically equivalent ones are the same stamp.
  if (!stored || !sameText(stored->country_version, fresh.country_version)) mask |= FetchPart::countries;
  if (!stored || !sameText(stored->tag_version, fresh.tag_version)) mask |= FetchPart::tags;
  if (!stored || !sameText(stored->user_version, fresh.user_version)) mask |= FetchPart::user;
  // An absent stamp equals only another absent one.
  const bool proxyChanged =
      stored ? stored->proxy_version.has_value() != fresh.proxy_version.has_value() ||
                   (fresh.proxy_version && !sameText(*stored->proxy_version, *fresh.proxy_version))
             : fresh.proxy_version.has_value();
  if (proxyChanged) mask |= FetchPart::proxyRule;
  return mask;
}

}  // namespace tarnel
