import QtQuick

// A spinning progress indicator drawn light, for dark backgrounds.
Item {
    id: spinner
    property bool running: true
    property color color: "white"
    implicitWidth: 36
    implicitHeight: 36

    Item {
        id: wheel
        anchors.fill: parent
        Repeater {
            model: 8
            Rectangle {
                required property int index
                width: 4
                height: 9
                radius: 2
                color: spinner.color
                opacity: 0.25 + 0.75 * index / 7
                x: (spinner.width - width) / 2
                y: 0
                transform: Rotation {
                    origin.x: 2
                    origin.y: spinner.height / 2
                    angle: index * 45
                }
            }
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: spinner.running && spinner.visible
        }
    }
}
