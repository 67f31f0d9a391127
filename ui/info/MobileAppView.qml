import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The mobile app page: scan the QR code with a phone to reach the mobile download page.
Rectangle {
    id: page
    objectName: "mobileAppView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: "white"

    MobileAppModel { id: model; objectName: "mobileAppModel" }
    Component.onCompleted: model.load()
    onVisibleChanged: if (visible) model.load()

    Image {
        anchors.fill: parent
        source: Assets.image("ic_phone_bg")
        sourceSize: Qt.size(page.width, page.height)
    }
    Image {
        anchors.fill: parent
        source: Assets.image("ic_phone")
        sourceSize: Qt.size(page.width, page.height)
    }

    // Under the route's title and back button, which are white.
    PageBand {}

    Column {
        anchors.centerIn: parent
        width: page.width - 200
        spacing: 20

        Text {
            objectName: "mobileTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("mobile apps")
            font.pixelSize: Theme.titleFontSize
            font.bold: true
            color: "black"
            wrapMode: Text.Wrap
        }
        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 100
            height: 1
            color: Qt.rgba(0, 0, 0, 0.15)
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("Use your mobile phone to scan the QR code and visit the website to download.")
            font.pixelSize: 12
            color: Theme.gray
            wrapMode: Text.Wrap
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("Don't use WeChat scanning")
            font.pixelSize: 12
            color: "red"
            wrapMode: Text.Wrap
        }
        QrCodeItem {
            objectName: "mobileQrCode"
            gradient: true
            anchors.horizontalCenter: parent.horizontalCenter
            width: 150
            height: 150
            text: model.address
        }
    }
}
