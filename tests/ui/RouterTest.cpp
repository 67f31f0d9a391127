#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "ui/base/Router.h"

namespace lumora {
namespace {

using test::spin;
using test::waitFor;

// Long enough for a slide and its deferred removal to have run, where nothing is awaited and
// the check is that nothing happened.
constexpr int kAfterSlideMs = Router::kSlideMs + 150;

Router* routerWith(const std::vector<Route>& stack) {
  auto* router = new Router(Route::initial);
  for (const auto& route : stack) router->push(route);
  waitFor([&] { return router->offsetX() == 0; });
  return router;
}

// The router's offset at each of its changes, with the depth then: a slide's course is checked
// afterwards, whatever number of its steps this machine ran, and however late.
class Course {
 public:
  explicit Course(const Router& router)
      : watch_(QObject::connect(&router, &Router::offsetXChanged,
                                [this, &router] { seen_.push_back({router.offsetX(), router.stack().size()}); })) {}
  ~Course() { QObject::disconnect(watch_); }
  Course(const Course&) = delete;
  Course& operator=(const Course&) = delete;

  // Whether the offset was ever on the given side (the sign of towards) at the given depth.
  bool sawAt(std::size_t depth, double towards) const {
    return std::any_of(seen_.begin(), seen_.end(),
                       [&](const Step& step) { return step.depth == depth && step.offset * towards > 0; });
  }

