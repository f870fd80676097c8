import QtQuick
import QtQuick.Controls.Basic

// A control-bar button: the symbol in a frame (size + 13) wide and 32 tall that takes
// clicks throughout, with its tooltip; the stage gets the keys back afterwards.
Item {
    id: button
    property string symbol
    property real size: 13.5
    property string help
    property bool enabledState: true
    signal activated()

    implicitWidth: size + 13
    implicitHeight: 32
    opacity: enabled ? 1 : 0.4

    SymbolImage {
        anchors.centerIn: parent
        symbol: button.symbol
        size: button.size
        tint: area.pressed ? "#c8c8c8" : "white"
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.activated()
    }
    ToolTip.visible: help.length > 0 && area.containsMouse
    ToolTip.delay: 700
    ToolTip.text: help
}
