#include "ui/controls/AnimationPlayer.h"

#include <QFile>
#include <QQuickWindow>
#include <QSGImageNode>
#include <QPointer>
#include <rlottie.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "ui/base/Assets.h"
#include "ui/base/GuiQueue.h"
#include "ui/base/WorkerPool.h"

namespace lumora {
namespace {

// The threads that draw the frames of every player: two are enough for the background and the
// button of the home screen, and they never take a thread the service calls would want.
// At exit a frame takes milliseconds to finish, but one can be held for good inside rlottie, whose
// own rasterising threads may already be gone by then: the pool waits a moment and leaves it.
constexpr std::chrono::milliseconds kDrawingExitGrace{1000};

WorkerPool& drawingThreads() {
  static WorkerPool pool(2, kDrawingExitGrace);
  return pool;
}

AnimationPlayer::DrawnFrame draw(AnimationPlayer::FrameRequest& request) {
  QImage image = std::move(request.canvas);
  if (image.size() != request.size || image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = QImage(request.size, QImage::Format_ARGB32_Premultiplied);
  }
  if (image.isNull()) return {QImage(), request.generation, request.frame};
  image.fill(Qt::transparent);
  rlottie::Surface surface(reinterpret_cast<std::uint32_t*>(image.bits()), static_cast<std::size_t>(image.width()),
                           static_cast<std::size_t>(image.height()), static_cast<std::size_t>(image.bytesPerLine()));
  request.animation->renderSync(static_cast<std::size_t>(request.frame), surface);
  return {std::move(image), request.generation, request.frame};
}

}  // namespace

AnimationPlayer::AnimationPlayer(QQuickItem* parent) : QQuickItem(parent) {
  setFlag(ItemHasContents, true);
  connect(&timer_, &QTimer::timeout, this, &AnimationPlayer::tick);
  unseenEnd_.setSingleShot(true);
  connect(&unseenEnd_, &QTimer::timeout, this, &AnimationPlayer::endUnseen);
}

AnimationPlayer::~AnimationPlayer() = default;

void AnimationPlayer::setAnimationName(const QString& name) {
  const bool differs = name != name_;
  // Only the name that is played counts: a setting while one plays is dropped.
  if (playing_) return;
  name_ = name;
  if (differs) emit animationNameChanged();
  if (name_.isEmpty()) {
    ++generation_;
    showNothing();
    return;
  }
  if (complete_) play();
}

void AnimationPlayer::componentComplete() {
  QQuickItem::componentComplete();
  complete_ = true;
  if (!name_.isEmpty()) play();
}

bool AnimationPlayer::load(const QString& name) {
  auto known = loaded_.find(name);
  if (known == loaded_.end()) {
    QFile file(Assets::animationPath(name));
    if (!file.open(QIODevice::ReadOnly)) {
      animation_.reset();
      return false;
    }
    const QByteArray json = file.readAll();
    // The name is rlottie's cache key: the model is parsed once per process, and each player
    // gets an animation object of its own over it.
    std::shared_ptr<rlottie::Animation> parsed =
        rlottie::Animation::loadFromData(json.toStdString(), name.toStdString());
    if (!parsed || parsed->totalFrame() == 0) {
      animation_.reset();
      return false;
    }
    known = loaded_.emplace(name, std::move(parsed)).first;
  }
  animation_ = known->second;
  totalFrames_ = static_cast<int>(animation_->totalFrame());
  emit animationLoaded();
  return true;
}

void AnimationPlayer::play() {
  if (playing_) return;
  ++generation_;
  if (!load(name_)) {
    qWarning("AnimationPlayer: no animation %s", qPrintable(name_));
    showNothing();
    emit completed(false);
    return;
  }
  frame_ = 0;
  setPlaying(true);
  if (held_) {
    frameOwed_ = true;
    runUnseen();
    return;
  }
  requestFrame();
  startClock();
}

int AnimationPlayer::frameInterval() const {
  const double rate = animation_ && animation_->frameRate() > 0 ? animation_->frameRate() : 30.0;
  return static_cast<int>(std::lround(1000.0 / rate));
}

void AnimationPlayer::startClock() {
  if (!playing_ || !animation_ || held_) return;
  timer_.start(frameInterval());
}

void AnimationPlayer::runUnseen() {
  if (!playing_ || !animation_) return;
  unseenFrom_ = frame_;
  unseenSince_.start();
  // As many ticks as the clock would have taken: to the last frame, and one more to end.
  unseenEnd_.start(std::max(0, totalFrames_ - frame_) * frameInterval());
}

void AnimationPlayer::endUnseen() {
  if (!playing_) return;
  frame_ = std::max(0, totalFrames_ - 1);
  frameOwed_ = true;
  setPlaying(false);
  emit completed(true);
}

void AnimationPlayer::setPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  emit pausedChanged();
  updateHeld();
}

