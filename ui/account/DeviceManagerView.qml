import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The device list page: how many devices are bound out of how many allowed, the way to a higher
// limit, and one card per device. In the sign-in flow it shows only the cards.
Rectangle {
    id: page
    objectName: "deviceManagerView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    DeviceListModel { id: devices }
    Component.onCompleted: devices.appear()

    PageBand { id: band; anchors.top: parent.top }

    Row {
        id: header
        objectName: "devicesHeader"
        visible: !devices.isLogin
        anchors.top: band.bottom
        x: 20
        width: page.width - 40
        height: visible ? 36 : 0
        spacing: 0
        Text { anchors.verticalCenter: parent.verticalCenter; text: qsTrId("Devices") + " "; color: "black"; font.pixelSize: Theme.fontSize }
        Text { objectName: "boundCount"; anchors.verticalCenter: parent.verticalCenter; text: devices.count; color: "red"; font.pixelSize: Theme.fontSize }
        Text { anchors.verticalCenter: parent.verticalCenter; text: ", " + qsTrId("Max") + " "; color: "black"; font.pixelSize: Theme.fontSize }
        Text { objectName: "maxCount"; anchors.verticalCenter: parent.verticalCenter; text: devices.maxCount; color: "red"; font.pixelSize: Theme.fontSize }
    }
    Text {
        id: moreDevices
        objectName: "moreDevices"
        visible: header.visible && devices.canUpgrade
        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.verticalCenter: header.verticalCenter
        text: qsTrId("more devices")
        font.underline: true
        font.bold: true
        color: Theme.blue
        font.pixelSize: Theme.fontSize
        MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: devices.openUpgrade() }
    }

    ListView {
        id: cards
        objectName: "deviceList"
        anchors.top: header.visible ? header.bottom : band.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        topMargin: 5
        bottomMargin: 5
        spacing: 10
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: devices
        delegate: DeviceItemView {
            x: 25
            width: cards.width - 50
            owner: devices
        }
    }
}
