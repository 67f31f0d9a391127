import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The settings page: account rows (password, devices, inviter), connection rows (summary,
// connection check, what the close button does) and the advanced and tools pages.
Rectangle {
    id: page
    objectName: "settingsView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    SettingsModel { id: vm }

    PageBand { id: band; anchors.top: parent.top }

    component Divider: Rectangle {
        x: 15
        width: page.width - 30
        height: 1
        color: Qt.rgba(0.5, 0.5, 0.5, 0.3)
    }

    Column {
        anchors.top: band.bottom
        width: parent.width

        MenuItemView { objectName: "rowChangePassword"; name: "Change Password"; route: "changePWD" }
        Divider {}
        MenuItemView { objectName: "rowDevices"; name: "Devices Manager"; route: "devices" }
        Divider {}
        MenuItemView {
            objectName: "rowInvitee"
            name: "Invitee"
            textTarget: vm
            textProperty: "invitee"
            onCallback: if (vm.canBind) DialogManager.showContentComponent(invitationDialog)
        }
        MenuItemView {
            objectName: "rowConnection"
            name: "Connection"
            textTarget: vm
            textProperty: "connectionSummary"
            route: "connection"
        }
        Divider {}
        MenuItemView {
            objectName: "rowConnectionCheck"
            name: "Connection Check"
            info: "connection check info"
            boolTarget: AppStateManager
            boolProperty: "checkConnection"
        }
        MenuItemView {
            objectName: "rowCloseEvent"
            name: "When clicking the close button"
            textTarget: AppStateManager
            textProperty: "closeEvent"
            list: vm.closeChoices
        }
        MenuItemView { objectName: "rowAdvanced"; name: "Advanced Settings"; route: "advanced" }
        Divider {}
        MenuItemView { objectName: "rowTools"; name: "Tools"; route: "tools" }
    }

    // The body of the inviter dialog: the code field and Cancel / Confirm.
    Component {
        id: invitationDialog
        Column {
            objectName: "invitationDialog"
            width: 280
            spacing: 16
            TextField {
                objectName: "invitationField"
                width: parent.width
                height: 36
                placeholderText: qsTrId("please enter the invitation code")
                placeholderTextColor: Theme.gray
                color: "black"
                text: vm.invitation
                onTextEdited: vm.invitation = text
                background: Rectangle { color: "white"; radius: 6; border.color: Qt.rgba(0.5, 0.5, 0.5, 0.6) }
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 20
                Rectangle {
                    objectName: "invitationCancel"
                    width: 110; height: 32; radius: 6
                    color: Qt.rgba(0.85, 0.85, 0.85, 1)
                    Text { anchors.centerIn: parent; text: qsTrId("Cancel"); color: "black"; font.pixelSize: Theme.fontSize }
                    MouseArea { anchors.fill: parent; onClicked: vm.closeDialog() }
                }
                Rectangle {
                    objectName: "invitationConfirm"
                    width: 110; height: 32; radius: 6
                    color: Theme.blue
                    Text { anchors.centerIn: parent; text: qsTrId("Confirm"); color: "white"; font.pixelSize: Theme.fontSize }
                    MouseArea { anchors.fill: parent; onClicked: vm.bindInvitation() }
                }
            }
        }
    }
}
