import QtQuick
import Lumora.Base
import Lumora.Controls

// One plan card: collapsed to its title and price, or, selected, with the discount, the price,
// the original price with the saving, and the order button.
Rectangle {
    id: card
    objectName: "shopItem_" + product.id
    property var product: ({})
    property bool selected: false
    signal select()
    signal buy()

    readonly property color orange: Qt.rgba(255 / 255, 91 / 255, 0, 1)
    height: selected ? 220 : 50
    radius: 15
    color: "white"
    clip: true
    Behavior on height { NumberAnimation { duration: 250; easing.type: Easing.InOutQuad } }

    MouseArea {
        anchors.fill: parent
        onClicked: if (!card.selected) card.select()
    }

    // Collapsed: title and price on one line.
    Row {
        visible: !card.selected
        anchors.fill: parent
        anchors.leftMargin: Theme.padding
        anchors.rightMargin: Theme.padding
        spacing: 8
        Text {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - priceRow.width - parent.spacing
            text: card.product.title
            font.bold: true
            font.pixelSize: 20
            elide: Text.ElideRight
        }
        Row {
            id: priceRow
            anchors.verticalCenter: parent.verticalCenter
            Text { anchors.baseline: collapsedPrice.baseline; text: card.product.currencySymbol; font.pixelSize: Theme.fontSize }
            Text { id: collapsedPrice; text: card.product.price; font.bold: true; font.pixelSize: 20 }
        }
    }

    // Expanded.
    Column {
        visible: card.selected
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.padding
        spacing: 4
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 8
            Text {
                anchors.verticalCenter: parent.verticalCenter
                topPadding: 5
                bottomPadding: 5
                text: card.product.title
                font.bold: true
                font.pixelSize: 20
            }
            Rectangle {
                objectName: "discountBadge"
                visible: card.product.discounted === true
                anchors.verticalCenter: parent.verticalCenter
                width: badgeText.implicitWidth + 70
                height: badgeText.implicitHeight + 10
                radius: 15
                color: card.orange
                Text {
                    id: badgeText
                    anchors.centerIn: parent
                    text: qsTrId("%@ off").arg(card.product.discount || "")
                    color: "white"
                    font.pixelSize: 15
                }
            }
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            Text { anchors.baseline: bigPrice.baseline; text: card.product.currencySymbol; color: card.orange; font.pixelSize: Theme.fontSize }
            Text { id: bigPrice; text: card.product.price; color: card.orange; font.bold: true; font.pixelSize: 50 }
        }
        Row {
            objectName: "originalPriceRow"
            visible: card.product.discounted === true
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 4
            Text { text: qsTrId("original price"); color: Theme.gray; font.pixelSize: Theme.fontSize }
            Text {
                text: card.product.currencySymbol + card.product.originalPrice
                color: Theme.gray
                font.pixelSize: Theme.fontSize
                font.strikeout: true
            }
            Text { text: qsTrId("，save"); color: Theme.gray; font.pixelSize: Theme.fontSize }
            Text { text: card.product.currencySymbol + card.product.saving; color: Theme.gray; font.pixelSize: Theme.fontSize }
        }
        Item { width: 1; height: 6 }
        Rectangle {
            objectName: "orderButton"
            anchors.horizontalCenter: parent.horizontalCenter
            width: orderText.implicitWidth + 170
            height: orderText.implicitHeight + 20
            radius: 5
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0; color: Qt.rgba(81 / 255, 162 / 255, 244 / 255, 1) }
                GradientStop { position: 1; color: Qt.rgba(114 / 255, 137 / 255, 248 / 255, 1) }
            }
            Text { id: orderText; anchors.centerIn: parent; text: qsTrId("order now"); color: "white"; font.pixelSize: Theme.fontSize }
            MouseArea { anchors.fill: parent; onClicked: card.buy() }
        }
    }
}
