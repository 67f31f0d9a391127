#include "ui/controls/AnimationPlayer.h"

#include <QFile>
#include <QPainter>
#include <rlottie.h>

#include <cmath>

#include "ui/base/Assets.h"

namespace lumora {

AnimationPlayer::AnimationPlayer(QQuickItem* parent) : QQuickPaintedItem(parent) {
  connect(&timer_, &QTimer::timeout, this, &AnimationPlayer::tick);
}

AnimationPlayer::~AnimationPlayer() = default;

void AnimationPlayer::setAnimationName(const QString& name) {
  const bool differs = name != name_;
  // Only the name that is played counts: a setting while one plays is dropped.
  if (playing_) return;
  name_ = name;
  if (differs) emit animationNameChanged();
  if (name_.isEmpty()) {
    image_ = QImage();
    update();
    return;
  }
  if (complete_) play();
}

void AnimationPlayer::componentComplete() {
  QQuickPaintedItem::componentComplete();
  complete_ = true;
  if (!name_.isEmpty()) play();
}

bool AnimationPlayer::load(const QString& name) {
  QFile file(Assets::animationPath(name));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray json = file.readAll();
  // The name is the cache key: each animation is parsed once per process.
  animation_ = rlottie::Animation::loadFromData(json.toStdString(), name.toStdString());
  if (!animation_ || animation_->totalFrame() == 0) {
    animation_.reset();
    return false;
  }
  totalFrames_ = static_cast<int>(animation_->totalFrame());
  emit animationLoaded();
  return true;
}

void AnimationPlayer::play() {
  if (playing_) return;
  if (!load(name_)) {
    qWarning("AnimationPlayer: no animation %s", qPrintable(name_));
    image_ = QImage();
    update();
    emit completed(false);
    return;
  }
  frame_ = 0;
  render();
  setPlaying(true);
  const double rate = animation_->frameRate() > 0 ? animation_->frameRate() : 30.0;
  timer_.start(static_cast<int>(std::lround(1000.0 / rate)));
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
  render();
}

bool AnimationPlayer::showFrame(int frame) {
  if (!animation_ && !load(name_)) return false;
  frame_ = std::clamp(frame, 0, totalFrames_ - 1);
  emit frameChanged();
  render();
  return true;
}

void AnimationPlayer::render() {
  if (!animation_) return;
  // Scaled to fit: the largest size of the animation's aspect that the item holds.
  std::size_t w = 0;
  std::size_t h = 0;
  animation_->size(w, h);
  if (w == 0 || h == 0 || width() <= 0 || height() <= 0) return;
  const double scale = std::min(width() / static_cast<double>(w), height() / static_cast<double>(h));
  const int dpr = 1;
  const int iw = std::max(1, static_cast<int>(std::lround(static_cast<double>(w) * scale)) * dpr);
  const int ih = std::max(1, static_cast<int>(std::lround(static_cast<double>(h) * scale)) * dpr);
  if (image_.width() != iw || image_.height() != ih) image_ = QImage(iw, ih, QImage::Format_ARGB32_Premultiplied);
  image_.fill(Qt::transparent);
  rlottie::Surface surface(reinterpret_cast<std::uint32_t*>(image_.bits()), static_cast<std::size_t>(iw),
                           static_cast<std::size_t>(ih), static_cast<std::size_t>(image_.bytesPerLine()));
  animation_->renderSync(static_cast<std::size_t>(frame_), surface);
  update();
}

void AnimationPlayer::paint(QPainter* painter) {
  if (image_.isNull()) return;
  const QRectF target((width() - image_.width()) / 2.0, (height() - image_.height()) / 2.0, image_.width(),
                      image_.height());
  painter->drawImage(target, image_);
}

void AnimationPlayer::setPlaying(bool playing) {
  if (playing == playing_) return;
  playing_ = playing;
  emit playingChanged();
}

}  // namespace lumora
