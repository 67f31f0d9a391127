import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The account-deletion page: the warning, the agreement, the password, and a confirm button
// that works ten seconds after the page appeared. Always light.
Rectangle {
    id: page
    objectName: "deleteAccountView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    DeleteAccountModel { id: vm }
    Component.onCompleted: vm.appear()

    PageBand { id: band; anchors.top: parent.top }

    Column {
        anchors.top: band.bottom
        x: Theme.padding
        width: page.width - 2 * Theme.padding
        topPadding: Theme.padding
        spacing: 20

        Text {
            objectName: "deleteTips"
            width: parent.width
            padding: Theme.padding
            wrapMode: Text.Wrap
            text: qsTrId("Delete Account Tips")
            color: "black"
            font.pixelSize: Theme.fontSize
        }

        Item {
            objectName: "agreeRow"
            width: parent.width
            height: agreeLine.implicitHeight
            Row {
            id: agreeLine
            spacing: 6
            SymbolImage {
                objectName: "agreeMark"
                anchors.verticalCenter: parent.verticalCenter
                width: 14
                height: 14
                source: Assets.symbol(vm.agree ? "checkmark.circle.fill" : "circle")
                color: vm.agree ? Theme.blue : Theme.gray
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                width: page.width - 60
                wrapMode: Text.Wrap
                text: qsTrId("confirm delete account")
                color: Theme.gray
                font.pixelSize: 10
            }
            }
            MouseArea { anchors.fill: parent; onClicked: vm.agree = !vm.agree }
        }

        Item {
            x: 10
            width: parent.width - 20
            height: 36
            TextField {
                objectName: "deletePasswordField"
                anchors.fill: parent
                echoMode: TextInput.Password
                placeholderText: qsTrId("please enter password")
                placeholderTextColor: Theme.gray
                color: "black"
                background: null
                onTextEdited: vm.password = text
                onAccepted: vm.confirm()
            }
            Rectangle { anchors.top: parent.bottom; anchors.topMargin: 4; width: parent.width; height: 1; color: Qt.rgba(0.5, 0.5, 0.5, 0.6) }
        }

        Rectangle {
            objectName: "deleteConfirm"
            width: parent.width
            height: 30
            radius: 15
            color: vm.armed ? Qt.rgba(199 / 255, 84 / 255, 80 / 255, 1) : Qt.rgba(93 / 255, 50 / 255, 51 / 255, 1)
            Text {
                objectName: "deleteConfirmLabel"
                anchors.centerIn: parent
                text: qsTrId("Confirm deletion") + (vm.armed ? "" : "(" + vm.elapsedSeconds + ")")
                color: vm.armed ? "white" : Theme.gray
                font.pixelSize: Theme.fontSize
            }
            MouseArea { anchors.fill: parent; onClicked: vm.confirm() }
        }
    }
}
