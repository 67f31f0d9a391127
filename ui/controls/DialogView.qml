import QtQuick
import QtQuick.Layouts
import Lumora.Base

// The one dialog: a dimmed layer over the whole window that swallows taps, with a white card of
// heading, divider, body and buttons (side by side up to two, stacked from three). A focus scope:
// while it shows it has the keyboard, and a field of its body keeps it within the dialog.
FocusScope {
    id: view
    required property DialogManager manager

    width: Theme.pageWidth
    height: Theme.pageHeight
    visible: manager.isShow

    Rectangle {
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.5)
        // Taps outside the card's controls are taken here and do nothing.
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            onWheel: (wheel) => wheel.accepted = true
        }
    }

    Rectangle {
        id: card
        objectName: "dialogCard"
        anchors.centerIn: parent
        width: parent.width - 60
        height: column.implicitHeight + 2 * Theme.padding
        radius: 10
        color: "white"

        ColumnLayout {
            id: column
            anchors.fill: parent
            anchors.margins: Theme.padding
            spacing: 8

            Item {
                Layout.fillWidth: true
                implicitHeight: Math.max(heading.implicitHeight, 25)
                Text {
                    id: heading
                    objectName: "dialogTitle"
                    anchors.centerIn: parent
                    width: parent.width - 70
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: qsTrId(view.manager.title)
                    font.bold: true
                    font.pixelSize: Theme.titleFontSize
                    color: "black"
                }
                Image {
                    objectName: "dialogClose"
                    visible: view.manager.showClose
                    anchors.right: parent.right
                    anchors.rightMargin: -10
                    anchors.top: parent.top
                    anchors.topMargin: -10
                    width: 25
                    height: 25
                    sourceSize.width: 25
                    sourceSize.height: 25
                    source: Assets.symbol("xmark.circle")
                    MouseArea { anchors.fill: parent; onClicked: view.manager.close() }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.leftMargin: Theme.padding
                Layout.rightMargin: Theme.padding
                implicitHeight: 1
                color: Qt.rgba(0, 0, 0, 0.15)
            }

            Loader {
                objectName: "dialogBody"
                Layout.fillWidth: true
                Layout.margins: Theme.padding
                sourceComponent: view.manager.component ? view.manager.component : textBody
            }

            Component {
                id: textBody
                Text {
                    objectName: "dialogText"
                    text: view.manager.text
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                    font.pixelSize: Theme.fontSize
                    color: "black"
                }
            }

            GridLayout {
                id: buttonArea
                objectName: "dialogButtons"
                Layout.alignment: Qt.AlignHCenter
                // Fewer than three buttons side by side; three or more stacked.
                readonly property bool stacked: view.manager.buttons.length >= 3
                flow: stacked ? GridLayout.TopToBottom : GridLayout.LeftToRight
                columns: stacked ? 1 : Math.max(1, view.manager.buttons.length)
                rowSpacing: 8
                columnSpacing: 8
                Repeater {
                    model: view.manager.buttons
                    delegate: Rectangle {
                        id: button
                        required property var modelData
                        required property int index
                        objectName: "dialogButton_" + modelData.title
                        Layout.alignment: Qt.AlignHCenter
                        implicitWidth: label.implicitWidth + 30
                        implicitHeight: label.implicitHeight + 20
                        radius: 5
                        color: modelData.isLight ? Theme.blue : Theme.gray
                        Text {
                            id: label
                            anchors.centerIn: parent
                            text: qsTrId(button.modelData.title)
                            color: "white"
                            font.pixelSize: Theme.fontSize
                        }
                        MouseArea { anchors.fill: parent; onClicked: view.manager.press(button.index) }
                    }
                }
            }
        }
    }
}
