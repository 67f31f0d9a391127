import QtQuick
import Lumora.Controls

// The "about" page; its content comes with the information pages.
PlaceholderPage {
    objectName: "aboutView"
    title: qsTrId("about")
}
