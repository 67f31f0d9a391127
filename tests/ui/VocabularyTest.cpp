#include <gtest/gtest.h>

#include <QQuickWindow>
#include <QSignalSpy>
#include <QWindow>

#include <memory>
#include <set>

#include "tests/ui/UiTestSupport.h"
#include "ui/base/AnimationNames.h"
#include "ui/base/IntervalGuard.h"
#include "ui/base/ModalWindowType.h"
#include "ui/base/Route.h"
#include "ui/controls/AnimationPlayer.h"

namespace lumora {
namespace {

using test::waitFor;

TEST(RouteTest, TitlesEqualityAndHashing) {
  struct Case {
    Route route;
    const char* title;
    const char* name;
  };
  const std::vector<Case> cases{
      {Route::initial, "", "initial"},          {Route::login, "", "login"},
      {Route::main, "", "main"},                {Route::menu, "personal center", "menu"},
      {Route::diagnsis, "Network Diagnosis", "diagnsis"},
      {Route::proxyRulues, "Proxy Rules", "proxyRulues"},
      {Route::deleteAccount, "delete account", "delete"},
      {Route::nodeRoute("jp", "Japan"), "Japan", "node"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.route.title(), c.title);
    EXPECT_EQ(c.route.name(), c.name);
    if (c.route.kind() != Route::node) {
      EXPECT_EQ(Route::kindFromName(c.name), c.route.kind());
    }
  }
  EXPECT_FALSE(Route::kindFromName("Menu").has_value());

  const Route a = Route::nodeRoute("jp", "Japan");
  const Route same = Route::nodeRoute("jp", "Japan");
  const Route otherTitle = Route::nodeRoute("jp", "Nippon");
  EXPECT_EQ(a, same);
  EXPECT_EQ(qHash(a), qHash(same));
  EXPECT_NE(a, otherTitle);
  EXPECT_NE(Route::nodeRoute("", ""), Route(Route::initial)) << "a plain route never equals a node route";
  // Every plain case is its own route.
  std::set<std::size_t> hashes;
  for (int i = 0; i < Route::kCount; ++i) hashes.insert(qHash(Route(static_cast<Route::Kind>(i))));
  EXPECT_EQ(hashes.size(), static_cast<std::size_t>(Route::kCount));
}

TEST(ModalWindowTypeTest, RawValuesRoundTripExactly) {
  for (auto type : kAllModalWindowTypes) EXPECT_EQ(modalWindowTypeFromRaw(rawValue(type)), type);
  EXPECT_EQ(modalWindowTypeFromRaw("clipboard"), ModalWindowType::clipboard);
  EXPECT_EQ(modalWindowTypeFromRaw("systemExtension"), ModalWindowType::systemExtension);
  EXPECT_FALSE(modalWindowTypeFromRaw("Clipboard").has_value());
  EXPECT_FALSE(modalWindowTypeFromRaw("").has_value());
}

TEST(ModalWindowTypeTest, TheRegistryKeepsOneOpenWindowPerKind) {
  ModalWindowRegistry registry;
  QWindow privacy;
  QWindow privacyAgain;
  QWindow service;
  privacy.show();
  service.show();
  registry.add(ModalWindowType::privacy, &privacy);
  registry.add(ModalWindowType::service, &service);
  privacyAgain.show();
  registry.add(ModalWindowType::privacy, &privacyAgain);
  EXPECT_FALSE(privacy.isVisible());
  EXPECT_TRUE(service.isVisible());
  EXPECT_EQ(registry.window(ModalWindowType::privacy), &privacyAgain);
  EXPECT_EQ(registry.openCount(), 2);
  registry.close(ModalWindowType::service);
  EXPECT_FALSE(service.isVisible());
  EXPECT_EQ(registry.window(ModalWindowType::service), nullptr);
  registry.close(ModalWindowType::pay);  // none open: nothing happens
  {
    auto* gone = new QWindow;
    registry.add(ModalWindowType::notice, gone);
    delete gone;
  }
  EXPECT_EQ(registry.window(ModalWindowType::notice), nullptr);
}

TEST(AnimationNamesTest, OnlyTheThirteenNamesAreNames) {
  std::set<QString> raw;
  for (auto name : kAllAnimationNames) {
    raw.insert(rawValue(name));
    EXPECT_EQ(animationNameFromRaw(rawValue(name)), name);
  }
  EXPECT_EQ(raw.size(), 13u);
  for (const char* text : {"Ani_show", "ani-show", "ani_show ", "", "bgblue"}) {
    EXPECT_FALSE(animationNameFromRaw(text).has_value()) << text;
  }
}

TEST(IntervalGuardTest, MeasuresOnTheMonotonicClockItIsGiven) {
  auto now = std::chrono::steady_clock::time_point{};
  IntervalGuard guard(std::chrono::milliseconds(1000), [&] { return now; });
  EXPECT_TRUE(guard.pass());
  now += std::chrono::milliseconds(999);
  EXPECT_FALSE(guard.pass());
  now += std::chrono::milliseconds(1);
  EXPECT_TRUE(guard.pass());
  // A refused call does not restart the interval.
  now += std::chrono::milliseconds(600);
  EXPECT_FALSE(guard.pass());
  now += std::chrono::milliseconds(400);
  EXPECT_TRUE(guard.pass());

  Elapsed elapsed([&] { return now; });
  now += std::chrono::milliseconds(250);
  EXPECT_EQ(elapsed.sinceStart(), std::chrono::milliseconds(250));
}

// A player built the way QML builds one: begun, then completed by the test.
struct BuiltPlayer : AnimationPlayer {
  using AnimationPlayer::componentComplete;
  using QQuickItem::classBegin;
};

// The tests' own six-frame animation at 30 frames a second, "test_pulse".
class AnimationPlayerTest : public ::testing::Test {
 protected:
  AnimationPlayerTest() {
    player.setSize(QSizeF(80, 40));
    player.classBegin();
  }
  BuiltPlayer player;
};

TEST_F(AnimationPlayerTest, PlaysOnceAndReportsTheEndAfterThePlayingFlagIsDown) {
  QSignalSpy completed(&player, &AnimationPlayer::completed);
  bool flagAtEnd = true;
  QObject::connect(&player, &AnimationPlayer::completed, [&](bool) { flagAtEnd = player.isPlaying(); });
  player.setAnimationName("test_pulse");
  player.componentComplete();
  EXPECT_TRUE(player.isPlaying());
  EXPECT_EQ(player.totalFrames(), 6);
  ASSERT_TRUE(waitFor([&] { return completed.count() == 1; }));
  EXPECT_TRUE(completed.at(0).at(0).toBool());
  EXPECT_FALSE(flagAtEnd);
  EXPECT_EQ(player.frame(), 5);
  test::spin(300);
  EXPECT_EQ(completed.count(), 1) << "played more than once";
}

TEST_F(AnimationPlayerTest, ANameSetWhilePlayingIsDroppedAndTheSameNameFromTheEndPlaysAgain) {
  player.componentComplete();
  int ends = 0;
  QObject::connect(&player, &AnimationPlayer::completed, [&](bool) {
    if (++ends == 1) player.setAnimationName("test_pulse");  // the loop: the same name again
  });
  player.setAnimationName("test_pulse");
  player.setAnimationName("bg_blue");  // while playing: dropped
  EXPECT_EQ(player.animationName(), "test_pulse");
  ASSERT_TRUE(waitFor([&] { return ends == 2; }));
  test::spin(300);
  EXPECT_EQ(ends, 2);
}

bool blank(const QImage& image) {
  if (image.isNull()) return true;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 0) return false;
    }
  }
  return true;
}

