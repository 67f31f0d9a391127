import QtQuick
import QtQuick.Layouts
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The body of the update offer: the text and, for the automatic offer, "ignore version".
ColumnLayout {
    spacing: 0
    Text {
        Layout.alignment: Qt.AlignHCenter
        Layout.margins: Theme.padding
        text: qsTrId("has new version")
        font.pixelSize: Theme.fontSize
        color: "black"
    }
    Item {
        objectName: "ignoreRow"
        visible: UpdateManager.showIgnore
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: ignoreLine.implicitWidth
        implicitHeight: ignoreLine.implicitHeight
        Row {
            id: ignoreLine
            spacing: 6
            Image {
                source: Assets.symbol(UpdateManager.ignore ? "checkmark.circle.fill" : "circle")
                width: 14
                height: 14
            }
            Text {
                text: qsTrId("ignore version")
                color: UpdateManager.ignore ? Theme.blue : Theme.gray
                font.pixelSize: Theme.fontSize
            }
        }
        MouseArea { anchors.fill: parent; onClicked: UpdateManager.ignore = !UpdateManager.ignore }
    }
}
