import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Store

// Invitation sharing: the user's code, the QR code of the invitation link, copying the link,
// and the rewards and rules windows.
Item {
    id: page
    objectName: "shareView"
    width: Theme.pageWidth
    height: Theme.pageHeight

    property alias model: shareModel
    ShareModel { id: shareModel }
    Component.onCompleted: shareModel.refresh()

    Image {
        anchors.fill: parent
        source: Assets.image("ic_bg_share")
        fillMode: Image.PreserveAspectCrop
    }

    Column {
        anchors.horizontalCenter: parent.horizontalCenter
        // Below the page's title row.
        y: Theme.bandHeight + 8
        width: parent.width - 60
        spacing: 12

        Column {
            width: parent.width
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: qsTrId("Invite more friends")
                color: "white"
                font.bold: true
                font.pixelSize: 20
                wrapMode: Text.Wrap
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: qsTrId("Get more rewards")
                color: "white"
                font.bold: true
                font.pixelSize: 20
                wrapMode: Text.Wrap
            }
        }

        Rectangle {
            width: parent.width
            height: codeCard.implicitHeight + 2 * Theme.padding
            radius: 15
            color: "white"
            Column {
                id: codeCard
                anchors.horizontalCenter: parent.horizontalCenter
                y: Theme.padding
                width: parent.width - 60
                spacing: 12
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTrId("My invitation code")
                    font.pixelSize: 17
                }
                Text {
                    objectName: "shareCode"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: shareModel.code.toUpperCase()
                    color: Theme.blue
                    font.bold: true
                    font.pixelSize: 24
                }
                Item {
                    width: parent.width
                    height: 250
                    QrCodeItem {
                        objectName: "shareQr"
                        anchors.fill: parent
                        anchors.margins: Theme.padding
                        text: shareModel.link
                    }
                }
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTrId("Invited friends are required to fill in this invitation code when they register.")
                    color: "black"
                    font.pixelSize: Theme.fontSize
                    wrapMode: Text.Wrap
                }
                Rectangle {
                    objectName: "shareNow"
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 180
                    height: 40
                    radius: 20
                    color: Theme.blue
                    opacity: shareModel.link !== "" ? 1 : 0.5
                    Text { anchors.centerIn: parent; text: qsTrId("Share Now"); color: "white"; font.pixelSize: Theme.fontSize }
                    MouseArea { anchors.fill: parent; onClicked: shareModel.copyLink() }
                }
            }
        }

        Item {
            width: parent.width
            height: rewards.implicitHeight
            Text {
                id: rewards
                objectName: "shareRewards"
                text: qsTrId("My Rewards")
                color: "white"
                font.pixelSize: 15
                font.underline: true
                MouseArea { anchors.fill: parent; onClicked: shareModel.openRewards() }
            }
            Text {
                objectName: "shareRules"
                anchors.right: parent.right
                text: qsTrId("Rules")
                color: "white"
                font.pixelSize: 15
                font.underline: true
                MouseArea { anchors.fill: parent; onClicked: shareModel.openRules() }
            }
        }
    }
}
