import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The notice page: "Read All", then the notices or the empty text.
Rectangle {
    id: page
    objectName: "notifyListView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    NotifyListModel { id: listModel }
    Component.onCompleted: listModel.load()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: readAll.implicitHeight + 2 * Theme.padding
            color: Theme.blue
            Text {
                id: readAll
                objectName: "readAll"
                anchors.right: parent.right
                anchors.rightMargin: Theme.padding
                anchors.verticalCenter: parent.verticalCenter
                text: qsTrId("Read All")
                color: "white"
                font.pixelSize: Theme.fontSize
                MouseArea { anchors.fill: parent; onClicked: listModel.readAll() }
            }
        }
        Item {
            visible: listModel.notices.length === 0
            Layout.fillWidth: true
            Layout.fillHeight: true
            Text {
                objectName: "emptyNotify"
                anchors.centerIn: parent
                text: qsTrId("empty notify")
                color: Theme.gray
                font.pixelSize: Theme.fontSize
            }
        }
        ScrollView {
            visible: listModel.notices.length > 0
            Layout.fillWidth: true
            Layout.fillHeight: true
            ScrollBar.vertical.policy: ScrollBar.AsNeeded
            Column {
                width: page.width
                topPadding: 10
                spacing: 10
                Repeater {
                    model: listModel.notices
                    delegate: NotifyItemView {
                        required property var modelData
                        x: 10
                        width: page.width - 20
                        notice: modelData
                        read: AppStateManager.noticesReadIds.indexOf(modelData.id) >= 0
                        onTapped: listModel.open(modelData.id)
                    }
                }
            }
        }
    }
}
