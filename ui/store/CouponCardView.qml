import QtQuick
import Lumora.Base
import Lumora.Controls

// One time card: its kind, the time it grants, its expiry and the use control.
Item {
    id: row
    objectName: "couponCard_" + card.id
    property var card: ({})
    signal use()
    width: parent ? parent.width : 360
    height: Math.max(width * 130 / 360, content.implicitHeight + 2 * Theme.padding)

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: "transparent"
        clip: true
        Image {
            anchors.fill: parent
            source: Assets.image("ic_card_time_bg")
            fillMode: Image.Stretch
        }
    }
    Column {
        id: content
        anchors.fill: parent
        anchors.margins: Theme.padding
        spacing: 8
        Row {
            spacing: 6
            Text { text: qsTrId("Time Card"); color: "white"; font.bold: true; font.pixelSize: 15 }
            Text { text: qsTrId(row.card.typeName || ""); color: "white"; font.pixelSize: 15 }
        }
        Row {
            spacing: 4
            Text { id: amount; objectName: "cardAmount"; text: row.card.amount || ""; color: "white"; font.bold: true; font.pixelSize: 24 }
            Text { anchors.baseline: amount.baseline; text: qsTrId(row.card.unitName || ""); color: "white"; font.pixelSize: Theme.fontSize }
        }
        Item {
            width: parent.width
            height: useButton.height
            Row {
                anchors.bottom: parent.bottom
                width: parent.width - useButton.width - 8
                spacing: 4
                Text { text: qsTrId("Expires:"); color: "white"; font.pixelSize: Theme.fontSize }
                Text { objectName: "cardExpiry"; text: qsTrId(row.card.expiry || ""); color: "white"; font.pixelSize: Theme.fontSize }
            }
            UseControl { id: useButton; anchors.right: parent.right; onTapped: row.use() }
        }
    }

    component UseControl: Rectangle {
        signal tapped()
        objectName: "useControl"
        width: useText.implicitWidth + 2 * Theme.padding
        height: useText.implicitHeight + 10
        radius: 25
        color: "transparent"
        border.color: "white"
        border.width: 1
        Text { id: useText; anchors.centerIn: parent; text: qsTrId("Use"); color: "white"; font.pixelSize: Theme.fontSize }
        MouseArea { anchors.fill: parent; onClicked: parent.tapped() }
    }
}
