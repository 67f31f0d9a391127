import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The main window's content, bottom to top: pages, loading overlay, dialog, toast (readable over
// the dialog's dim layer), and the download panel over everything.
FocusScope {
    id: content
    objectName: "mainContent"
    width: Theme.pageWidth
    height: Theme.pageHeight

    // The keyboard belongs to the layer in front, as taps do: the download panel, else the dialog,
    // else the loading overlay, else the top page. Keys typed over a layer reach nothing beneath it:
    // not the field a covered page had (it keeps its text, and has the keys again when its page is
    // in front once more), not that page's Return.
    readonly property Item frontLayer: downloadView.running ? downloadView
                                       : DialogManager.isShow ? dialogView
                                       : LoadingManager.isShowing ? loadingView : routeView
    // The layer in front, down to the page in front when that layer is the pages.
    function frontItem() {
        return frontLayer === routeView ? routeView.frontPage() : frontLayer
    }
    function keepKeysInFront() {
        if (!frontLayer.focus)
            frontLayer.focus = true
        if (frontLayer === routeView)
            routeView.keepKeysOnFrontPage()
    }
    onFrontLayerChanged: keepKeysInFront()
    // Whatever moves the keyboard into a layer that is not in front (a covered page's field taking
    // it by itself) gives it back to the layer in front at once, before the next key. Each layer is
    // a focus scope, so this changes nothing while the keyboard is anywhere in front; the keyboard
    // outside the content (an open menu or drop-down list) stays where it is.
    Connections {
        target: content.Window.window
        function onActiveFocusItemChanged() { content.keepKeysInFront() }
    }
    Component.onCompleted: keepKeysInFront()

    function holds(ancestor, item) {
        for (let at = item; at; at = at.parent) {
            if (at === ancestor)
                return true
        }
        return false
    }
    // Tab and Backtab go from field to field of the layer in front only: the window's own walk
    // goes through every page, the covered ones too.
    function walkKeys(forward) {
        const front = frontItem()
        const from = Window.activeFocusItem
        if (!front || !from)
            return
        const first = from.nextItemInFocusChain(forward)
        for (let next = first; next; ) {
            if (holds(front, next)) {
                next.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
                return
            }
            next = next.nextItemInFocusChain(forward)
            if (next === first)
                return
        }
    }
    Shortcut {
        sequences: ["Tab"]
        enabled: content.activeFocus
        onActivated: content.walkKeys(true)
    }
    Shortcut {
        sequences: ["Backtab"]
        enabled: content.activeFocus
        onActivated: content.walkKeys(false)
    }

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
        id: routeView
        objectName: "routeView"
        router: AppStateManager.router
        pageFor: routes.pageFor
    }
    LoadingView { id: loadingView; manager: LoadingManager }
    DialogView { id: dialogView; manager: DialogManager }
    ToastView { manager: ToastManager }
    DownloadView { id: downloadView }
}