TEST_F(AnimationPlayerTest, StillFramesAreDrawnOffTheGuiThreadAndAClearedNameStaysBlank) {
  player.componentComplete();
  player.setAnimationName("test_pulse");
  ASSERT_TRUE(waitFor([&] { return !player.isPlaying(); }));
  ASSERT_TRUE(player.showFrame(3));
  ASSERT_TRUE(waitFor([&] { return !blank(player.shownFrame()); })) << "the still frame never appeared";
  EXPECT_EQ(player.frame(), 3);

  // A frame asked for just before the name is cleared is still being drawn: when it arrives, it
  // belongs to a picture that is gone and must not bring it back.
  for (int round = 0; round < 8; ++round) {
    ASSERT_TRUE(player.showFrame(round % 6));
    player.setAnimationName(QString());
    test::spin(20);
    ASSERT_TRUE(blank(player.shownFrame())) << "round " << round;
    player.setAnimationName("test_pulse");
    ASSERT_TRUE(waitFor([&] { return !player.isPlaying(); }));
  }
}

TEST_F(AnimationPlayerTest, APlayerDestroyedWhileAFrameIsDrawnLeavesNothingBehind) {
  for (int round = 0; round < 20; ++round) {
    auto doomed = std::make_unique<BuiltPlayer>();
    doomed->setSize(QSizeF(400, 600));
    doomed->classBegin();
    doomed->setAnimationName("bg_ok");
    doomed->componentComplete();
    ASSERT_TRUE(doomed->isPlaying());
    doomed.reset();  // its first frame is most likely still being drawn
  }
  test::spin(100);  // a drawing that finishes now has no player to report to
  player.componentComplete();
  QSignalSpy completed(&player, &AnimationPlayer::completed);
  player.setAnimationName("test_pulse");
  ASSERT_TRUE(waitFor([&] { return completed.count() == 1; }));
  EXPECT_TRUE(completed.at(0).at(0).toBool());
}

