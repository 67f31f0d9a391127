import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Shell
import Lumora.Info

// The foundation's widgets, one scene at a time, for review pictures.
Item {
    id: root
    width: Theme.pageWidth
    height: Theme.pageHeight
    property string scene: "route"

    MainContent {
        visible: root.scene !== "menu" && root.scene !== "animation"
    }

    Rectangle {
        objectName: "menuScene"
        visible: root.scene === "menu"
        anchors.fill: parent
        color: Theme.background
        PageBand { id: band }
        Column {
            y: band.height + 10
            width: parent.width
            spacing: 1
            MenuItemView { icon: "ic_mine_set"; name: "Settings"; route: "settings" }
            MenuItemView { icon: "ic_connect_smart_normal"; name: "smart"; info: "Customized DNS tips"
                           boolTarget: AppStateManager; boolProperty: "smartRoute" }
            MenuItemView { name: "Reconnect"; boolTarget: AppStateManager; boolProperty: "reconnect" }
            MenuItemView { id: dnsRow; name: "Customized DNS"; textTarget: AppStateManager; textProperty: "dns"
                           list: ["auto", "8.8.8.8", "1.1.1.1"] }
            // A stored choice that today's list no longer offers.
            MenuItemView { name: "Customized DNS"; textTarget: unofferedChoice; textProperty: "value"
                           list: ["auto", "8.8.8.8"] }
            MenuItemView { icon: "ic_mine_about"; name: "about"; textTarget: AppStateManager; textProperty: "dnsStrategy" }
            MenuItemView { icon: "ic_mine_logout"; name: "exit" }
        }
        function openList() { dnsRow.showList = true }
        QtObject { id: unofferedChoice; property string value: "9.9.9.9" }
    }

    Rectangle {
        objectName: "animationScene"
        visible: root.scene === "animation"
        anchors.fill: parent
        color: Theme.background
        AnimationPlayer {
            objectName: "background"
            anchors.fill: parent
            animationName: root.scene === "animation" ? "bg_blue" : ""
        }
        AnimationPlayer {
            objectName: "button"
            anchors.centerIn: parent
            width: 220
            height: 220
            animationName: root.scene === "animation" ? "ani_loop" : ""
        }
    }

    // The tunnel-mode approval window's content, on the grey of the desktop behind it.
    Rectangle {
        visible: root.scene === "tips"
        anchors.fill: parent
        color: "#607D8B"
        Loader {
            anchors.fill: parent
            active: root.scene === "tips"
            source: "qrc:/qt/qml/Lumora/Info/SystemExtensionTips.qml"
        }
    }
}
