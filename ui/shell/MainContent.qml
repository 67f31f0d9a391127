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

    // Escape closes the dialog (as its close button does; a dialog without one stays), or else
    // goes back one page. While the loading overlay covers the page, the page waits for its answer
    // and cannot be left, with Escape no more than with a tap. An open drop-down or menu has the
    // keyboard and closes itself first.
    focus: true
    Keys.onEscapePressed: (event) => {
        if (DialogManager.isShow) {
            if (DialogManager.showClose)
                DialogManager.close()
        } else if (LoadingManager.isShowing) {
            // taken, and nothing done: the page waits for its answer
        } else if (AppStateManager.router.depth > 0) {
            AppStateManager.router.goBack()
        } else {
            event.accepted = false
        }
    }

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
