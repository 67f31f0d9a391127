import QtQuick
import QtQuick.Window
import Lumora.Controls

// A secondary window: a web page, a notice's text, or content of the caller's own.
Window {
    id: window

    property url contentSource
    property var contentProperties: ({})

    color: "white"
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    Loader {
        id: content
        objectName: "modalContent"
        anchors.fill: parent
        Component.onCompleted: content.setSource(window.contentSource, window.contentProperties)
    }
}
