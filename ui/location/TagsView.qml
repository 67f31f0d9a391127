import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Location

// The tag picker: "No select tag" and the account's tags; a choice becomes the pending tag and
// the location picker opens. The tiles mark the tag in effect.
Rectangle {
    id: page
    objectName: "tagsView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    TagListModel { id: tags }

    Column {
        anchors.fill: parent
        spacing: 0

        CancelBand { onCancelled: LocationScreen.cancel() }

        Flickable {
            width: page.width
            height: page.height - y
            contentHeight: content.height
            clip: true
            boundsBehavior: Flickable.StopAtBounds

            Column {
                id: content
                width: page.width
                Rectangle {
                    width: parent.width
                    height: noTag.height + 2 * Theme.padding
                    color: "white"
                    Rectangle {
                        id: noTag
                        objectName: "noTagCell"
                        property bool hovering: false
                        x: Theme.padding
                        y: Theme.padding
                        width: noTagColumn.width + 2 * Theme.padding
                        height: noTagColumn.height + 2 * Theme.padding
                        radius: 10
                        color: hovering ? Theme.blue : "transparent"
                        Column {
                            id: noTagColumn
                            anchors.centerIn: parent
                            spacing: 4
                            Image {
                                anchors.horizontalCenter: parent.horizontalCenter
                                height: 30
                                width: 30
                                fillMode: Image.PreserveAspectFit
                                source: Assets.image("ic_not_selected")
                            }
                            Text {
                                anchors.horizontalCenter: parent.horizontalCenter
                                text: qsTrId("No select tag")
                                color: Theme.text
                                font.pixelSize: 12
                            }
                        }
                        MouseArea {
                            anchors.fill: parent
                            hoverEnabled: true
                            onEntered: noTag.hovering = true
                            onExited: noTag.hovering = false
                            onClicked: LocationScreen.clearTag()
                        }
                    }
                }
                Rectangle {
                    width: parent.width
                    height: grid.height + 2 * Theme.padding
                    color: "white"
                    Grid {
                        id: grid
                        objectName: "tagGrid"
                        x: Theme.padding
                        y: Theme.padding
                        width: parent.width - 2 * Theme.padding
                        columns: 3
                        spacing: 8
                        Repeater {
                            model: tags
                            delegate: TagItemView {
                                required property int index
                                required property var model
                                objectName: "tagTile_" + model.tagId
                                width: (grid.width - 2 * grid.spacing) / 3
                                name: model.name
                                icon: model.icon
                                current: model.current
                                onChosen: tags.choose(index)
                            }
                        }
                    }
                }
            }
        }
    }
}
