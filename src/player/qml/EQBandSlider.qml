import QtQuick
import ZentrovaMedia.Player

// One equalizer band: drag up or down (±12 dB), double-click for 0.
Item {
    id: band
    property real value: 0        // dB
    property bool dimmed: false
    property real bandHeight: 96
    signal valueSet(real value)

    width: 20
    height: bandHeight

    readonly property real fraction: Math.max(-1, Math.min(1, value / 12))
    readonly property real travel: height / 2 - 6
    readonly property real knobY: height / 2 - fraction * travel

    Rectangle {  // track
        anchors.horizontalCenter: parent.horizontalCenter
        width: 4; height: parent.height; radius: 2
        color: Qt.rgba(1, 1, 1, 0.12)
    }
    Rectangle {  // centre line
        anchors.centerIn: parent
        width: 10; height: 1
        color: Qt.rgba(1, 1, 1, 0.25)
    }
    Rectangle {  // fill from the centre to the value
        anchors.horizontalCenter: parent.horizontalCenter
        width: 4; radius: 2
        y: Math.min(band.knobY, band.height / 2)
        height: Math.abs(band.knobY - band.height / 2)
        color: "#0a84ff"
        opacity: band.dimmed ? 0.35 : 1
    }
    Rectangle {  // knob
        width: 11; height: 11; radius: 5.5
        x: (band.width - width) / 2
        y: band.knobY - height / 2
        color: "white"
        opacity: band.dimmed ? 0.5 : 1
    }
    MouseArea {
        anchors.fill: parent
        preventStealing: true
        onPressed: (mouse) => band.valueSet(PlayerViewText.bandValue(mouse.y, band.height))
        onPositionChanged: (mouse) => { if (pressed) band.valueSet(PlayerViewText.bandValue(mouse.y, band.height)) }
        onDoubleClicked: band.valueSet(0)
    }
}
