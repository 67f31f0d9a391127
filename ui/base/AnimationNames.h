#pragma once

#include <QString>

#include <array>
#include <optional>

namespace lumora {

// The vector animations of the home screen; the raw value is the case name and the animation
// resource's name.
enum class AnimationNames {
  ani_show,
  ani_loop,
  ani_end,
  ani_close,
  ani_closeloop,
  ani_closeend,
  ani_yes,
  ani_no,
  bg_ok,
  bg_blue,
  bg_close,
  bg_black,
  loading,
};

inline constexpr std::array<AnimationNames, 13> kAllAnimationNames{
    AnimationNames::ani_show,  AnimationNames::ani_loop,      AnimationNames::ani_end,      AnimationNames::ani_close,
    AnimationNames::ani_closeloop, AnimationNames::ani_closeend, AnimationNames::ani_yes, AnimationNames::ani_no,
    AnimationNames::bg_ok,     AnimationNames::bg_blue,       AnimationNames::bg_close,     AnimationNames::bg_black,
    AnimationNames::loading,
};

QString rawValue(AnimationNames name);
// Exactly one of the thirteen names (case-sensitive), or none.
std::optional<AnimationNames> animationNameFromRaw(const QString& raw);

}  // namespace lumora
