import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Location

// The nodes of one country under a floating search box: a keyword narrows the list by name,
// the suggestions offer the name prefixes with their counts, a tap on a node connects to it.
Rectangle {
    id: page
    objectName: "nodesView"
    // The loader that shows a page carries its route.
    readonly property var route: parent ? parent.route : undefined
    property bool isFocused: false
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    NodeListModel {
        id: nodes
        country: page.route ? page.route.country : ""
    }
    Component.onCompleted: nodes.load()

    PageBand { id: band; anchors.top: parent.top }

    ListView {
        objectName: "nodeList"
        // Below the search box's field, so the first node is not hidden under it.
        y: Math.max(band.height + 40, searchBox.y + searchRow.height + 6)
        width: page.width
        height: page.height - y
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: nodes
        delegate: NodeItemView {
            required property int index
            required property var model
            objectName: "nodeRow_" + model.nodeId
            width: ListView.view.width
            name: model.name
            flag: model.flag
            signalImage: model.signal
            current: model.current
            onChosen: nodes.choose(index)
        }
    }

    Rectangle {
        id: searchBox
        objectName: "searchBox"
        x: Theme.padding
        y: 55
        width: page.width - 2 * Theme.padding
        height: searchColumn.height
        radius: 5
        color: Qt.rgba(239 / 255, 240 / 255, 246 / 255, 1)

        HoverHandler { onHoveredChanged: page.isFocused = hovered }

        Column {
            id: searchColumn
            width: parent.width
            Item {
                id: searchRow
                width: parent.width
                height: field.implicitHeight + 2 * Theme.padding / 2
                SymbolImage {
                    id: magnifier
                    x: Theme.padding
                    anchors.verticalCenter: parent.verticalCenter
                    width: 16
                    height: 16
                    source: Assets.symbol("magnifyingglass")
                    color: Theme.gray
                }
                TextField {
                    id: field
                    objectName: "searchField"
                    anchors.left: magnifier.right
                    anchors.leftMargin: 6
                    anchors.right: clear.visible ? clear.left : parent.right
                    anchors.rightMargin: 6
                    anchors.verticalCenter: parent.verticalCenter
                    placeholderText: qsTrId("please enter keyword")
                    placeholderTextColor: Theme.gray
                    color: Theme.text
                    font.pixelSize: Theme.fontSize
                    background: null
                    text: nodes.keyword
                    onTextEdited: nodes.keyword = text
                    onActiveFocusChanged: page.isFocused = activeFocus
                    onAccepted: { page.isFocused = false; focus = false }
                }
                SymbolImage {
                    id: clear
                    objectName: "clearKeyword"
                    visible: nodes.keyword !== ""
                    anchors.right: parent.right
                    anchors.rightMargin: Theme.padding
                    anchors.verticalCenter: parent.verticalCenter
                    width: 16
                    height: 16
                    source: Assets.symbol("xmark.circle.fill")
                    color: Theme.gray
                    MouseArea { anchors.fill: parent; onClicked: nodes.keyword = "" }
                }
            }
            ListView {
                objectName: "keyList"
                visible: page.isFocused && nodes.keys.total >= 2
                width: parent.width
                height: visible ? Math.min(150, contentHeight) : 0
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: nodes.keys
                delegate: KeyItemView {
                    required property var model
                    objectName: "key_" + model.name
                    width: ListView.view.width
                    name: model.name
                    count: model.count
                    onChosen: {
                        nodes.selectKey(model.name)
                        page.isFocused = false
                    }
                }
            }
        }
    }
}
