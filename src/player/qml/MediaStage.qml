import QtQuick
import QtMultimedia
import ZentrovaMedia.Player

// The stage: the video, the picture or the cover, turned, zoomed and panned (rotate,
// then scale, then translate). It takes the keys, the wheel and the mouse.
Item {
    id: stageItem
    required property MediaStageView view
    required property QtObject controller
    // The control bar's frame in this item's coordinates (pointer tracking).
    property rect barFrame
    signal contextMenuRequested(real x, real y)

    clip: true
    focus: true
    onWidthChanged: view.stageSize = Qt.size(width, height)
    onHeightChanged: view.stageSize = Qt.size(width, height)
    Component.onCompleted: {
        view.stageSize = Qt.size(width, height)
        view.setVideoSink(video.videoSink)
    }

    Keys.onPressed: (event) => { event.accepted = stageItem.view.key(event.key, event.modifiers) }

    Item {
        id: content
        objectName: "content"
        width: stageItem.view.contentSize.width
        height: stageItem.view.contentSize.height
        x: (stageItem.width - width) / 2
        y: (stageItem.height - height) / 2

        property real turnedValue: stageItem.view.turned
        property real zoomValue: stageItem.view.zoom
        property real offsetX: stageItem.view.offset.x
        property real offsetY: stageItem.view.offset.y
        Behavior on turnedValue { enabled: stageItem.view.animation > 0; NumberAnimation { duration: stageItem.view.animation; easing.type: Easing.InOutQuad } }
        Behavior on zoomValue { enabled: stageItem.view.animation > 0; NumberAnimation { duration: stageItem.view.animation; easing.type: Easing.InOutQuad } }
        Behavior on offsetX { enabled: stageItem.view.animation > 0; NumberAnimation { duration: stageItem.view.animation; easing.type: Easing.InOutQuad } }
        Behavior on offsetY { enabled: stageItem.view.animation > 0; NumberAnimation { duration: stageItem.view.animation; easing.type: Easing.InOutQuad } }

        transform: [
            Rotation { origin.x: content.width / 2; origin.y: content.height / 2; angle: content.turnedValue },
            Scale { origin.x: content.width / 2; origin.y: content.height / 2; xScale: content.zoomValue; yScale: content.zoomValue },
            Translate { x: content.offsetX; y: content.offsetY }
        ]

        VideoOutput {
            id: video
            objectName: "video"
            anchors.fill: parent
            visible: stageItem.view.video
            fillMode: VideoOutput.PreserveAspectFit
        }
        StageImage {
            objectName: "picture"
            anchors.fill: parent
            visible: !stageItem.view.video
            image: stageItem.view.image
        }
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        cursorShape: stageItem.view.pointerHidden ? Qt.BlankCursor
                     : (stageItem.view.grabbing ? Qt.ClosedHandCursor : Qt.ArrowCursor)
        onPressed: (mouse) => {
            stageItem.forceActiveFocus()
            if (mouse.button === Qt.RightButton)
                stageItem.contextMenuRequested(mouse.x, mouse.y)
            else
                stageItem.view.press(mouse.x, mouse.y)
        }
        onPositionChanged: (mouse) => {
            if (pressed && (mouse.buttons & Qt.LeftButton))
                stageItem.view.drag(mouse.x, mouse.y)
            else
                stageItem.view.pointerMoved(mouse.x, mouse.y, stageItem.barFrame)
        }
        onReleased: stageItem.view.release()
        onWheel: (wheel) => stageItem.wheelEvent(wheel, false)
    }
    PinchHandler {
        target: null
        property real last: 1
        onActiveChanged: last = 1
        onActiveScaleChanged: {
            stageItem.view.pinch(activeScale / last, centroid.position.x, centroid.position.y)
            last = activeScale
        }
    }

    function wheelEvent(wheel, overBar) {
        const phase = wheel.phase !== undefined ? wheel.phase : 0
        view.wheel(wheel.angleDelta.x, wheel.angleDelta.y, wheel.pixelDelta.x, wheel.pixelDelta.y,
                   phase, wheel.modifiers, wheel.inverted, overBar, wheel.x, wheel.y)
    }
}
