import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import ZentrovaMedia.Player

// The floating control bar. Drag it anywhere; double-click the grip to put it back.
HomeGlass {
    id: barCard
    required property QtObject model
    required property QtObject controller
    required property QtObject bar  // a ControlBarPlacement
    // Scroll events over the bar go to the stage (seeking, or a picture's own handling).
    signal wheelOverBar(var wheel)

    readonly property bool media: model.kindName !== "image"
    readonly property bool picture: model.kindName === "image"
    readonly property real maxVolume: model.effectsAvailable ? PlayerViewText.maxBoost : 1

    radius: 16
    implicitHeight: 40
    opacity: model.controlsVisible ? 1 : 0
    enabled: model.controlsVisible
    transform: Translate { y: barCard.model.controlsVisible ? 0 : 10 }
    Behavior on opacity { NumberAnimation { duration: 180; easing.type: Easing.OutQuad } }

    function act(f) { f(); barCard.controller.refocus() }

    // Drags anywhere on the bar move it (after 4 points), in screen coordinates.
    MouseArea {
        id: dragArea
        anchors.fill: parent
        property point start
        property bool moving: false
        onPressed: (mouse) => { start = mapToGlobal(mouse.x, mouse.y); moving = false }
        onPositionChanged: (mouse) => {
            const p = mapToGlobal(mouse.x, mouse.y)
            const dx = p.x - start.x, dy = p.y - start.y
            if (!moving && Math.sqrt(dx * dx + dy * dy) >= 4)
                moving = true
            if (moving)
                barCard.bar.dragBy(dx, dy)
        }
        onReleased: { if (moving) { barCard.bar.endDrag(); barCard.controller.refocus() } moving = false }
        onWheel: (wheel) => barCard.wheelOverBar(wheel)
    }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 5
        anchors.rightMargin: 10
        anchors.topMargin: 4
        anchors.bottomMargin: 4
        spacing: 6

        Item {
            objectName: "grip"
            implicitWidth: 14
            implicitHeight: 32
            Rectangle {
                anchors.centerIn: parent
                width: 3; height: 16; radius: 1.5
                color: Qt.rgba(1, 1, 1, 0.55 * 0.6)
            }
            MouseArea {
                id: gripArea
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.OpenHandCursor
                property point start
                property bool moving: false
                onPressed: (mouse) => { start = mapToGlobal(mouse.x, mouse.y); moving = false }
                onPositionChanged: (mouse) => {
                    const p = mapToGlobal(mouse.x, mouse.y)
                    const dx = p.x - start.x, dy = p.y - start.y
                    if (!moving && Math.sqrt(dx * dx + dy * dy) >= 4)
                        moving = true
                    if (moving)
                        barCard.bar.dragBy(dx, dy)
                }
                onReleased: { if (moving) { barCard.bar.endDrag(); barCard.controller.refocus() } moving = false }
                onDoubleClicked: { barCard.bar.reset(); barCard.controller.refocus() }
            }
            ToolTip.visible: gripArea.containsMouse && !gripArea.pressed
            ToolTip.delay: 700
            ToolTip.text: "Drag to move the controls · double-click to put them back"
        }

        BarButton {
            objectName: "back"
            visible: barCard.media
            symbol: PlayerViewText.skipSymbol(false)
            help: PlayerViewText.skipTooltip(false)
            onActivated: barCard.act(() => barCard.controller.seekBy(-PlayerViewText.longSkip()))
        }
        BarButton {
            objectName: "playPause"
            visible: barCard.media
            symbol: PlayerViewText.playSymbol(barCard.model.playing)
            size: 17
            help: "Play / pause (Space, K)"
            onActivated: barCard.act(() => barCard.controller.togglePlay())
        }
        BarButton {
            objectName: "forward"
            visible: barCard.media
            symbol: PlayerViewText.skipSymbol(true)
            help: PlayerViewText.skipTooltip(true)
            onActivated: barCard.act(() => barCard.controller.seekBy(PlayerViewText.longSkip()))
        }
        Text {
            objectName: "elapsed"
            visible: barCard.media
            text: PlayerViewText.clock(barCard.model.current)
            color: Qt.rgba(1, 1, 1, 0.6)
            font.pixelSize: 12
            font.weight: Font.Medium
        }
        SlimSlider {
            id: position
            objectName: "position"
            visible: barCard.media
            Layout.fillWidth: true
            Layout.minimumWidth: 70
            from: 0
            to: Math.max(barCard.model.duration, 1)
            value: barCard.model.current
            onMoved: barCard.controller.scrub(value)
            onPressedChanged: {
                if (pressed) {
                    barCard.controller.beginScrub()
                } else {
                    barCard.controller.endScrub()
                    barCard.controller.refocus()
                }
            }
        }
        Text {
            objectName: "remaining"
            visible: barCard.media
            text: PlayerViewText.remaining(barCard.model.current, barCard.model.duration)
            color: Qt.rgba(1, 1, 1, 0.6)
            font.pixelSize: 12
            font.weight: Font.Medium
        }
        Item {
            objectName: "speed"
            visible: barCard.media
            implicitWidth: speedLabel.implicitWidth + 6
            implicitHeight: 32
            Text {
                id: speedLabel
                objectName: "speedLabel"
                anchors.centerIn: parent
                text: PlayerViewText.rateLabel(barCard.model.rate)
                color: "white"
                font.pixelSize: 12
                font.weight: Font.DemiBold
            }
            MouseArea {
                id: speedArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: speedMenu.popup(parent, 0, -speedMenu.implicitHeight)
            }
            ToolTip.visible: speedArea.containsMouse && !speedMenu.visible
            ToolTip.delay: 700
            ToolTip.text: "Speed (< >)"
            Menu {
                id: speedMenu
                objectName: "speedMenu"
                Repeater {
                    model: PlayerViewText.rates
                    MenuItem {
                        required property var modelData
                        text: PlayerViewText.rateMenuItem(modelData)
                        onTriggered: barCard.act(() => barCard.controller.setRate(modelData))
                    }
                }
            }
        }
        BarButton {
            objectName: "mute"
            visible: barCard.media
            symbol: PlayerViewText.muteSymbol(barCard.model.muted, barCard.model.volume)
            help: "Mute (M) · volume goes up to 200 %"
            onActivated: barCard.act(() => barCard.controller.toggleMute())
        }
        SlimSlider {
            id: volume
            objectName: "volume"
            visible: barCard.media
            Layout.preferredWidth: 66
            from: 0
            to: barCard.maxVolume
            value: barCard.model.muted ? 0 : barCard.model.volume
            onMoved: barCard.controller.setVolume(value, false)
            onPressedChanged: if (!pressed) barCard.controller.refocus()
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.delay: 700
            ToolTip.text: PlayerViewText.volumeHelp(barCard.model.volume)
        }
        BarButton {
            objectName: "slideshow"
            visible: barCard.picture
            symbol: PlayerViewText.playSymbol(barCard.model.slideshow)
            size: 16
            help: "Slideshow (Space)"
            onActivated: barCard.act(() => barCard.controller.togglePlay())
        }
        Item {
            visible: barCard.picture
            Layout.fillWidth: true
            Layout.minimumWidth: 4
        }
        Item {
            objectName: "zoomLevel"
            visible: barCard.model.zoom > 1.01
            implicitWidth: zoomText.implicitWidth + 8
            implicitHeight: 32
            Text {
                id: zoomText
                anchors.centerIn: parent
                text: PlayerViewText.zoomLabel(barCard.model.zoom)
                color: "white"
                font.pixelSize: 11
                font.weight: Font.DemiBold
            }
            MouseArea {
                id: zoomArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: barCard.act(() => barCard.controller.resetZoom())
            }
            ToolTip.visible: zoomArea.containsMouse
            ToolTip.delay: 700
            ToolTip.text: "Reset zoom (0)"
        }
        BarButton {
            objectName: "rotate"
            visible: barCard.picture
            symbol: "rotate.right"
            help: "Rotate (R, ⇧R)"
            onActivated: barCard.act(() => barCard.controller.setRotation(barCard.model.rotation + 90))
        }
        BarButton {
            id: adjustButton
            objectName: "adjust"
            visible: barCard.media
            symbol: "slider.horizontal.3"
            help: "Speed, volume boost, equalizer, rotate"
            onActivated: barCard.model.showAdjust = !barCard.model.showAdjust

            Popup {
                id: adjustPopup
                objectName: "adjustPopup"
                y: -height - 8
                x: Math.min(0, (adjustButton.width - width) / 2)
                padding: 0
                visible: barCard.model.showAdjust
                closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
                background: HomeGlass { radius: 14 }
                onClosed: {
                    barCard.model.showAdjust = false
                    barCard.controller.showControls()
                }
                contentItem: MediaAdjustPanel {
                    model: barCard.model
                    controller: barCard.controller
                }
            }
        }
        BarButton {
            objectName: "fullScreen"
            symbol: PlayerViewText.fullScreenSymbol(barCard.model.fullScreen)
            help: "Full screen (F, double-click)"
            onActivated: barCard.act(() => barCard.controller.toggleFullScreen())
        }
    }
}
