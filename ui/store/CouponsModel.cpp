#include "ui/store/CouponsModel.h"

#include <QDateTime>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "services/model/TextFormat.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/Workers.h"

namespace lumora {

namespace {

const tarnel::CouponBase& base(const CouponEntry& entry) {
  return std::visit([](const auto& value) -> const tarnel::CouponBase& { return value; }, entry);
}
bool isCard(const CouponEntry& entry) { return std::holds_alternative<tarnel::CouponCard>(entry); }

// The page's ordering: whether `a` comes before `b`.
bool before(const CouponEntry& a, const CouponEntry& b) {
  const auto ea = base(a).expired;
  const auto eb = base(b).expired;
  if (ea == 0) return false;
  if (eb == 0) return true;
  if (ea == eb && isCard(a) != isCard(b)) return isCard(a);
  return ea < eb;
}

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

}  // namespace

std::vector<CouponEntry> shownCoupons(const tarnel::Coupon& coupons, std::int64_t nowMs) {
  std::vector<CouponEntry> entries;
  for (const auto& card : coupons.cards)
    if (!card.isExpired(nowMs)) entries.emplace_back(card);
  for (const auto& roll : coupons.rolls)
    if (!roll.isExpired(nowMs)) entries.emplace_back(roll);
  std::stable_sort(entries.begin(), entries.end(), before);
  return entries;
}

CouponsModel::CouponsModel(QObject* parent) : CouponsModel(sharedStoreContext(), parent) {}

CouponsModel::CouponsModel(StoreContext context, QObject* parent) : QObject(parent), context_(std::move(context)) {
  expiry_.setSingleShot(true);
  connect(&expiry_, &QTimer::timeout, this, [this] {
    nowMs_ = QDateTime::currentMSecsSinceEpoch() + clockOffsetMs_;
    emit couponsChanged();
    watchExpiry();
  });
}

void CouponsModel::watchExpiry() {
  // The next entry to expire: one whose expiry is not before the clock yet.
  std::int64_t next = 0;
  for (const auto& entry : shown()) {
    const std::int64_t expiry = base(entry).expired;
    if (expiry >= 1 && (next == 0 || expiry < next)) next = expiry;
  }
  if (next == 0) {
    expiry_.stop();
    return;
  }
  // Expired means strictly before: the entry goes one millisecond after its time. A far
  // expiry is looked at again within a day, so the timer's range is never exceeded.
  constexpr std::int64_t kLongestWaitMs = 24LL * 3600 * 1000;
  const std::int64_t wait = std::clamp<std::int64_t>(next + 1 - nowMs_, 0, kLongestWaitMs);
  expiry_.start(std::chrono::milliseconds(wait));
}

QVariantList CouponsModel::entryList() const {
  const std::string language = context_.state ? context_.state->currentLanguage().toStdString() : std::string("en");
  QVariantList list;
  for (const auto& entry : shown()) {
    QVariantMap row{{QStringLiteral("id"), qint64(base(entry).id)},
                    {QStringLiteral("expiry"), QString::fromStdString(base(entry).expiredString())}};
    if (const auto* card = std::get_if<tarnel::CouponCard>(&entry)) {
      row.insert(QStringLiteral("kind"), QStringLiteral("card"));
      row.insert(QStringLiteral("typeName"), text(card->typeName()));
      // Whole units, rounded to the nearest.
      row.insert(QStringLiteral("amount"), QString::fromStdString(tarnel::formatFixed(card->num, 0)));
      row.insert(QStringLiteral("unitName"), text(card->unitName()));
    } else {
      const auto& roll = std::get<tarnel::CouponRoll>(entry);
      row.insert(QStringLiteral("kind"), QStringLiteral("roll"));
      row.insert(QStringLiteral("name"), text(roll.name()));
      row.insert(QStringLiteral("packageName"), text(roll.packageName()));
      row.insert(QStringLiteral("discount"), QString::fromStdString(roll.discount(language)));
      row.insert(QStringLiteral("unit"), text(roll.unit()));
    }
    list.append(row);
  }
  return list;
}

void CouponsModel::load() {
  auto shop = context_.services.shop;
  auto status = context_.services.status;
  if (!shop) return;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString()));
  Workers::run(
      this,
      [shop, status] {
        tarnel::Coupon coupons = shop->coupons();
        const std::int64_t now = status ? status->serverTimeMilliseconds() : 0;
        return std::make_pair(std::move(coupons), now);
      },
      [this, loading](std::pair<tarnel::Coupon, std::int64_t> answer) {
        coupons_ = std::move(answer.first);
        nowMs_ = answer.second;
        // The page's clock runs on from the service's corrected time while the page is open.
        clockOffsetMs_ = nowMs_ - QDateTime::currentMSecsSinceEpoch();
        loading->hide();
        emit couponsChanged();
        watchExpiry();
      });
}

void CouponsModel::redeem(qint64 id) {
  QPointer<CouponsModel> self(this);
  DialogButton confirm{QString::fromUtf8(QT_TRID_NOOP("Confirm")),
                       [self, id] {
                         confirmDialog([self, id] {
                           if (self) self->useCard(id);
                         });
                       },
                       true};
  showDialog(QString::fromUtf8(QT_TRID_NOOP("Are you sure to use it?")), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true, {confirm}, {});
}

void CouponsModel::useCard(std::int64_t id) {
  auto shop = context_.services.shop;
  if (!shop) return;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString()));
  Workers::run(
      this, [shop, id] { return shop->useCard(id); },
      [this, id, loading](ServiceError error) {
        loading->hide();
        if (error) {
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        std::erase_if(coupons_.cards, [id](const tarnel::CouponCard& card) { return card.id == id; });
        emit couponsChanged();
        showToast(QString::fromUtf8(QT_TRID_NOOP("Time card used successfully")), ToastType::success);
        // The membership grew: the time shown on the other pages is read afresh.
        if (context_.refreshAccount) context_.refreshAccount();
      });
}

void CouponsModel::useCoupon() {
  if (context_.openPayment) context_.openPayment();
}

}  // namespace lumora
