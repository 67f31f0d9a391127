#include "ui/store/StoreManager.h"

#include <QFile>
#include <QPointer>

#include <algorithm>
#include <filesystem>

#include "services/model/TextFormat.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/GuiQueue.h"
#include "ui/base/Router.h"
#include "ui/base/Workers.h"
#include "ui/store/ShopPricing.h"

namespace lumora {

namespace {

QString fixed2(double value) { return QString::fromStdString(tarnel::formatFixed(value, 2)); }

// What became of a purchased transaction's receipt.
struct CreditOutcome {
  enum Kind { noReceipt, unreadable, credited, kept } kind = noReceipt;
  std::string detail;
};

}  // namespace

StoreManager::StoreManager(QObject* parent) : StoreManager(sharedStoreContext(), parent) {}

StoreManager::StoreManager(StoreContext context, QObject* parent) : QObject(parent), context_(std::move(context)) {
  if (context_.state) connect(context_.state, &AppStateManager::loginInfoChanged, this, &StoreManager::accountChanged);
}

StoreManager::~StoreManager() {
  if (observer_ && context_.backend) context_.backend->removeObserver(*observer_);
}

void StoreManager::appear() {
  // One observer however often the page shows: a second one would credit every purchase twice.
  if (!observer_ && context_.backend) {
    QPointer<StoreManager> self(this);
    observer_ = context_.backend->addObserver([self](const std::vector<StoreTransaction>& transactions) {
      GuiQueue::post([self, transactions] {
        if (self) self->applyTransactions(transactions);
      });
    });
  }
  loadProducts();
}

void StoreManager::loadProducts() {
  auto backend = context_.backend;
  auto shop = context_.services.shop;
  auto account = context_.services.account;
  Workers::run(
      this,
      [backend, shop, account] {
        Plans plans;
        plans.canPay = backend && backend->canMakePayments();
        if (plans.canPay && shop) plans.plans = shop->paymentPlans();
        if (account) plans.planDescription = account->loginInfo().config_text.APP_STORE_PLAN_DESC;
        return plans;
      },
      [this](Plans plans) { applyPlans(std::move(plans)); });
}

void StoreManager::applyPlans(Plans plans) {
  if (!plans.canPay || !plans.plans) {
    showPlanDescription(plans.planDescription);
    return;
  }
  // Each request holds a ticket of its own, which only its own answer gives back: the answer to
  // an earlier showing's request does not uncover the window while a later one still loads.
  // The page's tickets go with the page, so a request never answered does not keep it covered.
  const std::uint64_t request = ++productRequests_;
  productLoads_.emplace(request, showLoading(QString::fromUtf8(QT_TRID_NOOP("Loading..."))));
  packages_ = plans.plans->packages;
  std::set<std::string> identifiers;
  for (const auto& package : packages_) identifiers.insert(package.apple_id);
  QPointer<StoreManager> self(this);
  context_.backend->requestProducts(identifiers, [self, request](std::optional<std::vector<StoreProduct>> products) {
    GuiQueue::post([self, request, products = std::move(products)]() mutable {
      if (!self) return;
      // A failed request ends its overlay too; the cards shown stay.
      self->productLoads_.erase(request);
      self->applyProducts(std::move(products));
    });
  });
}

void StoreManager::applyProducts(std::optional<std::vector<StoreProduct>> products) {
  if (!products) return;
  products_ = sortByPriceDescending(std::move(*products));
  details_ = productDetails(products_, packages_);
  emit productsChanged();
  // The user's choice stays while its product is still on sale; otherwise the first (dearest).
  const bool stillThere = std::any_of(products_.begin(), products_.end(), [this](const StoreProduct& product) {
    return QString::fromStdString(product.productIdentifier) == selectId_;
  });
  if (!stillThere)
    setSelectId(products_.empty() ? QString() : QString::fromStdString(products_.front().productIdentifier));
}

QVariantList StoreManager::productList() const {
  const std::string language = context_.state ? context_.state->currentLanguage().toStdString() : std::string("en");
  QVariantList list;
  for (const auto& product : details_) {
    const bool discounted = product.rawPrice != product.originalPrice;
    list.append(QVariantMap{
        {QStringLiteral("id"), QString::fromStdString(product.id)},
        {QStringLiteral("title"), QString::fromStdString(product.title)},
        {QStringLiteral("currencySymbol"), QString::fromStdString(product.currencySymbol)},
        {QStringLiteral("price"), fixed2(product.rawPrice)},
        {QStringLiteral("discounted"), discounted},
        {QStringLiteral("discount"), discounted ? QString::fromStdString(product.discount(language)) : QString()},
        {QStringLiteral("originalPrice"), fixed2(product.originalPrice)},
        {QStringLiteral("saving"), fixed2(product.originalPrice - product.rawPrice)},
    });
  }
  return list;
}

void StoreManager::setSelectId(const QString& id) {
  if (selectId_ == id) return;
  selectId_ = id;
  emit selectIdChanged();
}

QString StoreManager::email() const {
  return context_.state ? QString::fromStdString(context_.state->loginInfo().user.email) : QString();
}

QString StoreManager::remainingTime() const {
  return context_.vipRemainingTime ? context_.vipRemainingTime() : QString();
}

void StoreManager::buy(const QString& productId) {
  const auto product = std::find_if(products_.begin(), products_.end(), [&](const StoreProduct& p) {
    return QString::fromStdString(p.productIdentifier) == productId;
  });
  if (product == products_.end() || !context_.backend) return;
  paymentLoading_ = showLoading(QString::fromUtf8(QT_TRID_NOOP("Loading...")));
  context_.backend->addPayment(*product);
}

void StoreManager::applyTransactions(const std::vector<StoreTransaction>& transactions) {
  for (const auto& transaction : transactions) {
    switch (transaction.state) {
      case TransactionState::purchased:
        credit(transaction);
        break;
      case TransactionState::failed:
        if (transaction.error && transaction.error->code == kPaymentCancelled) {
          // The user's own choice: nothing to report, and the rest of the update still counts.
          hideLoading(paymentLoading_);
        } else {
          fail(transaction.error ? transaction.error->description : std::string(), "appstore payment");
        }
        context_.backend->finishTransaction(transaction.queueId);
        break;
      case TransactionState::restored:
        context_.backend->finishTransaction(transaction.queueId);
        break;
      case TransactionState::deferred:
        // Waiting for someone else's approval may take days: the page is not held up meanwhile.
        hideLoading(paymentLoading_);
        break;
      case TransactionState::purchasing:
        break;
    }
  }
}

void StoreManager::fail(const std::string& message, const std::string& info) {
  if (context_.services.logQueue) {
    LogFields fields{{"message", message}};
    if (!info.empty()) fields["info"] = info;
    context_.services.logQueue->log(std::move(fields), tarnel::LogTopic::EXCEPTION);
  }
  hideLoading(paymentLoading_);
  showToast(QString::fromUtf8(QT_TRID_NOOP("purchase failed")), ToastType::error);
}

void StoreManager::credit(const StoreTransaction& transaction) {
  if (!crediting_.insert(transaction.queueId).second) return;
  auto backend = context_.backend;
  auto shop = context_.services.shop;
  Workers::run(
      this,
      [backend, shop, transaction] {
        CreditOutcome outcome;
        const auto location = backend->receiptLocation();
        std::error_code error;
        if (!location || !std::filesystem::is_regular_file(*location, error)) return outcome;
        QFile file(QString::fromStdString(location->string()));
        if (!file.open(QIODevice::ReadOnly)) return CreditOutcome{CreditOutcome::unreadable, file.errorString().toStdString()};
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
          return CreditOutcome{CreditOutcome::unreadable, file.errorString().toStdString()};
        const bool credited = shop && shop->completePurchase(transaction.productIdentifier,
                                                             transaction.transactionIdentifier.value_or(std::string()),
                                                             bytes.toBase64().toStdString());
        // Credited, or kept by the service library for resending: either way the store need
        // not deliver it again. Finished here, so a page closed meanwhile loses nothing.
        backend->finishTransaction(transaction.queueId);
        if (credited && shop) shop->resendPendingReceipts();
        return CreditOutcome{credited ? CreditOutcome::credited : CreditOutcome::kept, {}};
      },
      [this, queueId = transaction.queueId](CreditOutcome outcome) {
        crediting_.erase(queueId);
        switch (outcome.kind) {
          case CreditOutcome::noReceipt:
            // Nothing to send yet: the transaction stays in the queue for a later showing.
            fail("Receipt data not found", {});
            break;
          case CreditOutcome::unreadable:
            fail("Failed to get receipt data: " + outcome.detail, {});
            break;
          case CreditOutcome::credited:
            showToast(QString::fromUtf8(QT_TRID_NOOP("purchase success")), ToastType::success);
            hideLoading(paymentLoading_);
            break;
          case CreditOutcome::kept:
            showToast(QString::fromUtf8(QT_TRID_NOOP("purchase failed")), ToastType::error);
            hideLoading(paymentLoading_);
            break;
        }
      });
}

void StoreManager::resendPendingReceipts(std::shared_ptr<ShopService> shop) {
  if (!shop) return;
  Workers::run([shop] { shop->resendPendingReceipts(); });
}

void StoreManager::showPlanDescription(const std::string& description) {
  const auto openSite = context_.openOfficialWebsite;
  AppStateManager* state = context_.state;
  DialogButton confirm{QString::fromUtf8(QT_TRID_NOOP("Confirm")),
                       [openSite, state] {
                         confirmDialog([openSite, state] {
                           if (openSite) openSite();
                           if (state) state->router()->backFrom(Route::shop);
                         });
                       },
                       true};
  showDialog(QString::fromStdString(description), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true, {confirm}, {});
}

}  // namespace lumora
