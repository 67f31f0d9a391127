#include "ui/connection/ProxyRulesModel.h"

#include <QPointer>
#include <QSet>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "services/connection/RuleEntry.h"
#include "services/log/EventType.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/connection/AdvancedSettings.h"

namespace lumora {

namespace {

constexpr const char* kRoute = "proxyRulues";

QString joined(const std::vector<std::string>& entries) {
  QStringList texts;
  for (const auto& entry : entries) texts.push_back(QString::fromStdString(entry));
  return texts.join(QLatin1Char('\n'));
}

std::vector<std::string> listOf(const QStringList& entries) {
  std::vector<std::string> list;
  list.reserve(static_cast<std::size_t>(entries.size()));
  for (const auto& entry : entries) list.push_back(entry.toStdString());
  return list;
}

std::string commaJoined(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) {
    if (!text.empty()) text += ',';
    text += entry;
  }
  return text;
}

}  // namespace

ProxyRulesModel::ProxyRulesModel(QObject* parent)
    : ProxyRulesModel(SharedInstance<AdvancedSettings>::get(), parent) {}

ProxyRulesModel::ProxyRulesModel(AdvancedSettings* context, QObject* parent) : QObject(parent), context_(context) {
  if (!context_ || !context_->services().status) return;
  const tarnel::ProxyRule rule = context_->services().status->proxyRule();
  direct_ = joined(rule.direct);
  proxy_ = joined(rule.proxy);
  block_ = joined(rule.block);
}

void ProxyRulesModel::setDirect(const QString& text) {
  if (text == direct_) return;
  direct_ = text;
  emit directChanged();
}

void ProxyRulesModel::setProxy(const QString& text) {
  if (text == proxy_) return;
  proxy_ = text;
  emit proxyChanged();
}

void ProxyRulesModel::setBlock(const QString& text) {
  if (text == block_) return;
  block_ = text;
  emit blockChanged();
}

void ProxyRulesModel::appear() {
  if (!context_) return;
  // The router outlives the page: a check left behind by a page that went answers yes.
  QPointer<ProxyRulesModel> page(this);
  context_->state().router()->setWillBack([page] { return page ? page->saveRules() : true; });
}

QStringList ProxyRulesModel::entriesOf(const QString& text) {
  QStringList entries;
  QSet<QString> seen;
  for (const auto& piece : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    if (seen.contains(piece)) continue;
    seen.insert(piece);
    entries.push_back(piece);
  }
  return entries;
}

std::optional<QString> ProxyRulesModel::firstInvalid(const tarnel::ProxyRule& rule) {
  for (const auto* list : {&rule.proxy, &rule.direct, &rule.block}) {
    for (const auto& entry : *list) {
      if (!tarnel::ruleEntryKind(entry)) return QString::fromStdString(entry);
    }
  }
  return std::nullopt;
}

int ProxyRulesModel::jsonLength(const QStringList& entries) {
  const std::string text = nlohmann::json(listOf(entries)).dump();
  return static_cast<int>(QString::fromStdString(text).toUcs4().size());
}

bool ProxyRulesModel::saveRules() {
  if (!context_ || !context_->services().status) return true;
  Router* router = context_->state().router();
  // A second Back while the service is asked waits for its answer instead of sending again.
  if (saving_) return false;

  const tarnel::ProxyRule old = context_->services().status->proxyRule();
  const QStringList proxy = entriesOf(proxy_);
  const QStringList direct = entriesOf(direct_);
  const QStringList block = entriesOf(block_);
  const QChar lineFeed(QLatin1Char('\n'));
  if (proxy.join(lineFeed) == joined(old.proxy) && direct.join(lineFeed) == joined(old.direct) &&
      block.join(lineFeed) == joined(old.block)) {
    router->setWillBack(Router::defaultWillBack());
    return true;
  }

  tarnel::ProxyRule rule;
  rule.direct = listOf(direct);
  rule.proxy = listOf(proxy);
  rule.block = listOf(block);
  if (const auto invalid = firstInvalid(rule)) {
    showToast(localized(QStringLiteral("%@ is not the correct domain name or IP address.")).arg(*invalid),
              ToastType::error);
    return false;
  }
  for (const auto* list : {&proxy, &direct, &block}) {
    if (jsonLength(*list) > kMaxListJsonLength) {
      showToast(QStringLiteral("proxy rule max length"), ToastType::error);
      return false;
    }
  }

  const Services& services = context_->services();
  if (services.logQueue) {
    services.logQueue->event(tarnel::EventType::PROXY_RULES, {},
                             {{"always_direct", commaJoined(rule.direct)},
                              {"always_proxy", commaJoined(rule.proxy)},
                              {"always_block", commaJoined(rule.block)}});
  }

  saving_ = true;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString()));
  auto status = services.status;
  QPointer<ProxyRulesModel> page(this);
  QPointer<Router> routerGuard(router);
  // In the context of the process-wide settings object: a save the service took is kept and
  // its page closed even when the page was rebuilt meanwhile.
  Workers::run(
      context_,
      [status, rule] {
        const bool saved = status->saveProxyRules(rule);
        if (saved) status->setProxyRule(rule);
        return saved;
      },
      [loading, page, routerGuard](bool saved) {
        loading->hide();
        if (page) page->saving_ = false;
        if (!saved) {
          showToast(QStringLiteral("Save failed, please try again later"), ToastType::error);
          return;
        }
        if (!routerGuard) return;
        routerGuard->setWillBack(Router::defaultWillBack());
        // Only the editor itself is closed: when another page has come over it, that one stays.
        if (routerGuard->topName() == QLatin1String(kRoute)) routerGuard->back();
      });
  return false;
}

}  // namespace lumora
