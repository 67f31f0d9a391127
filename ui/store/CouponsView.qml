import QtQuick
import QtQuick.Controls
import Lumora.Base
import Lumora.Controls
import Lumora.Store

// The user's time cards and coupons, soonest to expire first; the empty picture without any.
Rectangle {
    id: page
    objectName: "couponsView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: "white"

    property alias model: couponsModel
    CouponsModel { id: couponsModel }
    Component.onCompleted: couponsModel.load()

    PageBand { id: band }

    Flickable {
        visible: couponsModel.hasCoupons
        anchors.top: band.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        contentHeight: rows.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        Column {
            id: rows
            width: parent.width
            padding: Theme.padding
            spacing: Theme.padding
            Repeater {
                model: couponsModel.entries
                delegate: Loader {
                    required property var modelData
                    width: rows.width - 2 * Theme.padding
                    sourceComponent: modelData.kind === "card" ? cardRow : rollRow
                    property var entry: modelData
                }
            }
        }
    }

    Component {
        id: cardRow
        CouponCardView {
            card: parent ? parent.entry : ({})
            onUse: couponsModel.redeem(card.id)
        }
    }
    Component {
        id: rollRow
        CouponRollView {
            roll: parent ? parent.entry : ({})
            onUse: couponsModel.useCoupon()
        }
    }

    Image {
        objectName: "couponsEmpty"
        visible: !couponsModel.hasCoupons
        anchors.horizontalCenter: parent.horizontalCenter
        y: band.height + (parent.height - band.height - height) / 2
        source: Assets.image("ic_empty")
    }
}
