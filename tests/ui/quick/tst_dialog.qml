import QtQuick
import QtTest
import Lumora.Base
import Lumora.Shell

Item {
    width: 400
    height: 660

    MainContent { id: content }

    TestCase {
        name: "Dialog"
        when: windowShown

        function init() {
            DialogManager.isShow = false
        }

        function item(name) {
            return findChild(content, name)
        }

        function test_two_buttons_side_by_side_three_stacked() {
            DialogManager.showText("two", "tips_title", true,
                                   [{ title: "Cancel", isLight: false }, { title: "OK" }], null)
            waitForRendering(content, 30000)
            var cancel = item("dialogButton_Cancel")
            var ok = item("dialogButton_OK")
            compare(cancel.mapToItem(content, 0, 0).y, ok.mapToItem(content, 0, 0).y)
            verify(ok.mapToItem(content, 0, 0).x > cancel.mapToItem(content, 0, 0).x)
            compare(ok.color, Qt.rgba(33 / 255, 150 / 255, 243 / 255, 1))

            DialogManager.showText("three", "tips_title", true,
                                   [{ title: "A" }, { title: "B" }, { title: "C" }], null)
            waitForRendering(content, 30000)
            var a = item("dialogButton_A").mapToItem(content, 0, 0)
            var c = item("dialogButton_C").mapToItem(content, 0, 0)
            verify(c.y > a.y)
            compare(item("dialogText").text, "three")
        }

        function test_buttons_run_their_action_only() {
            var pressed = 0
            DialogManager.showText("message", "tips_title", false,
                                   [{ title: "Stay", isLight: false, action: function() { pressed += 1 } }], null)
            waitForRendering(content, 30000)
            verify(!item("dialogClose").visible)
            mouseClick(item("dialogButton_Stay"))
            compare(pressed, 1)
            verify(DialogManager.isShow)
        }

        function test_close_runs_the_cancel_event_then_hides() {
            var order = []
            DialogManager.showText("message", "tips_title", true, [],
                                   function() { order.push(DialogManager.isShow ? "cancel:shown" : "cancel:hidden") })
            waitForRendering(content, 30000)
            mouseClick(item("dialogClose"))
            compare(order, ["cancel:shown"])
            verify(!DialogManager.isShow)
        }

        function test_a_new_dialog_replaces_the_shown_one() {
            var first = 0
            var second = 0
            DialogManager.showText("first", "tips_title", true, [], function() { first += 1 })
            DialogManager.showText("second", "tips_title", true, [], function() { second += 1 })
            waitForRendering(content, 30000)
            compare(item("dialogText").text, "second")
            mouseClick(item("dialogClose"))
            compare(first, 0)
            compare(second, 1)
        }

        function test_the_default_confirm_hides_and_taps_around_the_card_do_nothing() {
            DialogManager.showText("message", "tips_title", true, [], null)
            waitForRendering(content, 30000)
            mouseClick(content, 5, 5)
            verify(DialogManager.isShow)
            mouseClick(item("dialogButton_Confirm"))
            verify(!DialogManager.isShow)
        }
    }
}
