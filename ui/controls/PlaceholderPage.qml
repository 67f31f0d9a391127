import QtQuick

// A page not built yet: the page background, the band and the route's title in the middle.
Rectangle {
    id: page
    property string title: ""
    objectName: "placeholderPage"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    PageBand { anchors.top: parent.top }
    Text {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.padding
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: page.title
        color: Theme.text
        font.pixelSize: Theme.titleFontSize
    }
}
