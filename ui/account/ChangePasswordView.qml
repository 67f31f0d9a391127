import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The change-password page: the current password, the new one twice, and "Confirm".
Rectangle {
    id: page
    objectName: "changePasswordView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    ChangePasswordModel { id: vm }

    PageBand { anchors.top: parent.top }

    component SecureField: TextField {
        width: parent.width
        height: 36
        echoMode: TextInput.Password
        placeholderTextColor: Theme.gray
        color: "black"
        background: Rectangle { color: "white"; radius: 4; border.color: Qt.rgba(0.5, 0.5, 0.5, 0.4) }
    }

    Column {
        x: 70
        width: page.width - 140
        anchors.verticalCenter: parent.verticalCenter
        spacing: 16

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: Assets.image("ic_modify_pwd")
            sourceSize.width: 120
            sourceSize.height: 120
        }
        SecureField {
            objectName: "oldPasswordField"
            placeholderText: qsTrId("Old password")
            onTextEdited: vm.oldPassword = text
        }
        SecureField {
            objectName: "newPasswordField"
            placeholderText: qsTrId("New password")
            onTextEdited: vm.password = text
        }
        SecureField {
            objectName: "confirmPasswordField"
            placeholderText: qsTrId("Confirm password")
            onTextEdited: vm.confirmPassword = text
            onAccepted: vm.confirm()
        }
        Rectangle {
            objectName: "changePasswordConfirm"
            width: parent.width
            height: 40
            radius: 6
            color: Theme.blue
            Text { anchors.centerIn: parent; text: qsTrId("Confirm"); color: "white"; font.pixelSize: 20 }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.confirm() }
        }
    }
}
