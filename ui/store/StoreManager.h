#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "services/model/PaymentModels.h"
#include "services/model/ProductModels.h"
#include "ui/base/Feedback.h"
#include "ui/store/StoreContext.h"

namespace lumora {

// The shop page's purchase manager: which plans are for sale, the matching store products, the
// selected card, and every transaction of the store's payment queue until the service has
// credited it. A transaction is finished only once the service has credited its receipt or
// kept it for resending, so a purchase cut short (the program ending, the service unreachable)
// comes back from the queue or from the kept receipts. GUI thread only; the store's answers
// come back to it, the service calls run on workers.
class StoreManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QVariantList products READ productList NOTIFY productsChanged)
  Q_PROPERTY(QString selectId READ selectId WRITE setSelectId NOTIFY selectIdChanged)
  Q_PROPERTY(QString email READ email NOTIFY accountChanged)
  Q_PROPERTY(QString remainingTime READ remainingTime NOTIFY accountChanged)

 public:
  explicit StoreManager(QObject* parent = nullptr);
  StoreManager(StoreContext context, QObject* parent);
  ~StoreManager() override;

  // Each showing of the shop: observes the payment queue (once for the manager's life) and
  // loads the plans and products again.
  Q_INVOKABLE void appear();
  Q_INVOKABLE void loadProducts();
  // The order button of the card of `productId`.
  Q_INVOKABLE void buy(const QString& productId);

  const std::vector<StoreProduct>& products() const { return products_; }
  const std::vector<tarnel::PaymentPlansPackages>& packages() const { return packages_; }
  const std::vector<tarnel::ProductDetails>& details() const { return details_; }
  QVariantList productList() const;
  QString selectId() const { return selectId_; }
  void setSelectId(const QString& id);
  QString email() const;
  QString remainingTime() const;
  bool observing() const { return observer_.has_value(); }

  // Sends the purchases the service did not credit earlier again, on a worker; at start.
  static void resendPendingReceipts(std::shared_ptr<ShopService> shop);

 signals:
  void productsChanged();
  void selectIdChanged();
  void accountChanged();

 private:
  struct Plans {
    bool canPay = false;
    std::optional<tarnel::PaymentPlans> plans;
    std::string planDescription;
  };
  void applyPlans(Plans plans);
  void applyProducts(std::optional<std::vector<StoreProduct>> products);
  void applyTransactions(const std::vector<StoreTransaction>& transactions);
  void credit(const StoreTransaction& transaction);
  void fail(const std::string& message, const std::string& info);
  void showPlanDescription(const std::string& description);

  StoreContext context_;
  std::optional<std::uint64_t> observer_;
  std::vector<tarnel::PaymentPlansPackages> packages_;
  std::vector<StoreProduct> products_;
  std::vector<tarnel::ProductDetails> details_;
  QString selectId_;
  // Transactions whose receipt is on its way to the service; a repeated report waits for it.
  std::set<std::string> crediting_;
  LoadingTicket paymentLoading_;
  // The overlay of each product request under way, by request.
  std::map<std::uint64_t, LoadingTicket> productLoads_;
  std::uint64_t productRequests_ = 0;
};

}  // namespace lumora
