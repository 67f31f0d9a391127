import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Home

// The disclaimer's body; every showing starts with the box unticked.
Column {
    id: view
    objectName: "disclaimerView"
    property bool ignore: false
    width: 300
    spacing: 12

    Text {
        width: parent.width
        text: qsTrId("disclaimer")
        wrapMode: Text.Wrap
        lineHeightMode: Text.FixedHeight
        lineHeight: font.pixelSize + 10
        horizontalAlignment: Text.AlignLeft
    }
    Item {
        objectName: "disclaimerIgnore"
        anchors.horizontalCenter: parent.horizontalCenter
        width: ignoreRow.implicitWidth
        height: ignoreRow.implicitHeight
        Row {
            id: ignoreRow
            spacing: 6
            Image {
                width: 14; height: 14
                source: Assets.symbol(view.ignore ? "checkmark.square.fill" : "square")
            }
            Text {
                text: qsTrId("disclaimer_ignore")
                font.pixelSize: 14
                color: view.ignore ? Theme.blue : Theme.gray
            }
        }
        MouseArea {
            anchors.fill: parent
            onClicked: {
                view.ignore = !view.ignore
                HomeScreen.setDisclaimerIgnored(view.ignore)
            }
        }
    }
}
