import QtQuick
import Lumora.Base

// The loading overlay: a dimmed layer with a dark 150 by 150 card holding a spinner and the
// label, drawn light on the dark card whatever the window's colours.
Item {
    id: view
    required property LoadingManager manager
    width: Theme.pageWidth
    height: Theme.pageHeight
    visible: manager.isShowing

    Rectangle {
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.2)
        MouseArea { anchors.fill: parent; hoverEnabled: true }
    }

    Rectangle {
        objectName: "loadingCard"
        anchors.centerIn: parent
        width: 150 + 2 * Theme.padding
        height: 150 + 2 * Theme.padding
        radius: 15
        color: Qt.rgba(0, 0, 0, 0.6)

        Column {
            anchors.centerIn: parent
            width: 150
            spacing: 8
            Spinner {
                anchors.horizontalCenter: parent.horizontalCenter
                running: view.visible
            }
            Text {
                objectName: "loadingText"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: qsTrId(view.manager.message)
                color: "white"
                font.pixelSize: Theme.fontSize
            }
        }
    }
}
