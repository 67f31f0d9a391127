// The connect button's and the background's segments as the page reports each one finished.
#include <gtest/gtest.h>

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
               {VPNStatus::connected, A::ani_no, A::bg_close}});
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
