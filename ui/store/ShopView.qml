import QtQuick
import QtQuick.Controls
import Lumora.Base
import Lumora.Controls
import Lumora.Store

// The membership shop: the account and its time left, then one card per plan on sale.
Rectangle {
    id: page
    objectName: "shopView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    property alias manager: storeManager
    StoreManager { id: storeManager }
    Component.onCompleted: storeManager.appear()

    Item {
        id: header
        width: parent.width
        height: 110
        Image {
            anchors.fill: parent
            source: Assets.image("ic_store_pay_topBg")
            fillMode: Image.Stretch
        }
        Row {
            anchors.left: parent.left
            anchors.leftMargin: 20
            anchors.right: parent.right
            anchors.rightMargin: 20
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: Assets.image("ic_store_account_new")
            }
            Column {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 50
                spacing: 10
                Text {
                    objectName: "shopEmail"
                    width: parent.width
                    text: storeManager.email
                    color: "white"
                    font.bold: true
                    font.pixelSize: Theme.titleFontSize
                    elide: Text.ElideRight
                }
                Row {
                    spacing: 4
                    Text { text: qsTrId("remaining days:"); color: "white"; font.pixelSize: Theme.fontSize }
                    Text {
                        objectName: "shopRemaining"
                        text: storeManager.remainingTime
                        color: "white"
                        font.pixelSize: Theme.fontSize
                    }
                }
            }
        }
    }

    Flickable {
        anchors.top: header.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        contentHeight: plans.height + 20
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        Column {
            id: plans
            width: parent.width
            spacing: 10
            Row {
                leftPadding: 45
                topPadding: 10
                spacing: 6
                Image { anchors.verticalCenter: parent.verticalCenter; source: Assets.image("ic_store_pay_vip") }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTrId("recommended")
                    color: "black"
                    font.pixelSize: Theme.fontSize
                }
            }
            Repeater {
                model: storeManager.products
                delegate: ShopItemView {
                    required property var modelData
                    x: 25
                    width: plans.width - 50
                    product: modelData
                    selected: storeManager.selectId === modelData.id
                    onSelect: storeManager.selectId = modelData.id
                    onBuy: storeManager.buy(modelData.id)
                }
            }
        }
    }
}
