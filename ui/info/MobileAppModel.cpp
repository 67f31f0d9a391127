#include "ui/info/MobileAppModel.h"

#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

namespace {

InfoContext sharedContext() {
  const InfoContext* shared = SharedInstance<InfoContext>::get();
  return shared ? *shared : InfoContext{};
}

}  // namespace

MobileAppModel::MobileAppModel(QObject* parent) : MobileAppModel(sharedContext(), parent) {}

MobileAppModel::MobileAppModel(InfoContext context, QObject* parent) : QObject(parent), context_(std::move(context)) {}

void MobileAppModel::load() {
  auto links = context_.services.links;
  if (!links) return;
  Workers::run(
      this, [links] { return QString::fromStdString(links->mobile()); },
      [this](QString address) {
        if (address == address_) return;
        address_ = std::move(address);
        emit addressChanged();
      });
}

}  // namespace lumora
