pragma Singleton
import QtQuick

// The look every page shares: the window size, the page background, the blue of bands, switches
// and highlights, the blue band at the top of most pages, and the spacing the pages use.
QtObject {
    readonly property int pageWidth: 400
    readonly property int pageHeight: 660
    readonly property color background: Qt.rgba(240 / 255, 246 / 255, 252 / 255, 1)
    readonly property color blue: Qt.rgba(33 / 255, 150 / 255, 243 / 255, 1)
    readonly property color gray: Qt.rgba(142 / 255, 142 / 255, 147 / 255, 1)
    readonly property color text: "black"
    // The toolkit's default padding, used wherever a page asks for "the default padding".
    readonly property int padding: 12
    // The blue band across the top of a page: 10 points high plus the default padding around it.
    readonly property int bandContentHeight: 10
    readonly property int bandHeight: bandContentHeight + 2 * padding
    readonly property int slideMs: 350
    readonly property int fontSize: 13
    readonly property int titleFontSize: 17
    readonly property int smallFontSize: 10
}
