import QtQuick
import QtTest
import Lumora.Base
import Lumora.Controls
import Lumora.Shell

// Input in the main window: only the top page takes taps (also while it slides), Escape closes
// the dialog or goes back one page, and the overlays stack as the window shows them.
Item {
    id: root
    width: 400
    height: 660

    property int rootTaps: 0
    property int pushedTaps: 0

    Component {
        id: tappableRoot
        MouseArea {
            objectName: "tappableRoot"
            onClicked: root.rootTaps += 1
        }
    }
    // A page with a button at the top and nothing but blank space below it.
    Component {
        id: mostlyBlank
        Rectangle {
            color: "white"
            MouseArea {
                objectName: "pushedButton"
                width: parent.width
                height: 50
                onClicked: root.pushedTaps += 1
            }
        }
    }

    RouteView {
        id: routeView
        router: AppStateManager.router
        pageFor: function(route) { return route === router.root ? tappableRoot : mostlyBlank }
        visible: false
    }
    MainContent { id: content }

    TestCase {
        name: "WindowInput"
        when: windowShown
        readonly property Router router: AppStateManager.router

        function init() {
            routeView.visible = false
            content.visible = true
            content.forceActiveFocus()
            DialogManager.isShow = false
            router.setBackVeto(null)
            router.goBackToRoot()
            tryCompare(router, "depth", 0, 20000)
            root.rootTaps = 0
            root.pushedTaps = 0
        }

        function test_only_the_top_page_takes_taps_also_while_it_slides() {
            content.visible = false
            routeView.visible = true
            mouseClick(routeView, 200, 400)
            compare(root.rootTaps, 1, "the root page alone takes taps")
            router.push("settings")
            // Mid-slide: the strip on the left still shows the root page.
            mouseClick(routeView, 20, 400)
            tryCompare(router, "offsetX", 0, 20000)
            mouseClick(routeView, 200, 400)  // the pushed page's blank area
            mouseClick(routeView, 200, 20)   // its button
            compare(root.pushedTaps, 1)
            compare(root.rootTaps, 1, "nothing reached the page beneath")
            router.goBack()
            tryCompare(router, "depth", 0, 20000)
            mouseClick(routeView, 200, 400)
            compare(root.rootTaps, 2)
        }

        function test_escape_goes_back_one_page() {
            router.push("settings")
            router.push("feedback")
            tryCompare(router, "offsetX", 0, 20000)
            keyClick(Qt.Key_Escape)
            tryCompare(router, "depth", 1, 20000)
            keyClick(Qt.Key_Escape)
            tryCompare(router, "depth", 0, 20000)
            keyClick(Qt.Key_Escape)
            compare(router.depth, 0)
        }

        function test_escape_closes_a_dialog_that_has_a_close_button_and_stays_on_the_page() {
            router.push("settings")
            tryCompare(router, "offsetX", 0, 20000)
            var cancelled = 0
            DialogManager.showText("closable", "tips_title", true, [], function() { cancelled += 1 })
            keyClick(Qt.Key_Escape)
            verify(!DialogManager.isShow)
            compare(cancelled, 1)
            compare(router.depth, 1)
            DialogManager.showText("must answer", "tips_title", false, [{ title: "OK" }], null)
            keyClick(Qt.Key_Escape)
            verify(DialogManager.isShow, "a dialog without a close button waits for its answer")
            compare(router.depth, 1)
            DialogManager.isShow = false
        }

        function test_escape_leaves_no_page_while_the_loading_overlay_covers_it() {
            router.push("settings")
            router.push("changePWD")
            tryCompare(router, "offsetX", 0, 20000)
            var leaveAsked = 0
            router.setBackVeto(function() { leaveAsked += 1; return true })
            var ticket = LoadingManager.show("")
            keyClick(Qt.Key_Escape)
            compare(leaveAsked, 0, "the page waiting for its answer stays")
            LoadingManager.hide(ticket)
            keyClick(Qt.Key_Escape)
            compare(leaveAsked, 1)
            tryCompare(router, "depth", 1, 20000)
        }

        SignalSpy { id: coveredFocus; signalName: "activeFocusChanged" }

        // Tab and Backtab go round the fields of the page in front; the covered page's field never
        // has the keyboard on the way, not even for a moment, and has it again once in front.
        function test_tab_walks_only_the_fields_of_the_page_in_front() {
            router.push("feedback")
            tryCompare(router, "offsetX", 0, 20000)
            var editor = findChild(content, "feedbackEditor")
            mouseClick(editor, 10, 10)
            verify(editor.activeFocus)
            router.push("changePWD")
            tryCompare(router, "offsetX", 0, 20000)
            verify(!editor.activeFocus, "the pushed page took the keyboard")
            coveredFocus.target = editor
            coveredFocus.clear()
            mouseClick(findChild(content, "oldPasswordField"), 10, 10)
            var walk = []
            for (var i = 0; i < 4; ++i) {
                keyClick(Qt.Key_Tab)
                walk.push(Window.window.activeFocusItem.objectName)
            }
            keyClick(Qt.Key_Backtab)
            walk.push(Window.window.activeFocusItem.objectName)
            compare(walk.join(" "), "newPasswordField confirmPasswordField oldPasswordField newPasswordField oldPasswordField")
            compare(coveredFocus.count, 0, "the covered page's field had the keyboard on the way")
            router.goBack()
            tryCompare(router, "depth", 1, 20000)
            verify(editor.activeFocus, "the field beneath has the keyboard back")
        }

        function indexInContent(name) {
            var item = findChild(content, name)
            verify(item !== null, name)
            while (item.parent !== content)
                item = item.parent
            for (var i = 0; i < content.children.length; ++i) {
                if (content.children[i] === item)
                    return i
            }
            return -1
        }

        function test_a_shown_toast_ends_its_fade_fully_shown() {
            ToastManager.show("readable", "error")
            var toast = findChild(content, "toast")
            tryCompare(toast, "opacity", 1, 20000)
            verify(toast.visible)
        }

        function test_toasts_lie_over_the_dialog_and_the_download_panel_over_both() {
            verify(indexInContent("toast") > indexInContent("dialogCard"), "the toast is drawn over the dim layer")
            verify(indexInContent("downloadView") > indexInContent("toast"))
            verify(indexInContent("downloadView") > indexInContent("dialogCard"))
        }
    }
}
