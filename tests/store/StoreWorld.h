#pragma once

// The shop, coupon and invitation pages' objects over the service fakes and the tests' store,
// built as the program builds them, with the context's side effects recorded.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "tests/ui_support/fakes/FakeStoreBackend.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/store/StoreContext.h"


// Qt's QML loader thread hands data to the GUI thread through Qt's own (uninstrumented)
// reference counts, which ThreadSanitizer reports as races; the plain and AddressSanitizer runs
// cover these tests.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_TSAN() GTEST_SKIP() << "QML loading under ThreadSanitizer"
#else
#define SKIP_UNDER_TSAN() (void)0
#endif

namespace lumora::test {

struct OpenedWindow {
  ModalWindowType type;
  QString title;
  QUrl url;
  QSize size;
};

struct StoreWorld {
  StoreWorld() : ui(fakes.services(), AppStateOptions{}) {
    tarnel::Login login;
    login.user.id = "u-1";
    login.user.email = "member@mail.test";
    login.config_text.APP_STORE_PLAN_DESC = "Plans are sold on the web site.";
    fakes.account->setLoginInfo(login);
    ui.state->setLoginInfo(login);
    context.services = fakes.services();
    context.state = ui.state.get();
    context.backend = store;
    context.openOfficialWebsite = [this] { ++siteOpenings; };
    context.vipRemainingTime = [] { return QStringLiteral("3day 4hour"); };
    context.refreshAccount = [this] { ++accountRefreshes; };
    context.openPayment = [this] { ++paymentOpenings; };
    context.openWindow = [this](ModalWindowType type, const QString& title, const QUrl& url, QSize size) {
      windows.push_back({type, title, url, size});
    };
    context.hasWindow = [this] { return hasWindow; };
    context.copyText = [this](const QString& text) { copied.push_back(text); };
    SharedInstance<StoreContext>::install(&context);
  }
  ~StoreWorld() { SharedInstance<StoreContext>::uninstall(&context); }

  // Writes a receipt file the store points at.
  std::filesystem::path writeReceipt(const QByteArray& bytes) {
    const QString path = folder.filePath(QStringLiteral("receipt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    store->setReceipt(path.toStdString());
    return path.toStdString();
  }

  // The toast shown now, as its key when it is one of the given keys.
  QString toast(std::initializer_list<const char*> keys) const {
    if (!ui.toast.isShowing()) return {};
    for (const char* key : keys)
      if (ui.toast.message() == localized(QString::fromUtf8(key))) return QString::fromUtf8(key);
    return ui.toast.message();
  }
  void clearToast() {
    ui.toast.setLifetimeMs(1);
    ui.toast.show(QString(), ToastType::info);
    waitFor([this] { return !ui.toast.isShowing(); });
    ui.toast.setLifetimeMs(3000);
  }
  bool loading() const { return ui.loading.isShowing(); }

  FakeServices fakes;
  UiObjects ui;
  std::shared_ptr<FakeStoreBackend> store = std::make_shared<FakeStoreBackend>();
  StoreContext context;
  QTemporaryDir folder;
  int siteOpenings = 0;
  int accountRefreshes = 0;
  int paymentOpenings = 0;
  bool hasWindow = true;
  std::vector<OpenedWindow> windows;
  std::vector<QString> copied;
};

}  // namespace lumora::test
