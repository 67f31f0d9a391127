import QtQuick
import QtTest
import Lumora.Base
import Lumora.Controls

Item {
    width: 400
    height: 660

    QtObject {
        id: settings
        property bool flag: true
        property string choice: "auto"
        property string value: "v1.2"
    }

    Column {
        width: 400
        MenuItemView { id: switchRow; name: "Smart Route"; boolTarget: settings; boolProperty: "flag"; onCallback: calls.push("switch") }
        MenuItemView { id: dropRow; name: "DNS"; textTarget: settings; textProperty: "choice"; list: ["auto", "UseIP"]; onCallback: calls.push("drop") }
        MenuItemView { id: textRow; name: "Version"; textTarget: settings; textProperty: "value"; onCallback: calls.push("text") }
        MenuItemView { id: navRow; icon: ""; name: "Settings"; info: "info_key"; route: "settings"; onCallback: calls.push("nav:" + AppStateManager.router.depth) }
    }
    property var calls: []

    TestCase {
        name: "MenuItem"
        when: windowShown

        function init() {
            calls = []
            settings.flag = true
            settings.choice = "auto"
            dropRow.showList = false
            AppStateManager.router.goBackToRoot()
            tryCompare(AppStateManager.router, "depth", 0, 20000)
        }

        function test_the_switch_flips_the_setting_and_the_label_beside_it_does_nothing() {
            compare(switchRow.trailing, "switch")
            mouseClick(findChild(switchRow, "menuSwitch"))
            compare(settings.flag, false)
            compare(calls, ["switch"])
            mouseClick(findChild(switchRow, "menuLabel"))
            compare(calls, ["switch"])
        }

        function test_a_drop_down_shows_the_choice_and_writes_the_picked_one() {
            compare(dropRow.trailing, "dropdown")
            mouseClick(findChild(dropRow, "menuDropdown"))
            verify(dropRow.showList)
            var list = findChild(dropRow, "menuList")
            tryVerify(function() { return list.opened }, 20000)
            var line = null
            tryVerify(function() { line = findChild(list.contentItem, "choice_UseIP"); return line !== null }, 20000)
            verify(findChild(findChild(list.contentItem, "choice_auto"), "checkmark").visible,
                   "the current choice carries the check mark")
            verify(!findChild(line, "checkmark").visible)
            mouseClick(line)
            compare(settings.choice, "UseIP")
            verify(!dropRow.showList)
            compare(calls, ["drop"])
        }

        function test_a_stored_value_no_longer_offered_shows_as_it_stands_and_still_opens_the_list() {
            settings.choice = "8.8.8.8"
            compare(dropRow.trailing, "dropdown")
            var label = findChild(dropRow, "menuDropdown")
            verify(label.visible)
            verify(!findChild(dropRow, "menuChevron").visible)
            compare(findChild(label, "menuDropdownText").text, "8.8.8.8")
            mouseClick(label)
            verify(dropRow.showList)
            var list = findChild(dropRow, "menuList")
            tryVerify(function() { return list.opened }, 20000)
            var line = null
            tryVerify(function() { line = findChild(list.contentItem, "choice_UseIP"); return line !== null }, 20000)
            verify(!findChild(line, "checkmark").visible, "nothing offered is marked")
            verify(!findChild(findChild(list.contentItem, "choice_auto"), "checkmark").visible)
            mouseClick(line)
            compare(settings.choice, "UseIP")
            verify(!dropRow.showList)
            compare(calls, ["drop"])
            // A tap beside the label stays a drop-down row's: nothing runs.
            mouseClick(findChild(dropRow, "menuLabel"))
            compare(calls, ["drop"])
        }

        function test_a_text_row_shows_its_value_as_it_stands() {
            compare(findChild(textRow, "menuValue").text, "v1.2")
            mouseClick(textRow)
            compare(calls, ["text"])
        }

        function test_a_navigation_row_opens_its_page_before_its_callback() {
            verify(findChild(navRow, "menuInfo").visible)
            mouseClick(navRow)
            compare(calls, ["nav:1"])
            compare(AppStateManager.router.topName, "settings")
        }
    }
}
