import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The main window's content, bottom to top: pages, loading overlay, dialog, toast (readable over
// the dialog's dim layer), and the download panel over everything.
Item {
    id: content
    objectName: "mainContent"
    width: Theme.pageWidth
    height: Theme.pageHeight

    RouteTable { id: routes }

    RouteView {
        objectName: "routeView"
        router: AppStateManager.router
        pageFor: routes.pageFor
    }
    LoadingView { manager: LoadingManager }
    DialogView { manager: DialogManager }
    ToastView { manager: ToastManager }
    DownloadView {}
}
