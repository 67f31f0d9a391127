#pragma once

// Everything the pages and the state objects call of the service library and the core
// framework, as one aggregate of narrow interfaces. The composition root makes the real one;
// tests make lumora::FakeServices (tests/ui_support/fakes) and pass its services() instead.

#include <memory>

#include "ui/base/services/AccountService.h"
#include "ui/base/services/CloudLogQueue.h"
#include "ui/base/services/CloudLogService.h"
#include "ui/base/services/ConnectionService.h"
#include "ui/base/services/DeviceService.h"
#include "ui/base/services/DiagnosisService.h"
#include "ui/base/services/EngineService.h"
#include "ui/base/services/LinkService.h"
#include "ui/base/services/NodeSelection.h"
#include "ui/base/services/NoticeService.h"
#include "ui/base/services/SettingsStore.h"
#include "ui/base/services/ShopService.h"
#include "ui/base/services/StatusService.h"

namespace lumora {

struct Services {
  std::shared_ptr<AccountService> account;
  std::shared_ptr<StatusService> status;
  std::shared_ptr<SettingsStore> settings;
  std::shared_ptr<DeviceService> devices;
  std::shared_ptr<NodeSelection> nodes;
  std::shared_ptr<ConnectionService> connection;
  std::shared_ptr<ShopService> shop;
  std::shared_ptr<NoticeService> notices;
  std::shared_ptr<LinkService> links;
  std::shared_ptr<DiagnosisService> diagnosis;
  std::shared_ptr<CloudLogService> cloudLog;
  std::shared_ptr<EngineService> engine;
  // The pages' ordered cloud-log queue over `cloudLog`.
  std::shared_ptr<CloudLogQueue> logQueue;
};

// The real services over the process-wide library state (Global, Store, DNS, NodeController,
// ConnectionController, CloudLog) and the core framework. Cheap; every call shares that state.
Services makeRealServices();

// The single real implementations, for a composition root that wants only some of them.
std::shared_ptr<AccountService> makeRealAccountService();
std::shared_ptr<StatusService> makeRealStatusService();
std::shared_ptr<SettingsStore> makeRealSettingsStore();
std::shared_ptr<DeviceService> makeRealDeviceService();
std::shared_ptr<NodeSelection> makeRealNodeSelection();
std::shared_ptr<ConnectionService> makeRealConnectionService();
std::shared_ptr<ShopService> makeRealShopService();
std::shared_ptr<NoticeService> makeRealNoticeService();
std::shared_ptr<LinkService> makeRealLinkService();
std::shared_ptr<DiagnosisService> makeRealDiagnosisService();
std::shared_ptr<CloudLogService> makeRealCloudLogService();
std::shared_ptr<EngineService> makeRealEngineService();

}  // namespace lumora
