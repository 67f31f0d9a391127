import QtQuick
import Lumora.Base
import Lumora.Controls

// The content of the clipboard warning window: the copied payment address was replaced, so no
// money is to be sent. Fixed texts over a faint warning sign; the window's own close button
// closes it.
Rectangle {
    id: view
    objectName: "clipboardWarningView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: "white"

    SymbolImage {
        anchors.fill: parent
        anchors.margins: Theme.padding
        source: Assets.symbol("exclamationmark.triangle")
        color: "yellow"
        opacity: 0.4
    }

    Column {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.padding
        spacing: 8

        Text {
            objectName: "warningHeading"
            width: parent.width
            padding: Theme.padding
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTrId("The address in the clipboard has been tampered with.")
            color: "black"
            font.bold: true
            font.pixelSize: 22
        }
        Repeater {
            model: 3
            Text {
                width: view.width - 2 * Theme.padding
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: qsTrId("Don't transfer money!")
                color: "red"
                font.bold: true
                font.pixelSize: 18
            }
        }
        Text {
            objectName: "warningAdvice"
            width: parent.width
            height: Math.min(implicitHeight, 80 + 2 * Theme.padding)
            padding: Theme.padding
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            elide: Text.ElideRight
            text: qsTrId("Please double-check that the address on the payment page is the same as the address after copying and pasting! And use antivirus software to check for Trojans and viruses.")
            color: "black"
            font.pixelSize: Theme.fontSize
        }
    }
}
