import QtQuick
import Lumora.Base

// The toast: a coloured message rising from the bottom edge, 85 % of the width.
Item {
    id: view
    required property ToastManager manager
    width: Theme.pageWidth
    height: Theme.pageHeight

    Rectangle {
        id: toast
        objectName: "toast"
        width: view.width * 0.85
        height: label.implicitHeight + 2 * Theme.padding
        anchors.horizontalCenter: parent.horizontalCenter
        radius: 10
        // The type's colour at 90 %; the toast itself ends its fade fully shown.
        color: Qt.rgba(view.manager.background.r, view.manager.background.g, view.manager.background.b, 0.9)
        y: view.manager.isShowing ? view.height - height - 5 : view.height
        opacity: view.manager.isShowing ? 1 : 0
        visible: opacity > 0
        Behavior on y { NumberAnimation { duration: 500; easing.type: Easing.InOutQuad } }
        Behavior on opacity { NumberAnimation { duration: 500; easing.type: Easing.InOutQuad } }

        Text {
            id: label
            objectName: "toastText"
            anchors.fill: parent
            anchors.margins: Theme.padding
            wrapMode: Text.Wrap
            verticalAlignment: Text.AlignVCenter
            text: qsTrId(view.manager.message)
            color: view.manager.foreground
            font.pixelSize: Theme.fontSize
        }
    }
}
