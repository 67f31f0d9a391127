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
            ToastManager.show("test toast one", "error")
            verify(ToastManager.isShowing)
            compare(item("toastText").color, Qt.rgba(245 / 255, 108 / 255, 108 / 255, 1))
            compare(item("toast").width, 340)
            wait(250)
            ToastManager.show("test toast two", "success")
            compare(item("toastText").text, "test toast two")
            compare(item("toastText").color, Qt.rgba(103 / 255, 194 / 255, 58 / 255, 1))
            wait(250)
            verify(ToastManager.isShowing, "the first toast's countdown hid the second")
            tryCompare(ToastManager, "isShowing", false, 1000)
            tryCompare(item("toast"), "visible", false, 2000)
        }

        function test_one_overlay_while_any_task_waits() {
            var card = item("loadingCard")
            verify(!card.visible)
            var first = LoadingManager.show("")
            waitForRendering(content)
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
