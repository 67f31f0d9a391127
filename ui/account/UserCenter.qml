import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The account card: the address (with a mark leading to verification while it is unverified),
// the membership and its end, and the way to subscribe. White text, for a coloured header.
Item {
    id: card
    objectName: "userCenter"
    implicitWidth: 360
    implicitHeight: column.implicitHeight + 2 * Theme.padding
    property bool showTooltip: false

    UserCenterModel { id: vm }

    Column {
        id: column
        anchors.centerIn: parent
        width: card.width - 2 * Theme.padding
        spacing: 14

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 6
            Text {
                objectName: "cardEmail"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, column.width - 40)
                elide: Text.ElideMiddle
                text: vm.email
                color: "white"
                font.pixelSize: 18
            }
            // On a white disc: the mark is drawn for light backgrounds.
            Rectangle {
                objectName: "verifyMark"
                visible: !vm.verified
                anchors.verticalCenter: parent.verticalCenter
                width: 26
                height: 26
                radius: 13
                color: "white"
                Image {
                    anchors.centerIn: parent
                    source: Assets.image("ic_mine_email")
                    sourceSize.width: 18
                    sourceSize.height: 18
                }
                MouseArea { anchors.fill: parent; anchors.margins: -4; cursorShape: Qt.PointingHandCursor; onClicked: vm.openVerify() }
            }
        }

        Item {
            width: parent.width
            height: Math.max(vipPart.height, subscribe.height)

            Row {
                id: vipPart
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                spacing: 6
                Text {
                    objectName: "notVip"
                    visible: !vm.isVip
                    text: qsTrId("not vip")
                    color: "white"
                    font.pixelSize: Theme.fontSize
                }
                Image {
                    objectName: "vipTag"
                    visible: vm.isVip
                    anchors.verticalCenter: parent.verticalCenter
                    height: 14
                    fillMode: Image.PreserveAspectFit
                    source: Assets.image("ic_mine_vip_tag")
                    sourceSize.height: 14
                }
                Text {
                    id: expiry
                    objectName: "vipExpiry"
                    visible: vm.isVip
                    anchors.verticalCenter: parent.verticalCenter
                    text: vm.expiryText
                    color: "white"
                    font.pixelSize: Theme.fontSize
                    MouseArea {
                        anchors.fill: parent
                        hoverEnabled: true
                        onContainsMouseChanged: card.showTooltip = containsMouse && vm.isVip
                    }
                    Popup {
                        objectName: "expiryPopover"
                        visible: card.showTooltip
                        x: expiry.width + 6
                        y: (expiry.height - height) / 2
                        padding: Theme.padding
                        background: Rectangle { color: Qt.rgba(0, 0, 0, 0.6); radius: 4 }
                        contentItem: Column {
                            spacing: 4
                            Text {
                                text: qsTrId("VIP Expire Date: %@").arg(vm.expiryDate)
                                color: "white"
                                font.pixelSize: 12
                            }
                            Text {
                                text: qsTrId("VIP Remaining Time: %@").arg(card.showTooltip ? vm.remainingTime() : "")
                                color: "white"
                                font.pixelSize: 12
                            }
                        }
                    }
                }
            }

            Rectangle {
                id: subscribe
                objectName: "subscribeButton"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: subscribeText.implicitWidth + 40
                height: subscribeText.implicitHeight + 10
                radius: height / 2
                color: "white"
                Text {
                    id: subscribeText
                    anchors.centerIn: parent
                    text: qsTrId("Subscribe")
                    color: Theme.blue
                    font.pixelSize: Theme.fontSize
                }
                MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.subscribe() }
            }
        }
    }
}
