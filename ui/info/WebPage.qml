import QtQuick
import QtWebEngine
import Lumora.Info

// A web page of a secondary window: an address or an HTML text. Clicked links go through the
// page's controller; schemes the browser engine does not know never reach the desktop.
WebEngineView {
    id: view
    objectName: "webPage"

    property url pageUrl
    property string pageHtml

    settings.unknownUrlSchemePolicy: WebEngineSettings.DisallowUnknownUrlSchemes

    WebPageController {
        id: controller
        active: view.Window.window !== null && view.Window.window.visible
    }

    // A page that does not finish loading within the time-out is given up, as a request with a
    // time-out fails: the load stops and the page shows what it has.
    Timer {
        id: loadTimer
        objectName: "loadTimer"
        interval: controller.loadTimeout
        onTriggered: {
            if (view.loading)
                view.stop()
        }
    }

    onNavigationRequested: function(request) {
        const linkClick = request.navigationType === WebEngineNavigationRequest.LinkClickedNavigation
        if (!controller.accepts(request.url, linkClick))
            request.reject()
    }
    onCertificateError: function(error) {
        if (controller.trusts(error))
            error.acceptCertificate()
    }
    onLoadingChanged: function(info) {
        if (info.status === WebEngineView.LoadStartedStatus) {
            loadTimer.restart()
            return
        }
        loadTimer.stop()
        if (info.status !== WebEngineView.LoadSucceededStatus)
            return
        controller.pageLoaded()
        view.runJavaScript("document.documentElement.outerHTML.toString()", function(markup) {
            controller.scanPage(markup)
        })
    }
    Component.onCompleted: {
        if (view.pageUrl.toString() !== "")
            view.url = view.pageUrl
        if (view.pageHtml !== "")
            view.loadHtml(view.pageHtml)
    }
}
