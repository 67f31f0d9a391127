import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The device upgrade page: the account, the chosen limit, what the change does to the remaining
// membership, and "Confirm" behind a warning.
Rectangle {
    id: page
    objectName: "upgradeDeviceView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    UpgradeDeviceModel { id: vm }
    Component.onCompleted: vm.appear()

    PageBand { id: band; anchors.top: parent.top }

    component Label: Text {
        width: 90
        elide: Text.ElideRight
        color: "black"
        font.pixelSize: Theme.fontSize
    }

    Column {
        x: 55
        width: page.width - 110
        anchors.top: band.bottom
        anchors.topMargin: 40
        spacing: 15

        Row {
            spacing: 6
            Label { text: qsTrId("Account:") }
            Text {
                objectName: "upgradeEmail"
                width: page.width - 110 - 96
                elide: Text.ElideMiddle
                text: vm.email
                color: "black"
                font.pixelSize: Theme.fontSize
            }
        }
        Row {
            spacing: 6
            Label { anchors.verticalCenter: parent.verticalCenter; text: qsTrId("Upgrade to:") }
            ComboBox {
                id: picker
                objectName: "upgradePicker"
                anchors.verticalCenter: parent.verticalCenter
                width: 60
                height: 28
                model: vm.choices
                currentIndex: vm.choices.indexOf(vm.selectedCount)
                onActivated: (index) => vm.selectedCount = vm.choices[index]
                palette.base: "white"
                palette.text: "black"
                palette.buttonText: "black"
                palette.button: "white"
                palette.window: "white"
            }
            Text { anchors.verticalCenter: parent.verticalCenter; text: qsTrId("devices"); color: "black"; font.pixelSize: Theme.fontSize }
        }
        Rectangle { width: parent.width; height: 1; color: Qt.rgba(0.5, 0.5, 0.5, 0.3) }
        Text { text: qsTrId("Details of the changes:"); font.bold: true; color: "black"; font.pixelSize: Theme.fontSize }
        Row {
            spacing: 6
            Label { text: qsTrId("Devices:") }
            Text { text: vm.presentLimit + " -->"; color: "black"; font.pixelSize: Theme.fontSize }
            Text { objectName: "upgradeTarget"; text: vm.selectedCount; font.bold: true; color: "black"; font.pixelSize: Theme.fontSize }
        }
        Row {
            spacing: 6
            Label { text: qsTrId("Remaining Time:") }
            Text { objectName: "upgradeDaysNow"; text: vm.days + qsTrId("day") + " -->"; color: "black"; font.pixelSize: Theme.fontSize }
            Text { objectName: "upgradeDaysAfter"; text: vm.daysLave + qsTrId("day"); font.bold: true; color: "black"; font.pixelSize: Theme.fontSize }
        }
        Item { width: 1; height: 10 }
        Rectangle {
            objectName: "upgradeConfirm"
            anchors.horizontalCenter: parent.horizontalCenter
            width: confirmText.implicitWidth + 120
            height: confirmText.implicitHeight + 20
            radius: height / 2
            color: Theme.blue
            Text { id: confirmText; anchors.centerIn: parent; text: qsTrId("Confirm"); color: "white"; font.pixelSize: Theme.fontSize }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.confirm() }
        }
    }
}
