import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The content of the tunnel-mode approval window: where the system asks, what to do, and
// "Confirm", which closes the window.
Rectangle {
    id: tips
    objectName: "systemExtensionTips"
    width: Theme.pageWidth
    height: Theme.pageHeight
    radius: 15
    color: "white"

    // "zh" for both Chinese languages, else "en".
    readonly property string pictureLanguage: AppStateManager.currentLanguage.indexOf("zh") === 0 ? "zh" : "en"

    Column {
        anchors.centerIn: parent
        width: parent.width - 50
        spacing: 16

        Image {
            objectName: "tipsPicture"
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width
            fillMode: Image.PreserveAspectFit
            source: Assets.image("system_extension_tips_" + tips.pictureLanguage)
            sourceSize.width: width * 2
        }
        Text {
            objectName: "tipsText"
            width: parent.width
            leftPadding: 20
            rightPadding: 20
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("system_tips")
            font.pixelSize: Theme.fontSize
            font.bold: true
            color: "black"
            wrapMode: Text.Wrap
        }
        Rectangle {
            objectName: "tipsConfirm"
            anchors.horizontalCenter: parent.horizontalCenter
            width: confirmText.implicitWidth + 30
            height: confirmText.implicitHeight + 10
            radius: 5
            color: Theme.blue
            Text {
                id: confirmText
                anchors.centerIn: parent
                text: qsTrId("Confirm")
                color: "white"
                font.pixelSize: 12
            }
            MouseArea {
                anchors.fill: parent
                onClicked: ModalWindows.closeModalWindow(ModalWindowType.systemExtension)
            }
        }
    }
}
