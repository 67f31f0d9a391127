#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace rlottie {
class Animation;
}

namespace lumora {

// Plays one named vector animation once, scaled to fit, and reports its end. Setting the name
// starts it unless an animation is playing (that setting is dropped, not queued); the flag is
// down again before `finished` is emitted, so a handler that sets a name, the same one included,
// plays it from the start. GUI thread only.
class AnimationPlayer : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString animationName READ animationName WRITE setAnimationName NOTIFY animationNameChanged)
  Q_PROPERTY(bool isAmimationPlaying READ isPlaying NOTIFY playingChanged)
  Q_PROPERTY(int frame READ frame NOTIFY frameChanged)
  Q_PROPERTY(int totalFrames READ totalFrames NOTIFY animationLoaded)

 public:
  explicit AnimationPlayer(QQuickItem* parent = nullptr);
  ~AnimationPlayer() override;

  QString animationName() const { return name_; }
  void setAnimationName(const QString& name);
  bool isPlaying() const { return playing_; }
  int frame() const { return frame_; }
  int totalFrames() const { return totalFrames_; }

  // Shows frame `frame` without playing (screenshots); false when nothing is loaded.
  Q_INVOKABLE bool showFrame(int frame);

  void paint(QPainter* painter) override;

 signals:
  void animationNameChanged();
  void playingChanged();
  void frameChanged();
  void animationLoaded();
  // The played animation ended: `finished` is false when it could not be played.
  void completed(bool finished);

 protected:
  void componentComplete() override;

 private:
  void play();
  bool load(const QString& name);
  void tick();
  void render();
  void setPlaying(bool playing);

  QString name_;
  bool playing_ = false;
  bool complete_ = false;
  std::unique_ptr<rlottie::Animation> animation_;
  int frame_ = 0;
  int totalFrames_ = 0;
  QImage image_;
  QTimer timer_;
};

}  // namespace lumora
