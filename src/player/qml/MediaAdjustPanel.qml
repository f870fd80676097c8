import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import ZentrovaMedia.Player

// Speed, volume boost, equalizer and rotation, in four sections.
Pane {
    id: panel
    required property QtObject model
    required property QtObject controller

    readonly property real maxVolume: model.effectsAvailable ? PlayerViewText.maxBoost : 1

    width: 320
    padding: 16
    background: null
    palette.windowText: "white"
    palette.text: "white"
    palette.buttonText: "white"
    palette.button: Qt.rgba(1, 1, 1, 0.1)
    palette.highlight: "#0a84ff"

    component Header: RowLayout {
        property string title
        property string value
        Layout.fillWidth: true
        Text { text: parent.title; color: "white"; font.pixelSize: 12; font.weight: Font.DemiBold }
        Item { Layout.fillWidth: true }
        Text { text: parent.value; color: Qt.rgba(1, 1, 1, 0.6); font.pixelSize: 12 }
    }
    component Chip: Button {
        property bool current: false
        flat: true
        padding: 4
        leftPadding: 8
        rightPadding: 8
        font.pixelSize: 11
        background: Rectangle {
            radius: 8
            color: parent.current ? "#0a84ff" : Qt.rgba(1, 1, 1, parent.hovered ? 0.16 : 0.1)
            opacity: parent.enabled ? 1 : 0.4
        }
        contentItem: Text {
            text: parent.text
            color: "white"
            font: parent.font
            opacity: parent.enabled ? 1 : 0.5
            horizontalAlignment: Text.AlignHCenter
        }
    }
    component Divider: Rectangle { Layout.fillWidth: true; height: 1; color: Qt.rgba(1, 1, 1, 0.12) }

    ColumnLayout {
        width: parent.width
        spacing: 10

        // Speed
        Header { objectName: "speedHeader"; title: "Speed"; value: PlayerViewText.rateLabel(panel.model.rate) }
        SlimSlider {
            objectName: "speedSlider"
            Layout.fillWidth: true
            from: 0.1; to: 4
            value: panel.model.rate
            onMoved: panel.controller.setRate(value)
        }
        RowLayout {
            spacing: 6
            Repeater {
                model: [0.25, 0.5, 1, 1.5, 2]
                Chip {
                    required property var modelData
                    text: PlayerViewText.rateChip(modelData)
                    current: Math.abs(panel.model.rate - modelData) < 0.001
                    onClicked: panel.controller.setRate(modelData)
                }
            }
        }
        SlimSwitch {
            id: pitch
            objectName: "keepPitch"
            text: "Keep voice pitch"
            checked: panel.model.keepPitch
            onToggled: panel.controller.setKeepPitch(checked)
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.delay: 700
            ToolTip.text: "Off: slow motion sounds deeper and fast sounds higher, like a tape."
        }
        Divider {}

        // Volume
        Header { objectName: "volumeHeader"; title: "Volume"; value: PlayerViewText.volumeValue(panel.model.volume) }
        SlimSlider {
            objectName: "volumeSlider"
            Layout.fillWidth: true
            from: 0; to: panel.maxVolume
            value: panel.model.volume
            onMoved: panel.controller.setVolume(value, false)
        }
        RowLayout {
            spacing: 6
            Repeater {
                model: [0.5, 1, 1.5, 2]
                Chip {
                    required property var modelData
                    objectName: "volumeChip" + Math.round(modelData * 100)
                    text: Math.round(modelData * 100) + " %"
                    current: Math.abs(panel.model.volume - modelData) < 0.001
                    enabled: modelData <= 1 || panel.model.effectsAvailable
                    onClicked: panel.controller.setVolume(modelData, false)
                }
            }
        }
        Text {
            objectName: "boostNote"
            visible: !panel.model.effectsAvailable
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: "Boost and the equalizer aren't available while a converted or server stream plays."
            color: Qt.rgba(1, 1, 1, 0.6)
            font.pixelSize: 11
        }
        Divider {}

        // Equalizer
        RowLayout {
            Layout.fillWidth: true
            SlimSwitch {
                objectName: "eqSwitch"
                text: "Equalizer"
                font.pixelSize: 12
                font.weight: Font.DemiBold
                checked: panel.model.eqOn
                onToggled: panel.controller.setEQ(checked)
            }
            Item { Layout.fillWidth: true }
            Button {
                id: presetButton
                objectName: "eqPreset"
                flat: true
                text: panel.model.eqPreset
                font.pixelSize: 12
                onClicked: presetMenu.popup(presetButton, 0, presetButton.height)
                contentItem: Text { text: presetButton.text; color: "white"; font: presetButton.font }
                background: null
                Menu {
                    id: presetMenu
                    Repeater {
                        model: PlayerViewText.presetNames
                        MenuItem {
                            required property string modelData
                            text: modelData
                            onTriggered: panel.controller.applyPreset(modelData)
                        }
                    }
                }
            }
        }
        RowLayout {
            objectName: "bands"
            Layout.alignment: Qt.AlignHCenter
            spacing: 7
            Repeater {
                model: 10
                ColumnLayout {
                    required property int index
                    spacing: 4
                    EQBandSlider {
                        Layout.alignment: Qt.AlignHCenter
                        value: panel.model.eqBands.length > index ? panel.model.eqBands[index] : 0
                        dimmed: !panel.model.eqOn
                        onValueSet: (v) => panel.controller.setEQBand(index, v)
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: PlayerViewText.bandLabels[index]
                        color: Qt.rgba(1, 1, 1, 0.6)
                        font.pixelSize: 9
                    }
                }
            }
            HoverHandler { id: bandsHover }
            ToolTip.visible: bandsHover.hovered
            ToolTip.delay: 900
            ToolTip.text: "Drag a band up or down (±12 dB) · double-click puts it back to 0"
        }
        Divider {}

        // Rotate
        Header { objectName: "rotateHeader"; title: "Rotate"; value: panel.model.rotation + "°" }
        RowLayout {
            spacing: 6
            Chip { text: "↺ Left"; onClicked: panel.controller.setRotation(panel.model.rotation - 90) }
            Chip { text: "↻ Right"; onClicked: panel.controller.setRotation(panel.model.rotation + 90) }
            Chip { text: "Reset"; onClicked: panel.controller.setRotation(0) }
        }
    }
}
