import QtQuick
import QtQuick.Controls.Basic

// A side arrow: steps to the next or previous file. Dimmed at the end of the list,
// absent for a single file or while the controls are hidden.
HomeGlass {
    id: arrow
    required property QtObject model
    required property QtObject controller
    property bool forward: true

    readonly property bool several: model.count >= 2
    readonly property bool hasNeighbour: forward ? model.index < model.count - 1 : model.index > 0

    radius: 14
    width: 40
    height: 56
    opacity: !model.controlsVisible || !several ? 0 : (hasNeighbour ? 1 : 0.25)
    enabled: model.controlsVisible && several && hasNeighbour
    visible: opacity > 0
    Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutQuad } }

    SymbolImage {
        anchors.centerIn: parent
        symbol: arrow.forward ? "chevron.right" : "chevron.left"
        size: 20
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: {
            arrow.controller.step(arrow.forward ? 1 : -1)
            arrow.controller.refocus()
        }
    }
    ToolTip.visible: area.containsMouse
    ToolTip.delay: 700
    ToolTip.text: forward ? "Next file" : "Previous file"
}