 private:
  struct Step {
    double offset;
    std::size_t depth;
  };
  std::vector<Step> seen_;
  QMetaObject::Connection watch_;
};

struct PushCase {
  const char* what;
  std::vector<Route> before;
  Route pushed;
  std::vector<Route> after;
  double startOffset;
};

TEST(RouterTest, PushMovesTheRouteToTheTopAndSlidesItInFromItsSide) {
  const Route japan = Route::nodeRoute("jp", "Japan");
  const Route japanAgain = Route::nodeRoute("jp", "Nippon");
  const std::vector<PushCase> cases{
      {"onto an empty stack", {}, Route::settings, {Route::settings}, 400},
      {"an open page moves to the top", {Route::settings, Route::advanced}, Route::settings,
       {Route::advanced, Route::settings}, 400},
      {"the only page again", {Route::settings}, Route::settings, {Route::settings}, 400},
      {"the menu comes from the left", {}, Route::menu, {Route::menu}, -400},
      {"a node page of the same country but another title is another page", {japan}, japanAgain,
       {japan, japanAgain}, 400},
      {"a node page equal in both texts is the same page", {japan, Route::about}, Route::nodeRoute("jp", "Japan"),
       {Route::about, japan}, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Router> router(routerWith(c.before));
    router->push(c.pushed);
    EXPECT_EQ(router->stack(), c.after);
    EXPECT_DOUBLE_EQ(router->offsetX(), c.startOffset);
    EXPECT_TRUE(waitFor([&] { return router->offsetX() == 0; }));
    EXPECT_EQ(router->stack(), c.after);
  }
}

TEST(RouterTest, BackSlidesTheTopPageOutAndRemovesItWhenTheSlideIsOver) {
  struct Case {
    Route top;
    double towards;
  };
  for (const auto& c : std::vector<Case>{{Route::menu, -400}, {Route::settings, 400}, {Route::nodeRoute("de", "Germany"), 400}}) {
    SCOPED_TRACE(c.top.name().toStdString());
    std::unique_ptr<Router> router(routerWith({Route::about, c.top}));
    const Course course(*router);
    router->back();
    EXPECT_TRUE(waitFor([&] { return router->stack().size() == 1; }));
    // On its way: still on the stack, moving out to its own side.
    EXPECT_TRUE(course.sawAt(2, c.towards));
    EXPECT_EQ(router->stack(), std::vector<Route>{Route::about});
    EXPECT_DOUBLE_EQ(router->offsetX(), 0);
  }
}

TEST(RouterTest, BackDoesNothingOnAnEmptyStackOrWhenThePageRefuses) {
  std::unique_ptr<Router> empty(routerWith({}));
  empty->back();
  EXPECT_DOUBLE_EQ(empty->offsetX(), 0);
  spin(kAfterSlideMs);
  EXPECT_TRUE(empty->stack().empty());

  std::unique_ptr<Router> refusing(routerWith({Route::settings, Route::feedback}));
  int asked = 0;
  refusing->setWillBack([&] {
    ++asked;
    return false;
  });
  refusing->back();
  spin(kAfterSlideMs);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(refusing->stack(), (std::vector<Route>{Route::settings, Route::feedback}));
  EXPECT_DOUBLE_EQ(refusing->offsetX(), 0);

  // A push puts the default veto back: the next back is let through.
  refusing->push(Route::tools);
  spin(kAfterSlideMs);
  refusing->back();
  EXPECT_TRUE(waitFor([&] { return refusing->stack().size() == 2; }));
  EXPECT_EQ(asked, 1);
}

TEST(RouterTest, TwoBacksWithinOneSlideRemoveTwoPages) {
  std::unique_ptr<Router> router(routerWith({Route::settings, Route::advanced, Route::proxyRulues}));
  router->back();
  spin(50);
  router->back();
  EXPECT_TRUE(waitFor([&] { return router->stack().size() == 1; }));
  spin(kAfterSlideMs);
  EXPECT_EQ(router->stack(), std::vector<Route>{Route::settings});
  EXPECT_DOUBLE_EQ(router->offsetX(), 0);
}

TEST(RouterTest, APagePushedWhileAnotherSlidesOutStays) {
  // The deferred removal takes the page that was leaving, not whatever is last by then.
  std::unique_ptr<Router> router(routerWith({Route::settings, Route::advanced}));
  router->back();
  spin(100);
  router->push(Route::proxyRulues);
  // Once the slides are over; a removal that took the last page would never give this stack.
  EXPECT_TRUE(waitFor([&] {
    return router->stack() == std::vector<Route>{Route::settings, Route::proxyRulues} && router->offsetX() == 0;
  }));
  spin(kAfterSlideMs);
  EXPECT_EQ(router->stack(), (std::vector<Route>{Route::settings, Route::proxyRulues}));
  EXPECT_DOUBLE_EQ(router->offsetX(), 0);

  // The same after backToRoot: the new page survives the pages that were closed.
  router->backToRoot();
  spin(100);
  router->push(Route::about);
  EXPECT_TRUE(waitFor([&] { return router->stack() == std::vector<Route>{Route::about}; }));
  spin(kAfterSlideMs);
  EXPECT_EQ(router->stack(), std::vector<Route>{Route::about});
}

TEST(RouterTest, BackToRootDropsTheMiddlePagesAtOnceAndTheTopAfterItsSlide) {
  std::unique_ptr<Router> router(routerWith({Route::menu, Route::settings, Route::advanced}));
  router->setWillBack([] { return false; });  // not asked: going home cannot be refused
  const Course course(*router);
  router->backToRoot();
  EXPECT_EQ(router->stack(), std::vector<Route>{Route::advanced});
  EXPECT_TRUE(waitFor([&] { return router->stack().empty(); }));
  EXPECT_TRUE(course.sawAt(1, +1));
  EXPECT_DOUBLE_EQ(router->offsetX(), 0);

  std::unique_ptr<Router> menu(routerWith({Route::menu}));
  const Course menuCourse(*menu);
  menu->backToRoot();
  EXPECT_TRUE(waitFor([&] { return menu->stack().empty(); }));
  EXPECT_TRUE(menuCourse.sawAt(1, -1));
}

TEST(RouterTest, ReplaceTopTakesThePlaceOfTheTopPageWithoutASlideOut) {
  std::unique_ptr<Router> router(routerWith({Route::settings, Route::devices}));
  router->replaceTop(Route::upgrade);
  EXPECT_EQ(router->stack(), (std::vector<Route>{Route::settings, Route::upgrade}));
  std::unique_ptr<Router> empty(routerWith({}));
  empty->replaceTop(Route::upgrade);
  EXPECT_EQ(empty->stack(), std::vector<Route>{Route::upgrade});
}

TEST(RouterTest, AssigningTheRootLeavesOpenPagesOpen) {
  std::unique_ptr<Router> router(routerWith({Route::settings}));
  router->setRoot(Route::main);
  EXPECT_EQ(router->root(), Route(Route::main));
  EXPECT_EQ(router->stack(), std::vector<Route>{Route::settings});
}

}  // namespace
}  // namespace lumora
