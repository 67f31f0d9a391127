import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The main window's content, bottom to top: pages, download panel, toast, loading overlay, dialog.
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
    DownloadView {}
    ToastView { manager: ToastManager }
    LoadingView { manager: LoadingManager }
    DialogView { manager: DialogManager }
}
