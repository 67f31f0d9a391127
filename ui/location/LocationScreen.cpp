#include "ui/location/LocationScreen.h"

#include <QUrl>

#include <algorithm>

#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/services/CloudLogQueue.h"

namespace lumora {

const QStringList LocationScreen::kAreaOrder = {
    QStringLiteral("Asia"),   QStringLiteral("Southeast Asia"), QStringLiteral("Middle East"),
    QStringLiteral("Americas"), QStringLiteral("Europe"),       QStringLiteral("Eastern Europe"),
    QStringLiteral("Oceania"), QStringLiteral("Africa")};

LocationScreen::LocationScreen(LocationContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)) {
  // The region table is fixed in the library: read once.
  const auto known = context_.services.nodes->areaMap();
  for (const auto& area : kAreaOrder) {
    if (known.count(area.toStdString())) areas_.push_back(area);
  }
  QStringList rest;
  for (const auto& [name, codes] : known) {
    const QString area = QString::fromStdString(name);
    if (!kAreaOrder.contains(area)) rest.push_back(area);
  }
  rest.sort();
  areas_ += rest;

  AppStateManager* state = context_.state;
  connect(state, &AppStateManager::selectedTagChanged, this, &LocationScreen::pendingTagChanged);
  connect(state, &AppStateManager::currentCountryChanged, this, &LocationScreen::autoChosenChanged);
}

LocationScreen* LocationScreen::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<LocationScreen>::forQml(qml, js);
}

bool LocationScreen::hasPendingTag() const { return context_.state->selectedTag().has_value(); }

QString LocationScreen::pendingTagName() const {
  const auto tag = context_.state->selectedTag();
  return tag ? QString::fromStdString(tag->tag) : QString();
}

QString LocationScreen::pendingTagIcon() const {
  const auto tag = context_.state->selectedTag();
  return tag ? webAddress(tag->icon_new) : QString();
}

bool LocationScreen::autoChosen() const { return !context_.state->currentCountry().has_value(); }

void LocationScreen::chooseArea(const QString& area) {
  AppStateManager& state = *context_.state;
  state.setSelectedArea(state.selectedArea() == area ? QString() : area);
}

void LocationScreen::chooseCountry(const QString& code) {
  if (code.isEmpty()) {
    chooseLocation(std::nullopt);
    return;
  }
  const auto countries = context_.state->loginInfo().countries;
  const auto found = std::find_if(countries.begin(), countries.end(),
                                  [&](const tarnel::Country& c) { return QString::fromStdString(c.country) == code; });
  // A row always comes from the account's list; a code that left it meanwhile chooses nothing.
  if (found != countries.end()) chooseLocation(*found);
}

void LocationScreen::chooseLocation(const std::optional<tarnel::Country>& country) {
  AppStateManager& state = *context_.state;
  const auto tag = state.selectedTag();
  context_.services.logQueue->event(tarnel::EventType::LOCATION_USE, country ? country->country : "auto",
                                    {{"tag", tag ? tag->tag : ""}, {"tab", "vip"}});
  state.setCurrentTag(tag);
  state.setCurrentCountry(country);
  state.router()->backToRoot();
}

void LocationScreen::chooseNode(const tarnel::Node& node) {
  AppStateManager& state = *context_.state;
  context_.services.logQueue->event(tarnel::EventType::NODE_CONNECT, node.node_id, {});
  state.router()->backToRoot();
  state.setCurrentTag(state.selectedTag());
  state.setCurrentNode(node);
}

void LocationScreen::pickTag(const std::optional<tarnel::Tag>& tag) {
  context_.state->setSelectedTag(tag);
  context_.state->router()->push(Route::location);
}

void LocationScreen::openTags() { context_.state->router()->push(Route::tag); }

void LocationScreen::openNodes(const QString& code, const QString& name) {
  context_.state->router()->push(Route::nodeRoute(code, name));
}

void LocationScreen::cancel() { context_.state->router()->backToRoot(); }

QString LocationScreen::flagAddress(const std::string& code) const {
  if (code.empty()) return {};
  return webAddress(context_.services.links->countryIcon(QString::fromStdString(code).toUpper().toStdString()));
}

QString LocationScreen::webAddress(const std::string& text) {
  const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
  const bool web = url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
                   !url.host().isEmpty();
  return web ? url.toString() : QString();
}

}  // namespace lumora
