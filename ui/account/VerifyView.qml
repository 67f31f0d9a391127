import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The e-mail verification page: a code mailed to the account's address confirms it. Always
// light, whatever the desktop's colour scheme.
Rectangle {
    id: page
    objectName: "verifyView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: "white"

    VerifyModel { id: vm }

    PageBand { anchors.top: parent.top }

    Column {
        x: 50
        width: page.width - 100
        anchors.verticalCenter: parent.verticalCenter
        spacing: 20

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 160
            height: 120
            source: Assets.image("ic_verify_email")
            sourceSize.width: 160
            sourceSize.height: 120
            fillMode: Image.PreserveAspectFit
        }

        Text {
            objectName: "verifyEmail"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideMiddle
            text: vm.email
            color: "black"
            font.pixelSize: Theme.fontSize
        }

        TextField {
            objectName: "verifyCodeField"
            width: parent.width
            height: 36
            placeholderText: qsTrId("please enter verification code")
            placeholderTextColor: Theme.gray
            color: "black"
            text: vm.code
            rightPadding: codeButton.width + 16
            onTextEdited: vm.code = text
            background: Rectangle { color: "white"; border.color: Qt.rgba(0.5, 0.5, 0.5, 0.6); border.width: 1 }
            Text {
                id: codeButton
                objectName: "verifyCodeButton"
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: vm.counting ? vm.elapsedSeconds + "s" : qsTrId("get")
                color: Theme.blue
                font.pixelSize: Theme.fontSize
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: vm.requestCode() }
            }
        }

        Rectangle {
            objectName: "verifyConfirm"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 300
            height: 44
            radius: 8
            color: Theme.blue
            Text {
                anchors.centerIn: parent
                text: qsTrId("Confirm")
                color: "white"
                font.pixelSize: 20
            }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.confirm() }
        }
    }
}
