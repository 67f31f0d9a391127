import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The feedback page: free text and "submit".
Rectangle {
    id: page
    objectName: "feedbackView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    FeedbackModel { id: vm }

    PageBand { anchors.top: parent.top }

    Column {
        x: 50
        width: page.width - 100
        anchors.verticalCenter: parent.verticalCenter
        spacing: 20

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: Assets.image("ic_feedback")
            sourceSize.width: 120
            sourceSize.height: 120
        }
        Rectangle {
            width: parent.width
            height: 150
            radius: 10
            color: "white"
            border.color: Theme.gray
            border.width: 1
            clip: true
            ScrollView {
                anchors.fill: parent
                anchors.margins: 4
                TextArea {
                    objectName: "feedbackEditor"
                    wrapMode: TextEdit.Wrap
                    color: "black"
                    background: null
                    onTextChanged: vm.feedback = text
                }
            }
        }
        Rectangle {
            objectName: "feedbackSubmit"
            width: parent.width
            height: submitText.implicitHeight + 20
            radius: 5
            color: Theme.blue
            Text { id: submitText; anchors.centerIn: parent; text: qsTrId("submit"); color: "white"; font.pixelSize: Theme.fontSize }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.submit() }
        }
    }
}
