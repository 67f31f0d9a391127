import QtQuick
import QtTest
import Lumora.Base
import Lumora.Controls

// The drop-down of a settings row: as high as its choices, inside the window wherever the row
// sits, open at the first choice each time, closed by Escape.
Item {
    id: root
    width: 400
    height: 660

    QtObject {
        id: settings
        property string mode: "UseIP"
        property string dns: "auto"
    }
    readonly property var servers: ["auto", "1.1.1.1", "8.8.8.8", "9.9.9.9", "208.67.222.222", "223.5.5.5",
                                    "119.29.29.29", "180.76.76.76"]

    MenuItemView { id: shortRow; y: 40; name: "Strategy"; textTarget: settings; textProperty: "mode"; list: ["UseIP", "UseIPv4", "UseIPv6"] }
    MenuItemView { id: lowRow; y: root.height - height - 10; name: "DNS"; textTarget: settings; textProperty: "dns"; list: root.servers }

    TestCase {
        name: "DropDown"
        when: windowShown

        function open(row) {
            mouseClick(findChild(row, "menuDropdown"))
            var list = findChild(row, "menuList")
            tryVerify(function() { return list.opened }, 20000)
            return list
        }

        function close(row) {
            row.showList = false
            var list = findChild(row, "menuList")
            tryVerify(function() { return !list.visible }, 20000)
        }

        function test_a_short_list_is_as_high_as_its_choices() {
            var list = open(shortRow)
            var view = list.contentItem
            verify(view.contentHeight > 0)
            compare(list.height, view.contentHeight)
            verify(list.height < 150)
            close(shortRow)
        }

        function test_a_list_low_in_the_window_shows_its_last_choice_and_reopens_at_the_first() {
            var list = open(lowRow)
            var view = list.contentItem
            compare(list.height, 150)
            var bottom = view.mapToItem(root, 0, view.height).y
            verify(bottom <= root.height, "the list ends inside the window: " + bottom)
            view.positionViewAtEnd()
            var last = findChild(view, "choice_180.76.76.76")
            tryVerify(function() { return last !== null && last.mapToItem(root, 0, last.height).y <= root.height + 0.5 }, 20000)
            close(lowRow)
            list = open(lowRow)
            view = list.contentItem
            compare(view.contentY, view.originY, "it opens at the first choice")
            var first = findChild(view, "choice_auto")
            verify(first !== null && first.mapToItem(view, 0, 0).y >= -0.5, "\"auto\" is in sight")
            close(lowRow)
        }

        function test_escape_closes_an_open_list() {
            var list = open(shortRow)
            keyClick(Qt.Key_Escape)
            tryVerify(function() { return !list.visible }, 20000)
            verify(!shortRow.showList)
            compare(settings.mode, "UseIP")
        }
    }
}
