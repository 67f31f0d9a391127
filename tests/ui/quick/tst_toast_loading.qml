import QtQuick
import QtTest
import Lumora.Base
import Lumora.Shell

Item {
    width: 400
    height: 660

    MainContent { id: content }

    TestCase {
        name: "ToastAndLoading"
        when: windowShown

        function item(name) {
            return findChild(content, name)
        }

        function test_a_second_toast_restarts_the_countdown() {
            ToastManager.setLifetimeMs(400)
            var hiddenAt = -1
            var noteHiding = function() { if (!ToastManager.isShowing && hiddenAt < 0) hiddenAt = Date.now() }
            ToastManager.isShowingChanged.connect(noteHiding)
            ToastManager.show("test toast one", "error")
            verify(ToastManager.isShowing)
            compare(item("toastText").color, Qt.rgba(245 / 255, 108 / 255, 108 / 255, 1))
            compare(item("toast").width, 340)
            wait(250)
            ToastManager.show("test toast two", "success")
            const secondShown = Date.now()
            hiddenAt = -1
            compare(item("toastText").text, "test toast two")
            compare(item("toastText").color, Qt.rgba(103 / 255, 194 / 255, 58 / 255, 1))
            tryCompare(ToastManager, "isShowing", false, 20000)
            ToastManager.isShowingChanged.disconnect(noteHiding)
            // A countdown never ends early (a coarse timer by a twentieth at most), however slowly
            // this machine runs: the first one's, had it gone on, would have hidden the second
            // sooner than a full lifetime after it was shown.
            verify(hiddenAt - secondShown >= 400 * 0.9,
                   "the first toast's countdown hid the second " + (hiddenAt - secondShown) + " ms after it")
            tryCompare(item("toast"), "visible", false, 20000)
        }

        function test_one_overlay_while_any_task_waits() {
            var card = item("loadingCard")
            verify(!card.visible)
            var first = LoadingManager.show("")
            waitForRendering(content, 30000)
            verify(card.visible, "an empty label still shows the card")
            compare(card.width, 150 + 24)
            var second = LoadingManager.show("second_task")
            compare(item("loadingText").text, "second_task")
            LoadingManager.hide(first)
            verify(card.visible, "one task's hide uncovered another task")
            LoadingManager.hide(second)
            verify(!card.visible)
        }
    }
}
