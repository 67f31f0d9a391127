// The connect button's and the background's segments as the page reports each one finished.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <thread>

#include "tests/home/HomeWorld.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;
using A = AnimationNames;

// One finished button segment under a status, and the button and background that follow.
struct Beat {
  VPNStatus status;
  A button;
  A background;
};

void play(HomeWorld& world, const std::vector<Beat>& beats) {
  for (std::size_t i = 0; i < beats.size(); ++i) {
    SCOPED_TRACE("beat " + std::to_string(i) + " under " + std::string(helmsey::rawValue(beats[i].status)));
    world.state().setVpnStatus(beats[i].status);
    world.animation.buttonAnimationFinished();
    EXPECT_EQ(rawValue(world.animation.buttonAnimation()), rawValue(beats[i].button));
    EXPECT_EQ(rawValue(world.animation.backgroundAnimation()), rawValue(beats[i].background));
  }
}

TEST(ButtonSequence, ConnectCloseAndTheLoopsExitOnEveryOutcome) {
  struct Case {
    const char* name;
    bool closeFirst;  // close() instead of start()
    std::vector<Beat> beats;
    bool playingAtEnd;
  };
  const std::vector<Case> cases = {
      {"connects",
       false,
       {{VPNStatus::connecting, A::ani_loop, A::bg_black},
        {VPNStatus::connecting, A::ani_loop, A::bg_black},
        {VPNStatus::connected, A::ani_end, A::bg_black},
        {VPNStatus::connected, A::ani_yes, A::bg_ok},
        {VPNStatus::connected, A::ani_yes, A::bg_ok}},
       false},
      {"the attempt fails: the loop turns into the close",
       false,
       {{VPNStatus::connecting, A::ani_loop, A::bg_black},
        {VPNStatus::disconnected, A::ani_close, A::bg_black},
        {VPNStatus::disconnected, A::ani_closeloop, A::bg_black},
        {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
        {VPNStatus::disconnected, A::ani_no, A::bg_close}},
       false},
      {"the user cancels: the loop ends too",
       false,
       {{VPNStatus::connecting, A::ani_loop, A::bg_black},
        {VPNStatus::userCanceled, A::ani_close, A::bg_black},
        {VPNStatus::userCanceled, A::ani_closeloop, A::bg_black},
        {VPNStatus::userCanceled, A::ani_closeend, A::bg_close}},
       true},
      {"disconnects",
       true,
       {{VPNStatus::disconnecting, A::ani_closeloop, A::bg_black},
        {VPNStatus::disconnecting, A::ani_closeloop, A::bg_black},
        {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
        {VPNStatus::disconnected, A::ani_no, A::bg_close}},
       false},
      {"a stop that came too late: the close loop ends on the connection",
       true,
       {{VPNStatus::disconnecting, A::ani_closeloop, A::bg_black},
        {VPNStatus::connected, A::ani_end, A::bg_black},
        {VPNStatus::connected, A::ani_yes, A::bg_ok}},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    if (c.closeFirst) {
      world.animation.close();
    } else {
      world.animation.start();
      EXPECT_EQ(world.animation.buttonAnimation(), A::ani_no) << "posted, not applied at once";
    }
    ASSERT_TRUE(waitFor([&] { return world.animation.buttonAnimation() == (c.closeFirst ? A::ani_close : A::ani_show); }));
    EXPECT_EQ(world.animation.buttonAnimationPlaying(), !c.closeFirst);
    play(world, c.beats);
    EXPECT_EQ(world.animation.buttonAnimationPlaying(), c.playingAtEnd && !c.closeFirst);
  }
}

TEST(ButtonSequence, ACloseWhileTheShowPlaysTakesOverAndFinishedRestingSegmentsStay) {
  HomeWorld world;
  world.animation.start();
  std::thread task([&] { world.animation.close(); });
  task.join();
  ASSERT_TRUE(waitFor([&] { return world.animation.buttonAnimation() == A::ani_close; }));
  play(world, {{VPNStatus::disconnecting, A::ani_closeloop, A::bg_black},
               {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
               {VPNStatus::disconnected, A::ani_no, A::bg_close},
               {VPNStatus::disconnected, A::ani_no, A::bg_close}});
}

// Reaches the connected rest the way a click does: start, the loop, the arrival.
void connectAndRest(HomeWorld& world) {
  world.animation.start();
  ASSERT_TRUE(waitFor([&] { return world.animation.buttonAnimation() == A::ani_show; }));
  play(world, {{VPNStatus::connecting, A::ani_loop, A::bg_black},
               {VPNStatus::connected, A::ani_end, A::bg_black},
               {VPNStatus::connected, A::ani_yes, A::bg_ok}});
  world.animation.backgroundAnimationFinished();
  ASSERT_EQ(world.animation.backgroundAnimation(), A::bg_blue);
}

TEST(ButtonSequence, TheButtonLeavesItsRestWhenTheStatusChangesWithoutAClick) {
  struct Case {
    const char* name;
    bool fromConnected;       // resting on "connected" first, else on "disconnected"
    VPNStatus unasked;        // the status that arrives with no start or close
    A buttonAtOnce;           // the button right after it
    std::vector<Beat> beats;  // then, segment by segment
    A backgroundAtEnd;        // the background once its own segments have ended
  };
  const std::vector<Case> cases = {
      {"the engine dies under the connection",
       true,
       VPNStatus::disconnected,
       A::ani_close,
       {{VPNStatus::disconnected, A::ani_closeloop, A::bg_blue},
        {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
        {VPNStatus::disconnected, A::ani_no, A::bg_close}},
       A::bg_black},
      {"the tunnel host ends: disconnecting first",
       true,
       VPNStatus::disconnecting,
       A::ani_close,
       {{VPNStatus::disconnecting, A::ani_closeloop, A::bg_blue},
        {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
        {VPNStatus::disconnected, A::ani_no, A::bg_close}},
       A::bg_black},
      {"the engine reconnects by itself",
       true,
       VPNStatus::connecting,
       A::ani_show,
       {{VPNStatus::connecting, A::ani_loop, A::bg_blue},
        {VPNStatus::connected, A::ani_end, A::bg_blue},
        {VPNStatus::connected, A::ani_yes, A::bg_ok}},
       A::bg_blue},
      {"a connection starts without the button",
       false,
       VPNStatus::connecting,
       A::ani_show,
       {{VPNStatus::connecting, A::ani_loop, A::bg_black},
        {VPNStatus::connected, A::ani_end, A::bg_black},
        {VPNStatus::connected, A::ani_yes, A::bg_ok}},
       A::bg_blue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    if (c.fromConnected) connectAndRest(world);
    world.state().setVpnStatus(c.unasked);
    EXPECT_EQ(world.animation.buttonAnimation(), c.buttonAtOnce);
    play(world, c.beats);
    world.animation.backgroundAnimationFinished();
    EXPECT_EQ(world.animation.backgroundAnimation(), c.backgroundAtEnd);
    EXPECT_FALSE(world.animation.buttonAnimationPlaying()) << "the sequence ended";
  }
}

TEST(ButtonSequence, AConnectionThatEndsWhileItsArrivalPlaysClosesInsteadOfResting) {
  HomeWorld world;
  world.animation.start();
  ASSERT_TRUE(waitFor([&] { return world.animation.buttonAnimation() == A::ani_show; }));
  play(world, {{VPNStatus::connecting, A::ani_loop, A::bg_black},
               {VPNStatus::connected, A::ani_end, A::bg_black},
               // The availability check gave up while the arrival played.
               {VPNStatus::disconnected, A::ani_close, A::bg_black},
               {VPNStatus::disconnected, A::ani_closeloop, A::bg_black},
               {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
               {VPNStatus::disconnected, A::ani_no, A::bg_close}});
  EXPECT_FALSE(world.animation.buttonAnimationPlaying());

  // A close segment that ends after a connection came up meanwhile goes on to the connect.
  HomeWorld again;
  again.animation.close();
  ASSERT_TRUE(waitFor([&] { return again.animation.buttonAnimation() == A::ani_close; }));
  play(again, {{VPNStatus::disconnected, A::ani_closeloop, A::bg_black},
               {VPNStatus::disconnected, A::ani_closeend, A::bg_close},
               {VPNStatus::connecting, A::ani_show, A::bg_close},
               {VPNStatus::connecting, A::ani_loop, A::bg_close}});
  EXPECT_TRUE(again.animation.buttonAnimationPlaying());
}

TEST(ButtonSequence, OnlyALoopThatGoesOnIsAnnouncedAgainRestingSegmentsAreNot) {
  HomeWorld world;
  QSignalSpy announced(&world.animation, &AnimationController::buttonAnimationChanged);
  world.animation.start();
  ASSERT_TRUE(waitFor([&] { return announced.count() == 1; }));
  play(world, {{VPNStatus::connecting, A::ani_loop, A::bg_black},
               {VPNStatus::connecting, A::ani_loop, A::bg_black},
               {VPNStatus::connecting, A::ani_loop, A::bg_black}});
  EXPECT_EQ(announced.count(), 4) << "each repeat of the loop is played again";
  play(world, {{VPNStatus::connected, A::ani_end, A::bg_black}, {VPNStatus::connected, A::ani_yes, A::bg_ok}});
  announced.clear();
  QSignalSpy background(&world.animation, &AnimationController::backgroundAnimationChanged);
  world.animation.backgroundAnimationFinished();  // ok turns blue
  world.animation.buttonAnimationFinished();      // yes rests
  world.animation.backgroundAnimationFinished();  // blue rests
  EXPECT_EQ(announced.count(), 0);
  EXPECT_EQ(background.count(), 1);
}

TEST(BackgroundSequence, OkTurnsBlueAndBringsTheWindowOnlyWhenInTheBackground) {
  for (const bool background : {false, true}) {
    SCOPED_TRACE(background ? "in the background" : "in front");
    HomeWorld world;
    world.state().setBackground(background);
    world.animation.start();
    ASSERT_TRUE(waitFor([&] { return world.animation.buttonAnimation() == A::ani_show; }));
    play(world, {{VPNStatus::connecting, A::ani_loop, A::bg_black},
                 {VPNStatus::connected, A::ani_end, A::bg_black},
                 {VPNStatus::connected, A::ani_yes, A::bg_ok}});
    world.animation.backgroundAnimationFinished();
    EXPECT_EQ(world.animation.backgroundAnimation(), A::bg_blue);
    EXPECT_EQ(world.broughtForward, background ? 1 : 0);
    world.animation.backgroundAnimationFinished();  // blue rests
    EXPECT_EQ(world.animation.backgroundAnimation(), A::bg_blue);
  }
  HomeWorld closing;
  closing.animation.close();
  ASSERT_TRUE(waitFor([&] { return closing.animation.buttonAnimation() == A::ani_close; }));
  play(closing, {{VPNStatus::disconnected, A::ani_closeloop, A::bg_black},
                 {VPNStatus::disconnected, A::ani_closeend, A::bg_close}});
  closing.animation.backgroundAnimationFinished();
  EXPECT_EQ(closing.animation.backgroundAnimation(), A::bg_black);
  EXPECT_EQ(closing.broughtForward, 0);
}

}  // namespace
}  // namespace lumora::test
