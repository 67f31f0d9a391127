import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Shell

// The first page: the logo and a loading card over the blue gradient while the program finds the
// service; the controller picks the next page.
Rectangle {
    id: page
    objectName: "initalizeView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    gradient: Gradient {
        GradientStop { position: 0.0; color: Qt.rgba(3 / 255, 134 / 255, 254 / 255, 1) }
        GradientStop { position: 0.5; color: Qt.rgba(27 / 255, 150 / 255, 245 / 255, 1) }
        GradientStop { position: 1.0; color: Qt.rgba(2 / 255, 171 / 255, 250 / 255, 1) }
    }

    Component.onCompleted: StartupController.appear()

    Column {
        anchors.fill: parent
        anchors.topMargin: 110
        spacing: 70

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: Assets.image("ic_login_logo")
            sourceSize.width: 160
            sourceSize.height: 160
        }

        Rectangle {
            objectName: "startupCard"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 150
            height: 150
            radius: 15
            color: Qt.rgba(0, 0, 0, 0.5)
            Column {
                anchors.centerIn: parent
                spacing: 12
                BusyIndicator {
                    anchors.horizontalCenter: parent.horizontalCenter
                    running: true
                    palette.dark: "white"
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 130
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    color: "white"
                    font.pixelSize: Theme.fontSize
                    //% "Starting..."
                    text: qsTrId("initalize...")
                }
            }
        }

        Text {
            objectName: "initProgress"
            anchors.horizontalCenter: parent.horizontalCenter
            color: "white"
            font.pixelSize: Theme.fontSize
            //% "Progress: %1/%2"
            text: qsTrId("progress：%lld/%lld").arg(StartupController.currentInitStep)
                                                .arg(StartupController.totalInitCount)
        }
    }
}
