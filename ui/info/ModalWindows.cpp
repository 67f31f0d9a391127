#include "ui/info/ModalWindows.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QScreen>
#include <QQuickWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "ui/base/AppGlobals.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

namespace {
const QUrl kWindowDocument(QStringLiteral("qrc:/qt/qml/Lumora/Info/ModalWindow.qml"));
const QUrl kWebPageDocument(QStringLiteral("qrc:/qt/qml/Lumora/Info/WebPage.qml"));
const char* const kLinkSchemes[] = {"systembrowser", "qnavigation"};

// Our link schemes never load anything: the link handling takes them before any load, and a
// request that gets here anyway is refused.
class RefusingSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override { job->fail(QWebEngineUrlRequestJob::RequestDenied); }
};

void installSchemeHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QQuickWebEngineProfile* profile = QQuickWebEngineProfile::defaultProfile();
  auto* handler = new RefusingSchemeHandler(profile);
  for (const char* name : kLinkSchemes) profile->installUrlSchemeHandler(name, handler);
}
}  // namespace

ModalWindows::ModalWindows(ModalWindowRegistry& registry, QObject* parent) : QObject(parent), registry_(registry) {}

// A closed window waits for the event loop to delete it, and at exit or before its engine goes
// no loop may run again; the browser engine would then still deliver a page's late navigation
// into a view whose QML engine is gone.
ModalWindows::~ModalWindows() {
  for (const auto& window : made_) delete window.data();
}

ModalWindows* ModalWindows::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<ModalWindows>::forQml(qml, js); }

void ModalWindows::openModalWindow(ModalWindowKind::Value type, bool titled, const QString& title, const QString& url,
                                   double width, double height) {
  // A text that is no address gives an empty page, as an empty address does.
  const QUrl parsed(url, QUrl::StrictMode);
  QVariantMap page{{QStringLiteral("pageUrl"), parsed.isValid() ? parsed : QUrl()}};
  open(type, titled, title, QSize(int(width), int(height)),
       {{QStringLiteral("contentSource"), kWebPageDocument}, {QStringLiteral("contentProperties"), page}});
}

void ModalWindows::openModalHtmlWindow(ModalWindowKind::Value type, bool titled, const QString& title,
                                       const QString& html, double width, double height) {
  QVariantMap page{{QStringLiteral("pageHtml"), html}};
  open(type, titled, title, QSize(int(width), int(height)),
       {{QStringLiteral("contentSource"), kWebPageDocument}, {QStringLiteral("contentProperties"), page}});
}

void ModalWindows::closeModalWindow(ModalWindowKind::Value type) { registry_.close(type); }

QQuickWindow* ModalWindows::openContentWindow(ModalWindowType type, bool titled, const QString& title,
                                              const QUrl& content, QSize size, const QVariantMap& properties) {
  return open(type, titled, title, size,
              {{QStringLiteral("contentSource"), content}, {QStringLiteral("contentProperties"), properties}});
}

void ModalWindows::registerLinkSchemes() {
  for (const char* name : kLinkSchemes) {
    QWebEngineUrlScheme scheme(name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
  }
}

QQuickWindow* ModalWindows::window(ModalWindowType type) const {
  return qobject_cast<QQuickWindow*>(registry_.window(type));
}

QQuickWindow* ModalWindows::open(ModalWindowType type, bool titled, const QString& title, QSize size,
                                 const QVariantMap& page) {
  // The old window goes before the new one exists: never two of a kind, not even for a moment.
  registry_.close(type);
  if (!engine_) return nullptr;
  installSchemeHandlers();
  QQmlComponent component(engine_, kWindowDocument);
  QVariantMap properties = page;
  properties.insert(QStringLiteral("title"), localized(title));
  properties.insert(QStringLiteral("width"), size.width());
  properties.insert(QStringLiteral("height"), size.height());
  QObject* made = component.createWithInitialProperties(properties);
  auto* window = qobject_cast<QQuickWindow*>(made);
  if (!window) {
    qWarning("secondary window: %s", qPrintable(component.errorString()));
    delete made;
    return nullptr;
  }
  QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
  Qt::WindowFlags flags = Qt::Window | Qt::WindowStaysOnTopHint;
  flags |= titled ? (Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
                  : Qt::FramelessWindowHint;
  window->setFlags(flags);
  window->setObjectName(QStringLiteral("modalWindow_") + rawValue(type));
  QScreen* screen = mainWindow() ? mainWindow()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    window->setPosition(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  // A window closed by the registry or by its close button is done with: its page and guard go.
  connect(window, &QWindow::visibleChanged, window, [window](bool visible) {
    if (!visible) window->deleteLater();
  });
  std::erase_if(made_, [](const QPointer<QQuickWindow>& gone) { return gone.isNull(); });
  made_.emplace_back(window);
  registry_.add(type, window);
  window->show();
  window->raise();
  window->requestActivate();
  return window;
}

}  // namespace lumora
