// One launch of the program's composition root, measured.
//
//   tarnel_startup_bench first-frame     prints "first-frame-ns <CLOCK_REALTIME ns>" at the first
//                                        frame of the start-up page, then leaves
//   tarnel_startup_bench home-rss        signs in to the development service first, then prints
//                                        "home-rss-kb <VmRSS>" once the home page has drawn
//
// The caller notes the time before it starts the process (startup-bench.sh), so the figure
// covers loading, the services, the state objects, QML and the first frame.

#include <QApplication>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>

#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>

#include "app/Application.h"
#include "core/EngineEnvironment.h"
#include "core/HttpEngine.h"
#include "services/api/APIManager.h"
#include "services/network/DNS.h"
#include "tools/devservice/DevService.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/shell/LumoraPlugins.h"

namespace {

long long realtimeNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Points discovery and trust at the development service that startup-bench.sh runs.
void useDevelopmentService(const std::string& ca) {
  using tarnel::dev::DevAddresses;
  helmsey::HttpEngine::setExtraCertificateAuthority(ca);
  helmsey::EngineEnvironment environment;
  environment.extraCaCertificate = ca;
  helmsey::setEngineEnvironment(environment);
  const std::string discovery =
      std::string("https://") + DevAddresses::kService + ":" + std::to_string(DevAddresses::kDiscoveryPort);
  tarnel::DNS::setDeploymentForTesting(
      {{{{discovery, std::map<std::string, std::string>{{"Host", DevAddresses::kDiscoveryName}}}}},
       DevAddresses::kService});
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "first-frame";
  const char* ca = std::getenv("TARNEL_BENCH_CA");
  tarnel_app::Application::prepareProcess();
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  QQuickStyle::setStyle(QStringLiteral("Basic"));

  if (ca) useDevelopmentService(ca);
  if (mode == "home-rss") {
    tarnel::DNS::shared().initDNS();
    const tarnel::dev::DevAccount account;
    if (tarnel::APIManager::login(account.email, account.password, 0, "")) {
      std::cerr << "sign-in failed\n";
      return 1;
    }
  }

  tarnel_app::LaunchHooks hooks;
  hooks.windowReady = [mode](QQuickWindow* window) {
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [mode, window] {
      static bool firstSeen = false;
      if (mode == "first-frame" && !firstSeen) {
        firstSeen = true;
        std::cout << "first-frame-ns " << realtimeNs() << std::endl;
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        return;
      }
      auto* state = lumora::SharedInstance<lumora::AppStateManager>::get();
      if (mode == "home-rss" && state && state->router()->root().kind() == lumora::Route::main) {
        // The frame after the one that switched pages shows the home page settled.
        QTimer::singleShot(200, [] {
          std::cout << "home-rss-kb " << residentKb() << std::endl;
          QCoreApplication::exit(0);
        });
        QObject::disconnect(window, &QQuickWindow::frameSwapped, nullptr, nullptr);
      }
    }, Qt::DirectConnection);
  };
  tarnel_app::Application tarnel(hooks);
  if (!tarnel.start()) return 1;
  QTimer::singleShot(20000, [] { QCoreApplication::exit(2); });
  return tarnel.exec();
}
