import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The download panel over the pages: progress ring and speed, or the failure with retry and close.
Item {
    id: panel
    objectName: "downloadView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    // Hosts without an update (tests of other pages) have no download manager: no panel.
    readonly property bool running: DownloadManager !== null && DownloadManager.isDownloading
    readonly property bool failed: running && DownloadManager.downloadFailed
    visible: running

    // Clicks around the panel never reach the page below.
    Rectangle {
        anchors.fill: parent
        color: Qt.rgba(1, 1, 1, 0.1)
        MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons; hoverEnabled: true }
    }
    Rectangle {
        width: 300
        height: 300
        anchors.centerIn: parent
        radius: 25
        color: Qt.rgba(0, 0, 0, 0.6)

        // After a failure the ring gives way to the message and the retry button.
        Canvas {
            id: ring
            visible: !panel.failed
            readonly property real progress: Math.max(0, Math.min(1, panel.running ? DownloadManager.downloadProgress : 0))
            anchors.fill: parent
            anchors.margins: 25
            onProgressChanged: requestPaint()
            onPaint: {
                const ctx = getContext("2d")
                const r = (width - 25) / 2
                ctx.reset()
                ctx.lineWidth = 25
                ctx.strokeStyle = Qt.rgba(24 / 255, 34 / 255, 44 / 255, 1)
                ctx.beginPath()
                ctx.arc(width / 2, height / 2, r, 0, 2 * Math.PI)
                ctx.stroke()
                if (progress <= 0)
                    return
                // From the top, clockwise.
                ctx.lineCap = "round"
                ctx.strokeStyle = Qt.rgba(64 / 255, 158 / 255, 1, 1)
                ctx.beginPath()
                ctx.arc(width / 2, height / 2, r, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * progress)
                ctx.stroke()
            }
        }
        Text {
            objectName: "speedText"
            visible: !panel.failed
            anchors.centerIn: parent
            text: panel.running ? DownloadManager.speedText : ""
            color: "white"
            font.bold: true
            font.pixelSize: 22
        }
        Column {
            visible: panel.failed
            anchors.centerIn: parent
            spacing: 25
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTrId("download failed")
                color: "red"
                font.bold: true
                font.pixelSize: 22
            }
            Rectangle {
                objectName: "retryButton"
                anchors.horizontalCenter: parent.horizontalCenter
                width: retryText.implicitWidth + 90
                height: retryText.implicitHeight + 20
                radius: 10
                color: Theme.blue
                Text { id: retryText; anchors.centerIn: parent; text: qsTrId("retry"); color: "white"; font.bold: true }
                MouseArea { anchors.fill: parent; onClicked: DownloadManager.retry() }
            }
        }
        // After a failure the panel can be put away.
        Image {
            objectName: "dismissButton"
            visible: panel.failed
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.margins: 12
            width: 16
            height: 16
            source: Assets.symbol("xmark")
            MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: DownloadManager.dismiss() }
        }
    }
}
