#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

#include "ui/base/AnimationNames.h"

namespace lumora {

class AppStateManager;

// Which animation the home screen's connect button and its background play, advanced segment by
// segment as the page reports each one finished; the next segment follows the VPN status.
// A change signal asks the page to play the named segment: it comes with every new name and with
// every repeat of a looping one, never for a segment that rests (the page holds its last frame).
// The button also leaves its rest when the status changes without a start or close (an engine
// that died, a tunnel host that ended, an availability check that gave up).
class AnimationController : public QObject {
  Q_OBJECT
  // Qt Quick has a type of this name already.
  QML_NAMED_ELEMENT(HomeAnimation)
  QML_SINGLETON
  Q_PROPERTY(QString backgroundAnimation READ backgroundAnimationName NOTIFY backgroundAnimationChanged)
  Q_PROPERTY(QString buttonAnimation READ buttonAnimationName NOTIFY buttonAnimationChanged)
  Q_PROPERTY(bool buttonAnimationPlaying READ buttonAnimationPlaying NOTIFY buttonAnimationPlayingChanged)

 public:
  // Brings the main window forward when a connection completes while the program sits in the
  // background; none: nothing is brought forward.
  using BringForward = std::function<void()>;

  AnimationController(AppStateManager& state, BringForward bringForward, QObject* parent);
  static AnimationController* create(QQmlEngine* qml, QJSEngine* js);

  AnimationNames backgroundAnimation() const { return background_; }
  AnimationNames buttonAnimation() const { return button_; }
  bool buttonAnimationPlaying() const { return playing_; }
  QString backgroundAnimationName() const { return rawValue(background_); }
  QString buttonAnimationName() const { return rawValue(button_); }

  // Any thread; posted to the GUI thread, so a caller that goes on sees no change yet.
  void start();
  void close();

  // GUI thread: the page played a segment to its end.
  Q_INVOKABLE void buttonAnimationFinished();
  Q_INVOKABLE void backgroundAnimationFinished();

 signals:
  void backgroundAnimationChanged();
  void buttonAnimationChanged();
  void buttonAnimationPlayingChanged();

 private:
  // `again`: announce the name even when unchanged, so the page plays the segment once more.
  void setButton(AnimationNames name, bool again = false);
  // Takes the resting button out of its rest when the status says otherwise.
  void followStatus();
  void setBackground(AnimationNames name);
  void setPlaying(bool playing);

  // Made on the GUI thread, read there only, so posts from workers can tell whether this is gone.
  const QPointer<AnimationController> self_{this};
  AppStateManager& state_;
  BringForward bringForward_;
  AnimationNames background_ = AnimationNames::bg_black;
  AnimationNames button_ = AnimationNames::ani_no;
  bool playing_ = false;
};

}  // namespace lumora
