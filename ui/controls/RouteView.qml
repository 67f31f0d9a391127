import QtQuick
import Lumora.Base
import Lumora.Controls

// The navigation host: the root page, the pages pushed over it (only the top one shifted by the
// router's offset) and, while any page is pushed, a back control that travels with the top page.
// Only the top page takes input: a shield right under it takes every press, wheel and hover that
// the top page leaves (its blank areas, and the strip the slide uncovers), so nothing reaches the
// pages beneath. A press that a pointer handler only watches (a TapHandler's passive grab) goes
// on to the handlers of the pages beneath, shield or not, and theirs fire too: so the pages'
// buttons are mouse areas, which take their press whole, never tap handlers.
// The keyboard belongs to the top page too. Each page's loader is a focus scope of its own that
// keeps the field it last had: a page pushed over another takes the keyboard (the covered page's
// field keeps its text and its place), and when the page in front goes, the page in front again
// has the keyboard back in the same field.
FocusScope {
    id: host
    required property Router router
    // Gives the page component for a route value; the shell's route table provides it.
    property var pageFor: function(route) { return null }

    width: Theme.pageWidth
    height: Theme.pageHeight
    clip: true

    // The page in front: the top pushed page, or the root page while none is pushed.
    function frontPage() {
        return pages.count > 0 ? pages.itemAt(pages.count - 1) : rootPage
    }
    // Gives the page in front the keyboard within this view. Only this view's own choice is made
    // here: the active focus follows when the view has it (the window in front, no overlay over the
    // pages), and otherwise comes here when it comes back.
    function keepKeysOnFrontPage() {
        const page = frontPage()
        if (page && !page.focus)
            page.focus = true
    }
    Component.onCompleted: keepKeysOnFrontPage()

    Loader {
        id: rootPage
        readonly property var route: host.router.root
        objectName: "rootPage"
        width: host.width
        height: host.height
        sourceComponent: host.pageFor(host.router.root)
    }

    Repeater {
        id: pages
        model: host.router.stack
        onItemAdded: host.keepKeysOnFrontPage()
        onCountChanged: host.keepKeysOnFrontPage()
        delegate: Loader {
            required property var route
            required property int index
            required property string routeName
            objectName: "page_" + routeName
            width: host.width
            height: host.height
            z: index + 1
            x: index === host.router.stack.count - 1 ? host.router.offsetX : 0
            sourceComponent: host.pageFor(route)
        }
    }

    MouseArea {
        objectName: "inputShield"
        visible: host.router.stack.count > 0
        anchors.fill: parent
        z: host.router.stack.count - 0.5
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        preventStealing: true
        onWheel: (wheel) => wheel.accepted = true
    }

    Item {
        id: titleBar
        objectName: "titleBar"
        visible: host.router.depth > 0
        z: 10000
        width: host.width
        height: backControl.height

        Item {
            id: backControl
            objectName: "backControl"
            x: host.router.offsetX
            width: backRow.implicitWidth + Theme.padding
            height: backRow.implicitHeight
            Row {
                id: backRow
                spacing: 4
                Item {
                    width: 16 + 2 * Theme.padding
                    height: 16 + 2 * Theme.padding
                    SymbolImage {
                        anchors.centerIn: parent
                        width: 16
                        height: 16
                        source: Assets.symbol("chevron.backward")
                        color: "white"
                    }
                }
                Text {
                    objectName: "backTitle"
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTrId(host.router.topTitle)
                    color: "white"
                    font.pixelSize: Theme.fontSize
                }
            }
            MouseArea {
                anchors.fill: parent
                onClicked: host.router.goBack()
            }
        }
    }
}
