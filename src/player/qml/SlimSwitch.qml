import QtQuick
import QtQuick.Controls.Basic

// A switch that reads on dark glass: accent track when on, white knob.
Switch {
    id: control
    spacing: 8
    indicator: Rectangle {
        x: control.leftPadding
        y: (control.height - height) / 2
        width: 30
        height: 18
        radius: 9
        color: control.checked ? "#0a84ff" : Qt.rgba(1, 1, 1, 0.2)
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: 14
            height: 14
            radius: 7
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    contentItem: Text {
        leftPadding: control.indicator.width + control.spacing
        text: control.text
        font: control.font
        color: "white"
        verticalAlignment: Text.AlignVCenter
    }
}
