import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Location

// The location picker: the pending tag (opens the tag picker), the region tabs, the automatic
// entry and the countries that carry the pending tag in the chosen region.
Rectangle {
    id: page
    objectName: "countriesView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    CountryListModel { id: countries }

    Column {
        anchors.fill: parent
        spacing: 0

        CancelBand { onCancelled: LocationScreen.cancel() }

        Rectangle {
            width: page.width
            height: header.height + 2 * Theme.padding
            color: "white"
            Row {
                id: header
                objectName: "filterHeader"
                x: Theme.padding
                anchors.verticalCenter: parent.verticalCenter
                height: Math.max(LocationScreen.hasPendingTag ? 50 : 0, filterText.implicitHeight, 22)
                spacing: 6
                Image {
                    visible: LocationScreen.hasPendingTag && LocationScreen.pendingTagIcon !== ""
                    anchors.verticalCenter: parent.verticalCenter
                    height: 50
                    width: visible ? 50 : 0
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true
                    source: LocationScreen.pendingTagIcon
                }
                Text {
                    id: filterText
                    objectName: "filterText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: LocationScreen.hasPendingTag ? LocationScreen.pendingTagName : qsTrId("Filters")
                    color: Theme.text
                    font.pixelSize: Theme.fontSize
                }
                SymbolImage {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 18
                    height: 18
                    source: Assets.symbol("chevron.forward.circle.fill")
                    color: Theme.blue
                }
            }
            MouseArea { anchors.fill: header; onClicked: LocationScreen.openTags() }
        }

        Flickable {
            objectName: "countriesList"
            width: page.width
            height: page.height - y
            contentHeight: panel.height
            clip: true
            boundsBehavior: Flickable.StopAtBounds

            Rectangle {
                id: panel
                width: page.width
                height: panelColumn.height + 2 * Theme.padding
                color: "white"
                Column {
                    id: panelColumn
                    x: Theme.padding
                    y: Theme.padding
                    width: parent.width - 2 * Theme.padding
                    spacing: 0

                    Grid {
                        id: tabs
                        objectName: "areaTabs"
                        columns: 4
                        spacing: 8
                        width: parent.width
                        bottomPadding: 8
                        Repeater {
                            model: LocationScreen.areas
                            delegate: Rectangle {
                                required property string modelData
                                readonly property bool chosen: AppStateManager.selectedArea === modelData
                                objectName: "areaTab_" + modelData
                                width: (tabs.width - 3 * tabs.spacing) / 4
                                height: tabText.implicitHeight + 10
                                radius: 5
                                color: "transparent"
                                border.width: 0.6
                                border.color: chosen ? Theme.blue : Theme.text
                                Text {
                                    id: tabText
                                    anchors.centerIn: parent
                                    width: parent.width - 4
                                    horizontalAlignment: Text.AlignHCenter
                                    elide: Text.ElideRight
                                    text: qsTrId(modelData)
                                    color: parent.chosen ? Theme.blue : Theme.text
                                    font.pixelSize: Theme.smallFontSize
                                }
                                MouseArea { anchors.fill: parent; onClicked: LocationScreen.chooseArea(modelData) }
                            }
                        }
                    }

                    CountryItemView {
                        objectName: "countryRow_auto"
                        width: panelColumn.width
                        current: LocationScreen.autoChosen
                        onChosen: LocationScreen.chooseCountry("")
                    }
                    Rectangle { width: panelColumn.width; height: 1; color: "#e6e6e6" }

                    Repeater {
                        model: countries
                        delegate: Column {
                            id: entry
                            required property var model
                            width: panelColumn.width
                            CountryItemView {
                                objectName: "countryRow_" + entry.model.code
                                width: entry.width
                                code: entry.model.code
                                name: entry.model.name
                                flag: entry.model.flag
                                current: entry.model.current
                                onChosen: LocationScreen.chooseCountry(code)
                                onNodesRequested: LocationScreen.openNodes(code, name)
                            }
                            Rectangle { width: parent.width; height: 1; color: "#e6e6e6" }
                        }
                    }
                }
            }
        }
    }
}
