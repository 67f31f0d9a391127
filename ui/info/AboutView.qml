import QtQuick
import QtQuick.Layouts
import Lumora.Base
import Lumora.Controls
import Lumora.Info

// The about page: the about text, the official site (outside store builds), feedback, the
// version line and the two legal pages.
Rectangle {
    id: page
    objectName: "aboutView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    component LinkRow: Item {
        id: linkRow
        property string key
        signal tapped()
        Layout.fillWidth: true
        implicitHeight: rowText.implicitHeight + 17
        Text {
            id: rowText
            anchors.left: parent.left
            anchors.top: parent.top
            text: qsTrId(linkRow.key)
            color: "black"
            font.pixelSize: Theme.fontSize
        }
        Image {
            anchors.right: parent.right
            anchors.verticalCenter: rowText.verticalCenter
            source: Assets.symbol("chevron.forward")
            width: 8
            height: 13
            fillMode: Image.PreserveAspectFit
        }
        Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: "#d8d8dc" }
        MouseArea { anchors.fill: parent; onClicked: linkRow.tapped() }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        PageBand { Layout.fillWidth: true }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.padding
            spacing: 20
            Text {
                text: qsTrId("about content")
                Layout.fillWidth: true
                Layout.preferredHeight: 100
                wrapMode: Text.WordWrap
                lineHeightMode: Text.FixedHeight
                lineHeight: Theme.fontSize + 20
                font.pixelSize: Theme.fontSize
                color: "black"
            }
            LinkRow {
                objectName: "officialRow"
                visible: InfoActions !== null && !InfoActions.isAppStore
                key: "visit official website"
                onTapped: InfoActions.openOfficialWebsite()
            }
            LinkRow {
                objectName: "feedbackRow"
                key: "feedback"
                onTapped: InfoActions.openFeedback()
            }
        }
        Item { Layout.fillHeight: true }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 20
            spacing: 6
            Text {
                objectName: "versionLine"
                Layout.alignment: Qt.AlignHCenter
                text: InfoActions !== null ? InfoActions.versionLine : ""
                color: "black"
                font.pixelSize: Theme.fontSize
            }
            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 16
                Text {
                    objectName: "termsLink"
                    text: qsTrId("Terms of Service")
                    color: Theme.blue
                    font.pixelSize: Theme.fontSize
                    MouseArea { anchors.fill: parent; onClicked: InfoActions.openTermsOfService() }
                }
                Text {
                    objectName: "privacyLink"
                    text: qsTrId("Privacy Policy")
                    color: Theme.blue
                    font.pixelSize: Theme.fontSize
                    MouseArea { anchors.fill: parent; onClicked: InfoActions.openPrivacyPolicy() }
                }
            }
        }
    }
}
