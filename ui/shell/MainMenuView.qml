import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Account
import Lumora.Shell

// The account menu: the account card over a blue gradient, then the rows this build and account
// get. Rows with a page open it first, then do their own part.
Rectangle {
    id: page
    objectName: "mainMenuView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    readonly property var rows: AccountMenu.rows
    readonly property var upperKeys: ["share", "mobile", "discount", "settings"]

    function rowsWhere(test) {
        var picked = []
        for (var i = 0; i < rows.length; ++i) {
            if (test(rows[i].key))
                picked.push(rows[i])
        }
        return picked
    }

    Column {
        width: parent.width
        spacing: 12

        Rectangle {
            id: header
            objectName: "menuHeader"
            width: parent.width
            height: card.height + 30 + 16
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(41 / 255, 108 / 255, 230 / 255, 1) }
                GradientStop { position: 1.0; color: Qt.rgba(71 / 255, 197 / 255, 255 / 255, 1) }
            }
            UserCenter {
                id: card
                y: 30
                width: parent.width
                height: implicitHeight + 10
            }
            Image {
                objectName: "multipleDevicesBadge"
                visible: AccountMenu.multipleDevices
                anchors.right: parent.right
                anchors.rightMargin: 0
                y: 6
                width: 50
                fillMode: Image.PreserveAspectFit
                source: Assets.image("ic_mine_s_angle")
                sourceSize.width: 50
            }
        }

        Column {
            objectName: "upperRows"
            width: parent.width
            Repeater {
                model: page.rowsWhere(function(key) { return page.upperKeys.indexOf(key) >= 0 })
                delegate: MenuItemView {
                    required property var modelData
                    objectName: "row_" + modelData.key
                    icon: modelData.icon
                    name: modelData.name
                    route: modelData.route
                    onCallback: AccountMenu.activate(modelData.key)
                }
            }
        }

        Column {
            objectName: "lowerRows"
            width: parent.width
            Repeater {
                model: page.rowsWhere(function(key) { return key !== "signOut" && page.upperKeys.indexOf(key) < 0 })
                delegate: MenuItemView {
                    required property var modelData
                    objectName: "row_" + modelData.key
                    icon: modelData.icon
                    name: modelData.name
                    route: modelData.route
                    onCallback: AccountMenu.activate(modelData.key)
                }
            }
        }

        Column {
            width: parent.width
            Repeater {
                model: page.rowsWhere(function(key) { return key === "signOut" })
                delegate: MenuItemView {
                    required property var modelData
                    objectName: "row_" + modelData.key
                    icon: modelData.icon
                    name: modelData.name
                    route: modelData.route
                    onCallback: AccountMenu.activate(modelData.key)
                }
            }
        }
    }
}
