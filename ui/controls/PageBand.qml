import QtQuick

// The blue band across the top of a page.
Rectangle {
    width: Theme.pageWidth
    height: Theme.bandHeight
    color: Theme.blue
}
