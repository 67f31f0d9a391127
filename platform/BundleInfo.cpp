#include "platform/BundleInfo.h"

#include "platform/BundleConfig.h"

namespace platform {

const BundleInfo& mainBundle() {
  static const BundleInfo info{bundle::kBundleIdentifier, bundle::kShortVersion, bundle::kBuildVersion,
                               bundle::kDisplayName,      bundle::kAgent,        bundle::kApiAppId,
                               bundle::kIsAppStore};
  return info;
}

}  // namespace platform