void AnimationPlayer::updateHeld() {
  // A player in no window yet keeps its clock: its segments still end on time.
  const QQuickWindow* shownIn = window();
  const bool windowHidden = shownIn && (!shownIn->isVisible() || shownIn->visibility() == QWindow::Minimized);
  const bool held = paused_ || !isVisible() || windowHidden;
  if (held == held_) return;
  held_ = held;
  if (held_) {
    timer_.stop();
    runUnseen();
  } else {
    showLandedWhileHeld();
    if (playing_) {
      if (unseenEnd_.isActive()) {
        // On from where the time has run to.
        unseenEnd_.stop();
        const int ticks = static_cast<int>(unseenSince_.elapsed() / std::max(1, frameInterval()));
        frame_ = std::min(unseenFrom_ + ticks, std::max(0, totalFrames_ - 1));
        emit frameChanged();
      }
      requestFrame();
      startClock();
    } else if (frameOwed_) {
      requestFrame();
    }
  }
  emit heldChanged();
}

void AnimationPlayer::itemChange(ItemChange change, const ItemChangeData& value) {
  QQuickItem::itemChange(change, value);
  if (change == ItemSceneChange) {
    QObject::disconnect(windowVisibility_);
    if (value.window) {
      windowVisibility_ =
          connect(value.window, &QWindow::visibilityChanged, this, &AnimationPlayer::updateHeld);
    }
    updateHeld();
  } else if (change == ItemVisibleHasChanged) {
    updateHeld();
  }
}

void AnimationPlayer::tick() {
  if (!animation_) return;
  if (frame_ + 1 >= totalFrames_) {
    timer_.stop();
    setPlaying(false);
    emit completed(true);
    return;
  }
  ++frame_;
  emit frameChanged();
  requestFrame();
}

bool AnimationPlayer::showFrame(int frame) {
  if (!animation_ && !load(name_)) return false;
  ++generation_;
  frame_ = std::clamp(frame, 0, totalFrames_ - 1);
  emit frameChanged();
  requestFrame();
  return true;
}

void AnimationPlayer::requestFrame() {
  if (!animation_) return;
  // Scaled to fit: the largest size of the animation's aspect that the item holds.
  std::size_t w = 0;
  std::size_t h = 0;
  animation_->size(w, h);
  if (w == 0 || h == 0 || width() <= 0 || height() <= 0) return;
  const double scale = std::min(width() / static_cast<double>(w), height() / static_cast<double>(h));
  const QSize size(std::max(1, static_cast<int>(std::lround(static_cast<double>(w) * scale))),
                   std::max(1, static_cast<int>(std::lround(static_cast<double>(h) * scale))));
  frameOwed_ = false;
  FrameRequest request{animation_, frame_, size, generation_, QImage()};
  if (drawingBusy_) {
    nextFrame_ = std::move(request);  // only the newest frame waits
    return;
  }
  startDrawing(std::move(request));
}

void AnimationPlayer::startDrawing(FrameRequest request) {
  drawingBusy_ = true;
  request.canvas = std::exchange(spare_, QImage());
  // The guard is only read on the GUI thread, where the player may have gone by then.
  drawingThreads().start([guard = QPointer<AnimationPlayer>(this), request = std::move(request)]() mutable {
    auto drawn = std::make_shared<DrawnFrame>(draw(request));
    GuiQueue::post([guard, drawn] {
      if (guard) guard->frameDrawn(std::move(*drawn));
    });
  });
}

void AnimationPlayer::frameDrawn(DrawnFrame drawn) {
  drawingBusy_ = false;
  if (drawn.generation == generation_ && !drawn.image.isNull()) {
    if (held_) {
      landedWhileHeld_ = std::move(drawn);
    } else {
      show(std::move(drawn));
    }
  }
  if (nextFrame_) {
    FrameRequest next = std::move(*nextFrame_);
    nextFrame_.reset();
    if (next.generation == generation_) startDrawing(std::move(next));
  }
}

void AnimationPlayer::showNothing() {
  image_ = QImage();
  shownNumber_ = -1;
  imageChanged_ = true;
  update();
}

void AnimationPlayer::show(DrawnFrame drawn) {
  image_ = std::move(drawn.image);
  imageChanged_ = true;
  shownNumber_ = drawn.frame;
  update();
  emit frameShown(drawn.frame);
}

void AnimationPlayer::showLandedWhileHeld() {
  auto landed = std::exchange(landedWhileHeld_, std::nullopt);
  if (landed && landed->generation == generation_) show(std::move(*landed));
}

QSGNode* AnimationPlayer::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
  auto* node = static_cast<QSGImageNode*>(old);
  if (image_.isNull() || !window()) {
    delete node;
    onScreen_ = QImage();
    return nullptr;
  }
  if (!node) {
    node = window()->createImageNode();
    node->setOwnsTexture(true);
    imageChanged_ = true;
  }
  if (imageChanged_) {
    node->setTexture(window()->createTextureFromImage(image_));  // the node deletes the old texture
    imageChanged_ = false;
    // The frame before is no longer shared with a texture: it takes the next drawing, so frames
    // do not cost an allocation each (and a free on another thread).
    spare_ = std::exchange(onScreen_, image_);
  }
  node->setRect(QRectF((width() - image_.width()) / 2.0, (height() - image_.height()) / 2.0, image_.width(),
                       image_.height()));
  return node;
}

void AnimationPlayer::setPlaying(bool playing) {
  if (playing == playing_) return;
  playing_ = playing;
  emit playingChanged();
}

}  // namespace lumora
