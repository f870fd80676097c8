import QtQuick
import QtQuick.Window
import QtQuick.Controls.Basic
import ZentrovaMedia.Player

// A player window: the stage, the overlay, the side arrows and the floating bar,
// back to front, and the context menu.
Window {
    id: win
    required property QtObject controller
    required property QtObject model
    required property MediaStageView stage
    required property ControlBarPlacement bar
    required property QtObject host

    color: "black"
    minimumWidth: 420
    minimumHeight: 260

    palette.window: "#1e1e1e"
    palette.windowText: "white"
    palette.base: "#2a2a2a"
    palette.text: "white"
    palette.button: "#2f2f2f"
    palette.buttonText: "white"
    palette.highlight: "#0a84ff"
    palette.highlightedText: "white"
    palette.toolTipBase: "#2a2a2a"
    palette.toolTipText: "white"

    MediaStage {
        id: stageItem
        objectName: "stage"
        anchors.fill: parent
        view: win.stage
        controller: win.controller
        barFrame: Qt.rect(barItem.x, barItem.y, barItem.width, barItem.height)
        onContextMenuRequested: (x, y) => contextMenu.popup(stageItem, x, y)
    }

    MediaOverlay {
        anchors.fill: parent
        model: win.model
    }

    MediaSideArrow {
        objectName: "backArrow"
        model: win.model
        controller: win.controller
        forward: false
        anchors.left: parent.left
        anchors.leftMargin: 14
        anchors.verticalCenter: parent.verticalCenter
    }
    MediaSideArrow {
        objectName: "forwardArrow"
        model: win.model
        controller: win.controller
        forward: true
        anchors.right: parent.right
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
    }

    MediaBar {
        id: barItem
        objectName: "bar"
        model: win.model
        controller: win.controller
        bar: win.bar
        width: Math.max(Math.min(win.width - 36, 640), 0)
        height: implicitHeight
        x: (win.width - width) / 2 + win.bar.x
        y: win.height - height + win.bar.bottom
        onWheelOverBar: (wheel) => stageItem.wheelEvent(wheel, true)
    }

    // The stored place, kept inside after every resize and on leaving full screen.
    function placeBar() { bar.place(Qt.size(width, height), Qt.size(barItem.width, barItem.height), model.fullScreen) }
    onWidthChanged: placeBar()
    onHeightChanged: placeBar()
    Connections {
        target: win.model
        function onFullScreenChanged() { win.placeBar() }
    }
    Component.onCompleted: placeBar()

    Shortcut {
        sequence: "Ctrl+O"
        context: Qt.ApplicationShortcut
        onActivated: win.host.openMedia()
    }

    Menu {
        id: contextMenu
        objectName: "contextMenu"
        readonly property bool picture: win.model.kindName === "image"
        MenuItem {
            text: contextMenu.picture ? (win.model.slideshow ? "Stop Slideshow" : "Start Slideshow")
                                      : (win.model.playing ? "Pause" : "Play")
            onTriggered: win.controller.togglePlay()
        }
        MenuItem { text: "Next File"; onTriggered: win.controller.step(1) }
        MenuItem { text: "Previous File"; onTriggered: win.controller.step(-1) }
        MenuSeparator {}
        MenuItem {
            text: "Actual Fit (Reset Zoom)"
            visible: win.model.zoom > 1
            height: visible ? implicitHeight : 0
            onTriggered: win.controller.resetZoom()
        }
        MenuItem { text: "Rotate Right (R)"; onTriggered: win.controller.setRotation(win.model.rotation + 90) }
        MenuItem { text: "Rotate Left (⇧R)"; onTriggered: win.controller.setRotation(win.model.rotation - 90) }
        MenuItem {
            text: "Original Orientation"
            visible: win.model.rotation !== 0
            height: visible ? implicitHeight : 0
            onTriggered: win.controller.setRotation(0)
        }
        MenuItem {
            text: "Speed, Volume & Equalizer…"
            visible: !contextMenu.picture
            height: visible ? implicitHeight : 0
            onTriggered: { win.model.showAdjust = true; win.controller.showControls() }
        }
        MenuItem {
            text: win.model.fullScreen ? "Exit Full Screen" : "Enter Full Screen"
            onTriggered: win.controller.toggleFullScreen()
        }
        MenuSeparator { visible: win.model.entryLocal; height: visible ? implicitHeight : 0 }
        MenuItem {
            text: "Show in Files"
            visible: win.model.entryLocal
            height: visible ? implicitHeight : 0
            onTriggered: win.controller.revealInFinder()
        }
        MenuItem {
            text: "Move to Trash"
            visible: win.model.entryLocal
            height: visible ? implicitHeight : 0
            onTriggered: win.controller.trashCurrent()
        }
    }
}
