#include "ui/home/AnimationController.h"

#include "ui/base/GuiQueue.h"

#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

using helmsey::VPNStatus;

namespace {

bool endsAsDisconnected(VPNStatus status) {
  return status == VPNStatus::disconnected || status == VPNStatus::userCanceled;
}

}  // namespace

AnimationController::AnimationController(AppStateManager& state, BringForward bringForward, QObject* parent)
    : QObject(parent), state_(state), bringForward_(std::move(bringForward)) {
  connect(&state_, &AppStateManager::vpnStatusChanged, this, &AnimationController::followStatus);
}

AnimationController* AnimationController::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<AnimationController>::forQml(qml, js);
}

void AnimationController::start() {
  GuiQueue::post([guard = self_] {
    if (!guard) return;
    guard->setButton(AnimationNames::ani_show);
    guard->setPlaying(true);
  });
}

void AnimationController::close() {
  GuiQueue::post([guard = self_] {
    if (guard) guard->setButton(AnimationNames::ani_close);
  });
}

void AnimationController::buttonAnimationFinished() {
  const VPNStatus status = state_.vpnStatus();
  switch (button_) {
    case AnimationNames::ani_show:
      setButton(AnimationNames::ani_loop);
      break;
    case AnimationNames::ani_loop:
      // Every outcome leaves the loop: waiting only for "connected" would spin forever once an
      // attempt was cancelled or failed.
      if (status == VPNStatus::connected) {
        setButton(AnimationNames::ani_end);
      } else if (endsAsDisconnected(status)) {
        setButton(AnimationNames::ani_close);
      } else {
        setButton(AnimationNames::ani_loop, true);  // unchanged: the page plays it once more
      }
      break;
    case AnimationNames::ani_end:
      if (endsAsDisconnected(status)) {
        // The connection ended while its arrival played: close instead of resting on "connected".
        setButton(AnimationNames::ani_close);
        break;
      }
      setPlaying(false);
      setButton(AnimationNames::ani_yes);
      setBackground(AnimationNames::bg_ok);
      break;
    case AnimationNames::ani_close:
      setButton(AnimationNames::ani_closeloop);
      break;
    case AnimationNames::ani_closeloop:
      if (endsAsDisconnected(status)) {
        setButton(AnimationNames::ani_closeend);
        setBackground(AnimationNames::bg_close);
      } else if (status == VPNStatus::connected) {
        // A connection that came up after all (the stop came too late): show it as such.
        setButton(AnimationNames::ani_end);
      } else {
        setButton(AnimationNames::ani_closeloop, true);
      }
      break;
    case AnimationNames::ani_closeend:
      setPlaying(false);
      setButton(AnimationNames::ani_no);
      followStatus();  // a connection that came up meanwhile
      break;
    default:
      break;
  }
}

void AnimationController::backgroundAnimationFinished() {
  switch (background_) {
    case AnimationNames::bg_close:
      setBackground(AnimationNames::bg_black);
      break;
    case AnimationNames::bg_ok:
      setBackground(AnimationNames::bg_blue);
      if (state_.background() && bringForward_) bringForward_();
      break;
    default:
      break;
  }
}

void AnimationController::followStatus() {
  const VPNStatus status = state_.vpnStatus();
  const bool up = status == VPNStatus::connecting || status == VPNStatus::connected;
  if (button_ == AnimationNames::ani_yes && status != VPNStatus::connected) {
    if (up) {
      // The connection is being made again (an automatic reconnect).
      setButton(AnimationNames::ani_show);
      setPlaying(true);
    } else {
      setButton(AnimationNames::ani_close);
    }
  } else if (button_ == AnimationNames::ani_no && up) {
    setButton(AnimationNames::ani_show);
    setPlaying(true);
  }
}

void AnimationController::setButton(AnimationNames name, bool again) {
  if (button_ == name && !again) return;
  button_ = name;
  emit buttonAnimationChanged();
}

void AnimationController::setBackground(AnimationNames name) {
  if (background_ == name) return;
  background_ = name;
  emit backgroundAnimationChanged();
}

void AnimationController::setPlaying(bool playing) {
  if (playing_ == playing) return;
  playing_ = playing;
  emit buttonAnimationPlayingChanged();
}

}  // namespace lumora