// In a window, the node shows each frame from a buffer the player reuses once the screen let go
// of it: what the window draws at the end must be the last frame, untouched by later drawing.
TEST(AnimationPlayerWindowTest, TheWindowShowsTheLastFrameDrawnIntoReusedBuffers) {
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  QQuickWindow window;
  window.resize(80, 40);
  window.setColor(Qt::white);
  // Destroyed before the window, as a page's items are.
  auto owned = std::make_unique<BuiltPlayer>();
  BuiltPlayer* player = owned.get();
  player->setParentItem(window.contentItem());
  player->setSize(QSizeF(80, 40));
  player->classBegin();
  player->componentComplete();
  window.show();
  QSignalSpy completed(player, &AnimationPlayer::completed);
  for (int play = 0; play < 3; ++play) {  // enough frames for every buffer to come round again
    player->setAnimationName(play % 2 ? "bg_blue" : "test_pulse");
    ASSERT_TRUE(waitFor([&] { return completed.count() == play + 1; }));
  }
  test::spin(100);  // the last frame drawn and shown
  const QImage last = player->shownFrame();
  ASSERT_FALSE(blank(last));
  const QImage shown = window.grabWindow().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QPoint offset((80 - last.width()) / 2, (40 - last.height()) / 2);
  int differing = 0;
  for (int y = 0; y < last.height(); ++y) {
    for (int x = 0; x < last.width(); ++x) {
      // The frame blended over the window's white.
      const QRgb frame = last.pixel(x, y);
      const int alpha = qAlpha(frame);
      const auto over = [&](int channel) { return channel + (255 - alpha); };
      const QRgb onScreen = shown.pixel(offset + QPoint(x, y));
      if (std::abs(qRed(onScreen) - over(qRed(frame))) > 2 || std::abs(qGreen(onScreen) - over(qGreen(frame))) > 2 ||
          std::abs(qBlue(onScreen) - over(qBlue(frame))) > 2) {
        ++differing;
      }
    }
  }
  EXPECT_EQ(differing, 0) << "of " << last.width() * last.height() << " pixels";
}

TEST_F(AnimationPlayerTest, AMissingAnimationEndsAtOnceUnfinished) {
  player.componentComplete();
  QSignalSpy completed(&player, &AnimationPlayer::completed);
  player.setAnimationName("no_such_animation");
  ASSERT_EQ(completed.count(), 1);
  EXPECT_FALSE(completed.at(0).at(0).toBool());
  EXPECT_FALSE(player.isPlaying());
}

}  // namespace
}  // namespace lumora
