import QtQuick
import Lumora.Base
import Lumora.Controls

// One coupon or voucher, 130 points high: its name, the discount, the plan it is for on the
// corner ribbon, its expiry and the use control that leads to the payment.
Item {
    id: row
    objectName: "couponRoll_" + roll.id
    property var roll: ({})
    signal use()
    width: parent ? parent.width : 360
    height: 130

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: "transparent"
        clip: true
        Image {
            anchors.fill: parent
            source: Assets.image("ic_card_preferential_bg")
            fillMode: Image.Stretch
        }
    }
    Image {
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: 3
        width: 80
        height: 80
        source: Assets.image("ic_card_preferential_angle")
    }
    Text {
        // The ribbon reads along the corner's diagonal, centred on the band.
        x: parent.width - 68
        y: 15
        width: 60
        height: 16
        verticalAlignment: Text.AlignVCenter
        horizontalAlignment: Text.AlignHCenter
        rotation: 45
        text: qsTrId(row.roll.packageName || "")
        color: "white"
        font.bold: true
        font.pixelSize: 12
        fontSizeMode: Text.HorizontalFit
        minimumPixelSize: 8
    }
    Column {
        anchors.fill: parent
        anchors.margins: Theme.padding
        anchors.rightMargin: Theme.padding + 40
        spacing: 4
        Text { text: qsTrId(row.roll.name || ""); color: "white"; font.bold: true; font.pixelSize: 17 }
        Row {
            spacing: 4
            Text { id: discount; objectName: "rollDiscount"; text: qsTrId(row.roll.discount || ""); color: "white"; font.bold: true; font.pixelSize: 34 }
            Text { anchors.baseline: discount.baseline; text: qsTrId(row.roll.unit || ""); color: "white"; font.bold: true; font.pixelSize: Theme.fontSize }
        }
    }
    Item {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: Theme.padding
        height: useButton.height
        Row {
            anchors.bottom: parent.bottom
            spacing: 4
            Text { text: qsTrId("Expires:"); color: "white"; font.pixelSize: Theme.fontSize }
            Text { text: qsTrId(row.roll.expiry || ""); color: "white"; font.pixelSize: Theme.fontSize }
        }
        Rectangle {
            id: useButton
            objectName: "useControl"
            anchors.right: parent.right
            width: useText.implicitWidth + 2 * Theme.padding
            height: useText.implicitHeight + 10
            radius: 25
            color: "transparent"
            border.color: "white"
            border.width: 1
            Text { id: useText; anchors.centerIn: parent; text: qsTrId("Use"); color: "white"; font.pixelSize: Theme.fontSize }
            MouseArea { anchors.fill: parent; onClicked: row.use() }
        }
    }
}
