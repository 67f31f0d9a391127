import QtQuick
import QtQuick.Window
import Lumora.Base
import Lumora.Controls

// The clipboard warning's own window: the main window's size, titled and closable only, above
// the application's other windows.
Window {
    objectName: "clipboardWarningWindow"
    width: Theme.pageWidth
    height: Theme.pageHeight
    minimumWidth: Theme.pageWidth
    minimumHeight: Theme.pageHeight
    maximumWidth: Theme.pageWidth
    maximumHeight: Theme.pageHeight
    flags: Qt.Window | Qt.WindowTitleHint | Qt.WindowCloseButtonHint | Qt.WindowStaysOnTopHint
    title: qsTrId("Warning")
    color: "white"

    ClipboardWarningView { anchors.fill: parent }
}
