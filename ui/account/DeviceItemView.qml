import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// One bound device: platform, model, name (renamable outside the sign-in flow), first and last
// activity, and "unbind" (or "current_device" for the device that runs this program).
Rectangle {
    id: card
    objectName: "deviceItem"
    required property int index
    required property string deviceId
    required property string platformLine
    required property string icon
    required property string deviceModel
    required property string name
    required property string draft
    required property string createdAt
    required property string updatedAt
    required property bool current
    required property bool editing
    property DeviceListModel owner

    height: content.implicitHeight + 15
    radius: 5
    color: "white"
    layer.enabled: false
    Rectangle {  // the card's soft shadow
        z: -1
        anchors.fill: parent
        anchors.topMargin: 2
        anchors.bottomMargin: -2
        radius: 5
        color: Qt.rgba(0, 0, 0, 0.12)
    }

    Column {
        id: content
        width: parent.width
        topPadding: 12
        spacing: 8

        Row {
            spacing: 10
            leftPadding: 5
            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: Assets.image(card.icon)
                sourceSize.width: 48
                sourceSize.height: 48
            }
            Column {
                spacing: 15
                Repeater {
                    model: ["platform", "device_model", "device_name", "created_at", "updated_at"]
                    Text { height: 15; text: qsTrId(modelData); font.bold: true; color: "black"; font.pixelSize: 12 }
                }
            }
            Column {
                spacing: 15
                width: card.width - 190
                Text { height: 15; width: parent.width; elide: Text.ElideRight; text: card.platformLine; color: "black"; font.pixelSize: 12 }
                Text { height: 15; width: parent.width; elide: Text.ElideRight; text: card.deviceModel; color: "black"; font.pixelSize: 12 }
                Item {
                    width: parent.width
                    height: 15
                    Row {
                        visible: !card.editing
                        spacing: 4
                        Text {
                            objectName: "deviceName"
                            width: Math.min(implicitWidth, card.width - 215)
                            elide: Text.ElideRight
                            text: card.name
                            color: "black"
                            font.pixelSize: 12
                        }
                        SymbolImage {
                            objectName: "renameIcon"
                            visible: !card.owner.isLogin
                            width: 14; height: 14
                            source: Assets.symbol("pencil.line")
                            color: Theme.blue
                            MouseArea { anchors.fill: parent; anchors.margins: -4; onClicked: card.owner.beginEdit(card.index) }
                        }
                    }
                    Row {
                        visible: card.editing
                        spacing: 6
                        TextInput {
                            objectName: "renameField"
                            width: parent.parent.width - 50
                            height: 15
                            text: card.draft
                            color: "black"
                            font.pixelSize: 12
                            clip: true
                            onTextEdited: card.owner.setDraft(card.index, text)
                            onAccepted: card.owner.confirmRename(card.index)
                            Rectangle { anchors.top: parent.bottom; width: parent.width; height: 1; color: Theme.gray }
                        }
                        SymbolImage {
                            objectName: "renameConfirm"
                            width: 14; height: 14
                            source: Assets.symbol("checkmark")
                            color: Theme.blue
                            MouseArea { anchors.fill: parent; anchors.margins: -4; onClicked: card.owner.confirmRename(card.index) }
                        }
                        SymbolImage {
                            objectName: "renameCancel"
                            width: 14; height: 14
                            source: Assets.symbol("xmark")
                            color: Theme.gray
                            MouseArea { anchors.fill: parent; anchors.margins: -4; onClicked: card.owner.cancelEdit() }
                        }
                    }
                }
                Text { height: 15; text: card.createdAt; color: "black"; font.pixelSize: 12 }
                Text { height: 15; text: card.updatedAt; color: "black"; font.pixelSize: 12 }
            }
        }

        Item {
            width: parent.width
            height: badge.height + 15
            Rectangle {
                id: badge
                objectName: "deviceBadge"
                anchors.right: parent.right
                anchors.rightMargin: 35
                width: badgeText.implicitWidth + 40
                height: badgeText.implicitHeight + 10
                radius: 20 > height / 2 ? height / 2 : 20
                color: "transparent"
                border.width: 1
                border.color: card.current ? Theme.gray : "red"
                Text {
                    id: badgeText
                    anchors.centerIn: parent
                    text: card.current ? qsTrId("current_device") : qsTrId("unbind")
                    color: card.current ? Theme.gray : "red"
                    font.pixelSize: 12
                }
                MouseArea { anchors.fill: parent; enabled: !card.current; onClicked: card.owner.unbind(card.index) }
            }
        }
    }
}
