import QtQuick
import Lumora.Base
import Lumora.Controls

// The blue band of the pickers with "Cancel" at its right end, which returns to the root page.
Rectangle {
    id: band
    signal cancelled()
    width: Theme.pageWidth
    height: Theme.bandHeight
    color: Theme.blue

    Text {
        objectName: "cancelButton"
        anchors.right: parent.right
        anchors.rightMargin: Theme.padding
        anchors.verticalCenter: parent.verticalCenter
        text: qsTrId("Cancel")
        color: "white"
        font.pixelSize: Theme.fontSize
        MouseArea {
            anchors.fill: parent
            anchors.margins: -Theme.padding / 2
            onClicked: band.cancelled()
        }
    }
}
