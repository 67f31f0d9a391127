import QtQuick
import QtQuick.Layouts
import Lumora.Base
import Lumora.Controls

// One notice: read mark, title, time, and an arrow when it can be opened.
Rectangle {
    id: row

    required property var notice
    required property bool read
    signal tapped()

    objectName: "notice_" + notice.id
    implicitHeight: content.implicitHeight + 2 * Theme.padding
    radius: 10
    color: "white"

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: Theme.padding
        spacing: 8

        Image {
            objectName: "readMark"
            source: Assets.image(row.read ? "ic_notice_readed" : "ic_notice_unread")
            Layout.preferredWidth: 50
            Layout.preferredHeight: 50
            fillMode: Image.PreserveAspectFit
            sourceSize.width: 100
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            Text {
                text: row.notice.title
                font.pixelSize: Theme.titleFontSize
                color: "black"
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            RowLayout {
                spacing: 4
                Image {
                    source: Assets.image("ic_notice_time")
                    Layout.preferredWidth: 12
                    Layout.preferredHeight: 12
                    fillMode: Image.PreserveAspectFit
                }
                Text { text: row.notice.noticeAt; color: Theme.gray; font.pixelSize: Theme.smallFontSize + 1 }
            }
        }
        Image {
            visible: row.notice.type !== 0
            source: Assets.symbol("chevron.forward")
            Layout.preferredWidth: 10
            Layout.preferredHeight: 14
            fillMode: Image.PreserveAspectFit
        }
    }
    MouseArea { anchors.fill: parent; onClicked: row.tapped() }
}
