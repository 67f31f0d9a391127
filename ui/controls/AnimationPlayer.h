#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QQuickItem>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <map>
#include <memory>
#include <optional>

namespace rlottie {
class Animation;
}

namespace lumora {

// Plays one named vector animation once, scaled to fit, and reports its end. Setting the name
// starts it unless an animation is playing (that setting is dropped, not queued); the flag is
// down again before `finished` is emitted, so a handler that sets a name, the same one included,
// plays it from the start. GUI thread only.
//
// Frames are drawn off the GUI thread, one at a time per player: a tick asks for the frame its
// clock has reached, and a tick that comes while the last one is still being drawn asks for the
// newest frame only, so a slow machine drops frames instead of holding up the window. The
// animation's time (and so its end) follows the clock, not the drawing.
//
// An animation that nobody can see is held: while `paused` is set, the item is not visible, or
// its window is hidden or minimised, no frame is drawn and the frame clock stops. Its time still
// runs, on one timer set for its end, so it ends when it would have ended on screen: a sequence
// driven by the ends (the home screen's connect) follows the connection while the window is put
// away. Seen again, it goes on from the frame its time has reached, or shows the last frame of
// what ended meanwhile. An ended animation keeps its last frame and draws nothing more.
// A frame that was being drawn when the player became held is kept off screen until it is seen
// again: nothing of a held player reaches the window.
class AnimationPlayer : public QQuickItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString animationName READ animationName WRITE setAnimationName NOTIFY animationNameChanged)
  Q_PROPERTY(bool isAmimationPlaying READ isPlaying NOTIFY playingChanged)
  Q_PROPERTY(int frame READ frame NOTIFY frameChanged)
  Q_PROPERTY(int totalFrames READ totalFrames NOTIFY animationLoaded)
  Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY pausedChanged)
  Q_PROPERTY(bool held READ held NOTIFY heldChanged)

 public:
  explicit AnimationPlayer(QQuickItem* parent = nullptr);
  ~AnimationPlayer() override;

  QString animationName() const { return name_; }
  void setAnimationName(const QString& name);
  bool isPlaying() const { return playing_; }
  int frame() const { return frame_; }
  int totalFrames() const { return totalFrames_; }
  bool paused() const { return paused_; }
  void setPaused(bool paused);
  // Paused, out of sight, or in a hidden or minimised window (a player in no window is not held).
  bool held() const { return held_; }

  // Shows frame `frame` without playing (screenshots); false when nothing is loaded. The frame
  // appears once drawn, a few milliseconds later.
  Q_INVOKABLE bool showFrame(int frame);

  // The frame on screen now (null before the first is drawn and after the name is cleared).
  QImage shownFrame() const { return image_; }
  // The last frame handed to the window, -1 before any.
  int shownFrameNumber() const { return shownNumber_; }

 signals:
  void animationNameChanged();
  void playingChanged();
  void frameChanged();
  void animationLoaded();
  void pausedChanged();
  void heldChanged();
  // The played animation ended: `finished` is false when it could not be played.
  void completed(bool finished);
  // A drawn frame was handed to the window to show.
  void frameShown(int frame);

 protected:
  void componentComplete() override;
  // The frame as one picture node: the scene graph draws it straight into the window, with no
  // painter's layer in between.
  QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
  void itemChange(ItemChange change, const ItemChangeData& value) override;

 public:
  // What one drawing needs; it holds the animation, so the drawing may outlive the player.
  struct FrameRequest {
    std::shared_ptr<rlottie::Animation> animation;
    int frame = 0;
    QSize size;
    quint64 generation = 0;
    // A frame buffer no longer on screen, drawn over instead of making a new one.
    QImage canvas;
  };
  struct DrawnFrame {
    QImage image;
    quint64 generation = 0;
    int frame = 0;
  };

 private:
  void play();
  bool load(const QString& name);
  void tick();
  void requestFrame();
  void startDrawing(FrameRequest request);
  void frameDrawn(DrawnFrame drawn);
  // Puts a drawn frame on screen, or clears it.
  void show(DrawnFrame drawn);
  void showNothing();
  // Seen again: the frame that landed while held, unless a newer play made it stale.
  void showLandedWhileHeld();
  void setPlaying(bool playing);
  // Stops or restarts the clock as the player becomes held or seen.
  void updateHeld();
  void startClock();
  // Milliseconds from one frame to the next.
  int frameInterval() const;
  // Held while playing: the time from `frame_` on runs without drawing, to the end.
  void runUnseen();
  // The end of a segment that played unseen.
  void endUnseen();

  QString name_;
  bool paused_ = false;
  bool held_ = false;
  QMetaObject::Connection windowVisibility_;
  bool playing_ = false;
  bool complete_ = false;
  // The animations this player has played, parsed once. Not shared between players: one
  // animation object is never drawn by two threads at once.
  std::map<QString, std::shared_ptr<rlottie::Animation>> loaded_;
  std::shared_ptr<rlottie::Animation> animation_;
  int frame_ = 0;
  int totalFrames_ = 0;
  // Each play (and each still frame) starts a generation; a frame of an earlier one is not shown.
  quint64 generation_ = 0;
  // While held: the frame the unseen time started from, that time, and the end it runs to.
  int unseenFrom_ = 0;
  QElapsedTimer unseenSince_;
  QTimer unseenEnd_;
  // The frame reached unseen is not on screen yet.
  bool frameOwed_ = false;
  bool drawingBusy_ = false;
  std::optional<FrameRequest> nextFrame_;
  // A frame that landed while held, shown once the player is seen again.
  std::optional<DrawnFrame> landedWhileHeld_;
  int shownNumber_ = -1;
  // The newest drawn frame; the frame the picture node shows (its texture shares the pixels);
  // and the one before it, free to draw the next frame into once the node let go of it.
  QImage image_;
  QImage onScreen_;
  QImage spare_;
  bool imageChanged_ = false;
  QTimer timer_;
};

}  // namespace lumora
