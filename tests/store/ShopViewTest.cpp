// The shop page as drawn: one expanded card (the selected one) with its order button, the
// discount badge and original price only where there is a saving, and ordering from the card.
#include <gtest/gtest.h>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

#include "tests/store/StoreWorld.h"
#include "ui/shell/LumoraPlugins.h"
#include "ui/store/StoreManager.h"

namespace lumora::test {
namespace {

// Through the item tree: a repeater's cards hang off its parent item, not off its object tree.
QQuickItem* child(QQuickItem* item, const QString& name) {
  if (!item) return nullptr;
  for (auto* c : item->childItems()) {
    if (c->objectName() == name) return c;
    if (auto* found = child(c, name)) return found;
  }
  return nullptr;
}

TEST(ShopView, OnlyTheSelectedCardIsExpandedAndOnlyASavingShowsItsBadge) {
  SKIP_UNDER_TSAN();
  StoreWorld world;
  world.fakes.shop->script.answer<std::optional<tarnel::PaymentPlans>>(
      "paymentPlans", tarnel::PaymentPlans{{{1, "month"}, {12, "year"}}});
  world.store->shelve({{"month", "One month", "5", "$", "USD"}, {"year", "One year", "39", "$", "USD"}});
  world.writeReceipt("receipt");
  QQmlEngine engine;
  world.ui.prepare(engine);
  QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Store/ShopView.qml")));
  std::unique_ptr<QObject> object(component.create());
  ASSERT_TRUE(object) << component.errorString().toStdString();
  auto* page = qobject_cast<QQuickItem*>(object.get());
  auto* manager = page->findChild<StoreManager*>();
  ASSERT_NE(manager, nullptr);
  QQuickItem* year = nullptr;
  QQuickItem* month = nullptr;
  ASSERT_TRUE(waitFor([&] {
    year = child(page, QStringLiteral("shopItem_year"));
    month = child(page, QStringLiteral("shopItem_month"));
    return year && month;
  }));
  EXPECT_EQ(page->findChild<QObject*>(QStringLiteral("shopEmail"))->property("text").toString(), "member@mail.test");
  EXPECT_EQ(page->findChild<QObject*>(QStringLiteral("shopRemaining"))->property("text").toString(), "3day 4hour");

  struct Expect {
    QQuickItem* card;
    bool expanded;
    bool badge;
  };
  const auto check = [&](std::initializer_list<Expect> cards) {
    for (const auto& e : cards) {
      SCOPED_TRACE(e.card->objectName().toStdString());
      EXPECT_EQ(e.card->property("selected").toBool(), e.expanded);
      EXPECT_TRUE(waitFor([&] { return e.card->height() == (e.expanded ? 220 : 50); }));
      EXPECT_EQ(child(e.card, QStringLiteral("orderButton"))->isVisible(), e.expanded);
      EXPECT_EQ(child(e.card, QStringLiteral("discountBadge"))->isVisible(), e.expanded && e.badge);
      EXPECT_EQ(child(e.card, QStringLiteral("originalPriceRow"))->isVisible(), e.expanded && e.badge);
    }
  };
  // The dearest first and selected; the cheapest costs its own original price: no badge.
  check({{year, true, true}, {month, false, false}});
  manager->setSelectId(QStringLiteral("month"));
  check({{year, false, true}, {month, true, false}});

  // Ordering from the expanded card buys that product.
  QMetaObject::invokeMethod(month, "buy");
  EXPECT_EQ(world.store->payments(), (std::vector<std::string>{"month"}));
  ASSERT_TRUE(waitFor([&] { return world.store->finished().size() == 1; }));
}

}  // namespace
}  // namespace lumora::test
