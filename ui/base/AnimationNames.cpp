#include "ui/base/AnimationNames.h"

namespace lumora {

QString rawValue(AnimationNames name) {
  switch (name) {
    case AnimationNames::ani_show: return QStringLiteral("ani_show");
    case AnimationNames::ani_loop: return QStringLiteral("ani_loop");
    case AnimationNames::ani_end: return QStringLiteral("ani_end");
    case AnimationNames::ani_close: return QStringLiteral("ani_close");
    case AnimationNames::ani_closeloop: return QStringLiteral("ani_closeloop");
    case AnimationNames::ani_closeend: return QStringLiteral("ani_closeend");
    case AnimationNames::ani_yes: return QStringLiteral("ani_yes");
    case AnimationNames::ani_no: return QStringLiteral("ani_no");
    case AnimationNames::bg_ok: return QStringLiteral("bg_ok");
    case AnimationNames::bg_blue: return QStringLiteral("bg_blue");
    case AnimationNames::bg_close: return QStringLiteral("bg_close");
    case AnimationNames::bg_black: return QStringLiteral("bg_black");
    case AnimationNames::loading: return QStringLiteral("loading");
  }
  return {};
}

std::optional<AnimationNames> animationNameFromRaw(const QString& raw) {
  for (auto name : kAllAnimationNames) {
    if (rawValue(name) == raw) return name;
  }
  return std::nullopt;
}

}  // namespace lumora
