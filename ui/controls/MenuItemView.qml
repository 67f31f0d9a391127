import QtQuick
import QtQuick.Controls
import Lumora.Base
import Lumora.Controls

// One row of the menu, settings and tools pages: icon, label, optional info tooltip, and one
// trailing element: a switch bound to a setting, a plain value, a drop-down of choices bound to
// a setting, or a forward chevron. Settings are bound by object and property name, so the row
// writes through the object's own setter.
Rectangle {
    id: row
    property string icon: ""
    property string name: ""
    property string info: ""
    // A route name ("settings") or route value; empty for none.
    property var route: undefined
    property var boolTarget: null
    property string boolProperty: ""
    property var textTarget: null
    property string textProperty: ""
    property var list: []
    property Router router: AppStateManager.router
    signal callback()

    readonly property bool hasBool: !!boolTarget && boolProperty !== ""
    readonly property bool hasText: !hasBool && !!textTarget && textProperty !== ""
    readonly property bool boolValue: hasBool ? boolTarget[boolProperty] === true : false
    readonly property string textValue: hasText ? String(textTarget[textProperty]) : ""
    // "switch", "text", "dropdown" or "chevron". A stored choice that today's list no longer
    // offers still shows as it stands and still opens the list, or it could never be changed.
    readonly property string trailing: hasBool ? "switch"
                                      : hasText && list.length === 0 ? "text"
                                      : hasText ? "dropdown" : "chevron"
    property bool showTooltip: false
    property bool showList: false
    property string hoverOption: ""

    implicitWidth: Theme.pageWidth
    implicitHeight: Math.max(label.implicitHeight, 20) + 30
    width: parent ? parent.width : implicitWidth
    color: "white"

    // A row that goes out of sight takes its popovers with it.
    onVisibleChanged: if (!visible) { showList = false; showTooltip = false }

    function toggle() {
        var target = boolTarget
        const next = target[boolProperty] ? false : true
        target[boolProperty] = next
        callback()
    }

    function choose(choice) {
        textTarget[textProperty] = choice
        showList = false
        callback()
    }

    // A tap on the row outside its trailing controls: open the page, then run the callback
    // unless the row is a switch or drop-down row.
    MouseArea {
        objectName: "rowTap"
        anchors.fill: parent
        onClicked: {
            if (row.route !== undefined && row.route !== null && row.route !== "")
                row.router.push(row.route)
            if (row.list.length === 0 && !row.hasBool)
                row.callback()
        }
    }

    Row {
        id: leading
        anchors.left: parent.left
        anchors.leftMargin: 15
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
        Image {
            visible: row.icon !== ""
            anchors.verticalCenter: parent.verticalCenter
            source: row.icon !== "" ? Assets.image(row.icon) : ""
            height: 15
            sourceSize.height: 15
            fillMode: Image.PreserveAspectFit
        }
        Text {
            id: label
            objectName: "menuLabel"
            anchors.verticalCenter: parent.verticalCenter
            text: qsTrId(row.name)
            color: "black"
            font.pixelSize: Theme.fontSize
        }
        SymbolImage {
            id: infoIcon
            objectName: "menuInfo"
            visible: row.info !== ""
            anchors.verticalCenter: parent.verticalCenter
            source: Assets.symbol("info.circle")
            color: Theme.gray
            width: 14
            height: 14
            MouseArea {
                anchors.fill: parent
                hoverEnabled: true
                onContainsMouseChanged: row.showTooltip = containsMouse
            }
            Popup {
                visible: row.showTooltip
                x: infoIcon.width + 4
                y: (infoIcon.height - height) / 2
                padding: Theme.padding
                background: Rectangle { color: Qt.rgba(0, 0, 0, 0.6); radius: 4 }
                contentItem: Text {
                    objectName: "menuTooltip"
                    text: qsTrId(row.info)
                    color: "white"
                    font.pixelSize: 10
                    wrapMode: Text.Wrap
                    width: Math.min(implicitWidth, 220)
                }
            }
        }
    }

    Item {
        id: trailingSlot
        anchors.right: parent.right
        anchors.rightMargin: 15
        anchors.verticalCenter: parent.verticalCenter
        // Sized by the one element shown, so it sits flush right and centred.
        readonly property Item shown: row.trailing === "switch" ? track
                                      : row.trailing === "text" ? valueText
                                      : row.trailing === "dropdown" ? dropLabel : chevron
        width: shown.width
        height: shown.height

        Rectangle {
            id: track
            objectName: "menuSwitch"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.trailing === "switch"
            width: 40
            height: 20
            radius: 10
            color: row.boolValue ? Theme.blue : Theme.gray
            Rectangle {
                width: 20
                height: 20
                radius: 10
                color: "white"
                x: (row.boolValue ? 30 : 10) - width / 2
                Behavior on x { NumberAnimation { duration: 200 } }
            }
            MouseArea {
                anchors.fill: parent
                enabled: track.visible
                onClicked: row.toggle()
            }
        }

        Text {
            id: valueText
            objectName: "menuValue"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.trailing === "text"
            text: row.textValue
            color: "black"
            font.pixelSize: Theme.fontSize
        }

        Item {
            id: dropLabel
            objectName: "menuDropdown"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.trailing === "dropdown"
            width: dropRow.implicitWidth
            height: dropRow.implicitHeight
            Row {
                id: dropRow
                spacing: 4
                Text {
                    objectName: "menuDropdownText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTrId(row.textValue)
                    color: "black"
                    font.pixelSize: Theme.fontSize
                }
                Image {
                    anchors.verticalCenter: parent.verticalCenter
                    source: Assets.symbol("chevron.down")
                    width: 12
                    height: 12
                    sourceSize.width: 12
                    sourceSize.height: 12
                }
            }
            MouseArea {
                anchors.fill: parent
                enabled: dropLabel.visible
                onClicked: row.showList = !row.showList
            }

            // As high as its choices, at most 150; kept inside the window (moved up where the row
            // sits low) so the last choice can always be reached; opens at the first choice; takes
            // the keyboard while open, so Escape closes it.
            Popup {
                id: listPopup
                objectName: "menuList"
                visible: row.showList
                onClosed: row.showList = false
                onAboutToShow: choices.positionViewAtBeginning()
                focus: true
                margins: 4
                y: dropLabel.height + 4
                x: dropLabel.width - width
                width: 150
                height: Math.min(choices.contentHeight, 150)
                padding: 0
                background: Rectangle { color: "black"; radius: 10 }
                contentItem: ListView {
                    id: choices
                    clip: true
                    model: row.list
                    boundsBehavior: Flickable.StopAtBounds
                    delegate: Rectangle {
                        id: line
                        required property string modelData
                        objectName: "choice_" + modelData
                        width: ListView.view.width
                        height: choiceText.implicitHeight + 16
                        color: row.hoverOption === modelData ? Theme.blue : "transparent"
                        Row {
                            anchors.verticalCenter: parent.verticalCenter
                            x: 6
                            spacing: 5
                            Item {
                                width: 10
                                height: 10
                                anchors.verticalCenter: parent.verticalCenter
                                SymbolImage {
                                    objectName: "checkmark"
                                    anchors.fill: parent
                                    visible: line.modelData === row.textValue
                                    source: Assets.symbol("checkmark")
                                    color: "white"
                                }
                            }
                            Text {
                                id: choiceText
                                text: qsTrId(line.modelData)
                                color: "white"
                                font.pixelSize: Theme.fontSize
                            }
                        }
                        MouseArea {
                            anchors.fill: parent
                            hoverEnabled: true
                            onContainsMouseChanged: row.hoverOption = containsMouse ? line.modelData : ""
                            onClicked: row.choose(line.modelData)
                        }
                    }
                }
            }
        }

        Image {
            id: chevron
            objectName: "menuChevron"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.trailing === "chevron"
            source: Assets.symbol("chevron.forward")
            width: 12
            height: 12
            sourceSize.width: 12
            sourceSize.height: 12
        }
    }
}
