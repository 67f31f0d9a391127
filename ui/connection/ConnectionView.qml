import QtQuick
import QtQuick.Controls
import Lumora.Base
import Lumora.Controls
import Lumora.Connection

// The connection settings page: routing mode, protocol and running mode, applied on leaving.
Rectangle {
    id: page
    objectName: "connectionView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    property bool smartInfo: false
    property bool globalInfo: false
    property bool tunnelInfo: false
    property bool proxyInfo: false

    ConnectionPage { id: settings; objectName: "connectionSettings" }
    Component.onCompleted: settings.appear()
    onVisibleChanged: if (visible) settings.appear()

    // One choice: icon, title, an optional info bubble, and the check mark.
    component ChoiceRow: Rectangle {
        id: row
        property string icon: ""
        property string title: ""
        property string info: ""
        property bool selected: false
        property bool infoShown: false
        signal tapped()

        width: parent ? parent.width : Theme.pageWidth
        implicitHeight: Math.max(label.implicitHeight, 20) + 24
        color: "white"

        MouseArea { anchors.fill: parent; onClicked: row.tapped() }
        Row {
            anchors.left: parent.left
            anchors.leftMargin: 15
            anchors.right: mark.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: row.icon !== "" ? Assets.image(row.icon + (row.selected ? "_selected" : "_normal")) : ""
                width: 15
                height: 15
                sourceSize: Qt.size(30, 30)
                fillMode: Image.PreserveAspectFit
            }
            Text {
                id: label
                objectName: "choiceTitle"
                anchors.verticalCenter: parent.verticalCenter
                text: row.title
                color: Theme.text
                font.pixelSize: Theme.fontSize
            }
            SymbolImage {
                id: infoMark
                objectName: "infoMark"
                visible: row.info !== ""
                anchors.verticalCenter: parent.verticalCenter
                width: 14
                height: 14
                source: Assets.symbol("info.circle")
                color: Theme.gray
                HoverHandler { onHoveredChanged: row.infoShown = hovered }
                ToolTip {
                    objectName: "infoBubble"
                    visible: row.infoShown
                    delay: 0
                    x: (infoMark.width - width) / 2
                    y: infoMark.height + 4
                    contentItem: Text {
                        text: qsTrId(row.info)
                        color: "white"
                        font.pixelSize: Theme.smallFontSize
                        wrapMode: Text.Wrap
                        width: Math.min(implicitWidth, 240)
                    }
                    background: Rectangle { color: Qt.rgba(0, 0, 0, 0.6); radius: 4 }
                    padding: 8
                    width: Math.min(contentItem.implicitWidth + 2 * padding, 260)
                }
            }
        }
        SymbolImage {
            id: mark
            objectName: "checkMark"
            anchors.right: parent.right
            anchors.rightMargin: 15
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            source: Assets.symbol(row.selected ? "checkmark.circle.fill" : "circle")
            color: row.selected ? Theme.blue : Theme.gray
        }
    }

    component Section: Column {
        property string title: ""
        property string note: ""
        default property alias rows: body.data
        width: parent ? parent.width : Theme.pageWidth
        spacing: 6
        Text {
            text: qsTrId(parent.title)
            font.pixelSize: Theme.fontSize
            font.bold: true
            color: Theme.text
            leftPadding: 4
        }
        Text {
            visible: parent.note !== ""
            width: parent.width
            text: parent.note !== "" ? qsTrId(parent.note) : ""
            font.pixelSize: Theme.smallFontSize + 1
            color: Theme.gray
            wrapMode: Text.Wrap
            leftPadding: 4
            rightPadding: 4
        }
        Rectangle {
            width: parent.width
            height: body.implicitHeight
            radius: 8
            clip: true
            color: "white"
            Column {
                id: body
                width: parent.width
            }
        }
    }

    Column {
        anchors.fill: parent
        PageBand {}
        ScrollView {
            id: scroll
            width: page.width
            height: page.height - Theme.bandHeight
            contentWidth: availableWidth
            ScrollBar.vertical.policy: ScrollBar.AlwaysOff
            ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
            Column {
                x: Theme.padding
                width: scroll.availableWidth - 2 * Theme.padding
                topPadding: Theme.padding
                bottomPadding: Theme.padding
                spacing: 16

                Section {
                    title: "routing mode"
                    ChoiceRow {
                        objectName: "smartRow"
                        icon: "ic_connect_smart"
                        title: qsTrId("smart")
                        info: "This option is usually recommended."
                        selected: settings.smartRoute
                        onInfoShownChanged: page.smartInfo = infoShown
                        onTapped: settings.chooseSmartRoute(true)
                    }
                    ChoiceRow {
                        objectName: "globalRow"
                        icon: "ic_connect_all"
                        title: qsTrId("global")
                        info: "Use encrypted proxies for all network access."
                        selected: !settings.smartRoute
                        onInfoShownChanged: page.globalInfo = infoShown
                        onTapped: settings.chooseSmartRoute(false)
                    }
                }

                Section {
                    title: "connect model"
                    note: "The \"Automatic\" option should be left on in most cases. Please only try to specify the protocol manually if automatic is not available."
                    Repeater {
                        model: settings.protocols
                        delegate: ChoiceRow {
                            required property var modelData
                            objectName: "protocolRow_" + modelData.name
                            icon: modelData.icon
                            title: qsTrId(modelData.name)
                            selected: modelData.raw === settings.connectProtocol
                            onTapped: settings.chooseProtocol(modelData.raw)
                        }
                    }
                }

                Section {
                    title: "running mode"
                    ChoiceRow {
                        objectName: "normalRow"
                        icon: "ic_connect_convention"
                        title: qsTrId("normal")
                        info: "Use the system proxy settings, suitable for browsing the web, watching videos and other scenes. Generally it is recommended to use"
                        selected: !settings.tunnelMode
                        onInfoShownChanged: page.proxyInfo = infoShown
                        onTapped: settings.chooseNormalMode()
                    }
                    ChoiceRow {
                        objectName: "tunnelRow"
                        icon: "ic_connect_specialist"
                        title: qsTrId("tunnel")
                        info: "Taking over the network with a virtual NIC"
                        selected: settings.tunnelMode
                        onInfoShownChanged: page.tunnelInfo = infoShown
                        onTapped: settings.chooseTunnelMode()
                    }
                }
            }
        }
    }
}
