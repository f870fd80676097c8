import QtQuick

// The glassy rounded card behind the player's bar, arrows, toast and cards (and
// later the library's panels and the converter's cards): translucent dark, with a
// one-pixel inner border of white at 12 %.
Rectangle {
    id: glass
    radius: 18
    color: Qt.rgba(0.11, 0.11, 0.12, 0.78)
    antialiasing: true

    Rectangle {
        anchors.fill: parent
        radius: parent.radius
        color: "transparent"
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.12)
        antialiasing: true
    }
}
