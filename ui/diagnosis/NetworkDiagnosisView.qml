import QtQuick
import QtQuick.Layouts
import Lumora.Base
import Lumora.Controls
import Lumora.Diagnosis

// The network diagnosis page: the status picture, the run's progress and one button that starts
// the run, shows that it is under way, and sends the finished report.
Rectangle {
    id: page
    objectName: "networkDiagnosisView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    // Made with the page: leaving the page ends its run.
    NetworkDiagnosis { id: diagnosis }

    readonly property bool finished: diagnosis.step === diagnosis.totalStep
    readonly property string buttonKey: diagnosis.step === 0 ? "start check"
                                        : page.finished ? "submit_report" : "Processing"

    PageBand { id: band; anchors.top: parent.top }

    ColumnLayout {
        anchors.top: band.bottom
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width
        spacing: 0

        Item { Layout.fillHeight: true }

        Image {
            objectName: "diagnosisPicture"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.padding
            readonly property string name: page.finished ? "ic_check_finish" : "ic_checking"
            source: Assets.image(name)
            sourceSize.width: 150
            sourceSize.height: 150
        }

        Row {
            objectName: "diagnosisProgress"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.padding
            visible: diagnosis.step >= 1
            spacing: 6
            Text {
                text: qsTrId(page.finished ? "Testing done" : "Testing progress")
                color: Theme.gray
                font.pixelSize: Theme.fontSize
            }
            Text {
                objectName: "diagnosisProgressText"
                text: diagnosis.progressText
                color: Theme.gray
                font.pixelSize: Theme.fontSize
            }
        }

        Rectangle {
            id: button
            objectName: "diagnosisButton"
            readonly property string key: page.buttonKey
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.padding
            implicitWidth: 300
            implicitHeight: buttonText.implicitHeight + 2 * Theme.padding
            radius: 25
            color: Theme.blue
            opacity: diagnosis.submitting ? 0.6 : 1
            Text {
                id: buttonText
                anchors.centerIn: parent
                width: parent.width - 2 * Theme.padding
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
                text: qsTrId(button.key)
                color: "white"
                font.pixelSize: Theme.titleFontSize
            }
            MouseArea { anchors.fill: parent; onClicked: diagnosis.action() }
        }

        Item { Layout.fillHeight: true }
    }
}
