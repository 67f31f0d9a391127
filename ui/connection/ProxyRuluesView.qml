import QtQuick
import QtQuick.Controls
import Lumora.Base
import Lumora.Controls
import Lumora.Connection

// The proxy rules editor: three lists, one entry per line. There is no save button: Back saves
// (the model's back check), and stays on the page when an entry is wrong or the service refused.
Rectangle {
    id: page
    objectName: "proxyRuluesView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    ProxyRulesModel { id: rules }
    Component.onCompleted: rules.appear()

    component RuleList: Column {
        id: section
        property string title
        property string tip
        property string listName
        property ProxyRulesModel model
        width: parent.width
        spacing: 6

        Text {
            text: qsTrId(section.title)
            font.bold: true
            font.pixelSize: Theme.fontSize
            color: "black"
        }
        Rectangle {
            width: parent.width
            height: 120 + 10
            radius: 10
            color: "white"
            border.color: Theme.gray
            border.width: 0.5
            clip: true
            ScrollView {
                anchors.fill: parent
                anchors.margins: 5
                ScrollBar.vertical.policy: ScrollBar.AlwaysOff
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                TextArea {
                    id: editor
                    objectName: "editor_" + section.listName
                    text: section.model[section.listName]
                    onTextChanged: if (section.model[section.listName] !== text) section.model[section.listName] = text
                    wrapMode: TextEdit.Wrap
                    color: "black"
                    font.pixelSize: Theme.fontSize
                    padding: 0
                    background: null
                    // The placeholder lies over the empty editor in the top-left corner.
                    Text {
                        objectName: "placeholder_" + section.listName
                        visible: editor.text.length === 0
                        text: qsTrId("Please enter the domain and IP")
                        color: Theme.gray
                        font.pixelSize: Theme.fontSize
                    }
                }
            }
        }
        Text {
            objectName: "tip_" + section.listName
            width: parent.width
            text: qsTrId(section.tip)
            wrapMode: Text.Wrap
            color: Theme.gray
            font.pixelSize: Theme.smallFontSize + 1
        }
    }

    Column {
        anchors.fill: parent

        PageBand { id: band }

        Flickable {
            width: parent.width
            height: parent.height - band.height
            contentHeight: lists.height + 2 * Theme.padding
            boundsBehavior: Flickable.StopAtBounds
            clip: true

            Column {
                id: lists
                x: Theme.padding
                y: Theme.padding
                width: parent.width - 2 * Theme.padding
                spacing: 20

                RuleList {
                    model: rules
                    listName: "direct"
                    title: "Always Direct"
                    tip: "The domain name and IP entered here will connect directly, without going through the encrypted channel."
                }
                RuleList {
                    model: rules
                    listName: "proxy"
                    title: "Always Proxy"
                    tip: "The domain name and IP entered here will be forced to go through the encrypted channel and will not be connected directly."
                }
                RuleList {
                    model: rules
                    listName: "block"
                    title: "Always Block"
                    tip: "The domain name entered here will be directly blocked from accessing the network."
                }
            }
        }
    }
}
