import QtQuick
import QtQuick.Controls.Basic

// A small slider for dark glass: thin track, accent fill, small white knob.
Slider {
    id: control
    implicitHeight: 20
    padding: 0
    background: Rectangle {
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        width: control.availableWidth
        height: 4
        radius: 2
        color: Qt.rgba(1, 1, 1, 0.2)
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: control.enabled ? "white" : Qt.rgba(1, 1, 1, 0.4)
        }
    }
    handle: Rectangle {
        x: control.leftPadding + control.visualPosition * (control.availableWidth - width)
        y: control.topPadding + (control.availableHeight - height) / 2
        width: 12
        height: 12
        radius: 6
        color: control.pressed ? "#dddddd" : "white"
    }
}
