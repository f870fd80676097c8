import QtQuick
import QtTest
import ZentrovaMedia.Player

// Visible texts and enabled states of the bar, the overlay, the side arrows and the
// adjustment panel for a video, a song, a picture, a failure and a converted stream.
Item {
    id: root
    width: 900
    height: 600

    Component {
        id: modelComponent
        QtObject {
            property int count: 3
            property int index: 1
            property string kindName: "video"
            property bool playing: false
            property double current: 65
            property double duration: 600
            property real volume: 1
            property bool muted: false
            property real rate: 1
            property double zoom: 1
            property bool controlsVisible: true
            property bool fullScreen: false
            property bool slideshow: false
            property string toast: ""
            property string failed: ""
            property string preparing: ""
            property int rotation: 0
            property bool showAdjust: false
            property bool eqOn: false
            property var eqBands: [0, 0, 0, 0, 0, 0, 0, 0, 0, 0]
            property string eqPreset: "Flat"
            property bool keepPitch: true
            property bool effectsAvailable: true
            property string position: "2 of 3"
            property string entryName: "clip.mp4"
            property bool entryLocal: true
        }
    }
    Component {
        id: controllerComponent
        QtObject {
            property var calls: []
            function note(text) { calls = calls.concat([text]) }
            function togglePlay() { note("togglePlay") }
            function step(by) { note("step " + by) }
            function seekBy(s) { note("seekBy " + s) }
            function setRotation(d) { note("setRotation " + d) }
            function toggleFullScreen() { note("toggleFullScreen") }
            function toggleMute() { note("toggleMute") }
            function setVolume(v, a) { note("setVolume " + v) }
            function setRate(r) { note("setRate " + r) }
            function resetZoom() { note("resetZoom") }
            function refocus() {}
            function showControls() {}
            function beginScrub() {}
            function scrub(s) {}
            function endScrub() {}
        }
    }
    Component {
        id: barPlace
        QtObject {
            property real x: 0
            property real bottom: -16
            function dragBy(dx, dy) {}
            function endDrag() {}
            function reset() {}
        }
    }
    Component {
        id: barComponent
        MediaBar { width: 640; height: 40 }
    }
    Component {
        id: overlayComponent
        MediaOverlay { anchors.fill: parent }
    }
    Component {
        id: panelComponent
        MediaAdjustPanel {}
    }
    Component {
        id: arrowComponent
        MediaSideArrow {}
    }

    TestCase {
        name: "PlayerViews"
        when: windowShown

        function makeModel(properties) {
            // Not temporary: the views still read it while they are torn down.
            const m = modelComponent.createObject(root)
            for (const key in properties)
                m[key] = properties[key]
            return m
        }

        function shown(item, name) {
            const child = findChild(item, name)
            verify(child !== null, "no item " + name)
            return child.visible
        }

        // kind, rows of expectations per item.
        function test_bar_data() {
            return [
                { tag: "video", model: { kindName: "video" },
                  shown: ["back", "playPause", "forward", "elapsed", "position", "remaining", "speed",
                          "mute", "volume", "adjust", "fullScreen"],
                  hidden: ["slideshow", "rotate", "zoomLevel"], volumeTo: 2 },
                { tag: "song", model: { kindName: "audio", playing: true },
                  shown: ["back", "playPause", "forward", "elapsed", "position", "remaining", "speed",
                          "mute", "volume", "adjust", "fullScreen"],
                  hidden: ["slideshow", "rotate", "zoomLevel"], volumeTo: 2 },
                { tag: "picture", model: { kindName: "image", zoom: 2.5 },
                  shown: ["slideshow", "rotate", "zoomLevel", "fullScreen"],
                  hidden: ["back", "playPause", "forward", "elapsed", "position", "remaining", "speed",
                           "mute", "volume", "adjust"], volumeTo: 2 },
                { tag: "converted stream", model: { kindName: "video", effectsAvailable: false },
                  shown: ["back", "playPause", "volume", "adjust"],
                  hidden: ["slideshow", "rotate"], volumeTo: 1 },
            ]
        }

        function test_bar(data) {
            const model = makeModel(data.model)
            const bar = createTemporaryObject(barComponent, root, {
                model: model, controller: createTemporaryObject(controllerComponent, root),
                bar: createTemporaryObject(barPlace, root) })
            verify(bar)
            for (const name of data.shown)
                verify(shown(bar, name), name + " should show")
            for (const name of data.hidden)
                verify(!shown(bar, name), name + " should not show")
            compare(findChild(bar, "volume").to, data.volumeTo)
        }

        function test_barTexts() {
            const model = makeModel({ current: 65, duration: 600, rate: 1, playing: true })
            const bar = createTemporaryObject(barComponent, root, {
                model: model, controller: createTemporaryObject(controllerComponent, root),
                bar: createTemporaryObject(barPlace, root) })
            compare(findChild(bar, "elapsed").text, "1:05")
            compare(findChild(bar, "remaining").text, "\u22128:55")
            compare(findChild(bar, "speedLabel").text, "1×")
            compare(findChild(bar, "playPause").symbol, "pause.fill")
            compare(findChild(bar, "mute").symbol, "speaker.wave.2.fill")
            compare(findChild(bar, "playPause").help, "Play / pause (Space, K)")
            model.rate = 1.5
            model.playing = false
            model.volume = 1.5
            compare(findChild(bar, "speedLabel").text, "1.5×")
            compare(findChild(bar, "playPause").symbol, "play.fill")
            compare(findChild(bar, "mute").symbol, "speaker.wave.3.fill")
            model.muted = true
            compare(findChild(bar, "mute").symbol, "speaker.slash.fill")
            compare(findChild(bar, "volume").value, 0)
        }

        function test_barClicks() {
            const controller = createTemporaryObject(controllerComponent, root)
            const bar = createTemporaryObject(barComponent, root, {
                model: makeModel({ kindName: "image", rotation: 90 }), controller: controller,
                bar: createTemporaryObject(barPlace, root) })
            waitForRendering(bar)
            mouseClick(findChild(bar, "slideshow"))
            mouseClick(findChild(bar, "rotate"))
            mouseClick(findChild(bar, "fullScreen"))
            compare(controller.calls, ["togglePlay", "setRotation 180", "toggleFullScreen"])
        }

        function test_overlay_data() {
            return [
                { tag: "playing video", model: {}, toast: false, preparing: false, failure: false },
                { tag: "converted stream toast", model: { toast: "Converting as it plays" },
                  toast: true, preparing: false, failure: false, text: ["toastText", "Converting as it plays"] },
                { tag: "preparing", model: { preparing: "Getting this MKV ready…" },
                  toast: false, preparing: true, failure: false, text: ["preparingText", "Getting this MKV ready…"] },
                { tag: "failure in a folder", model: { failed: "Zentrova Media can't play this file. (AVI couldn't be read.)", preparing: "x" },
                  toast: false, preparing: false, failure: true, hint: true,
                  text: ["failureText", "Zentrova Media can't play this file. (AVI couldn't be read.)"] },
                { tag: "failure of a single file", model: { failed: "This picture couldn't be opened.", count: 1 },
                  toast: false, preparing: false, failure: true, hint: false,
                  text: ["failureText", "This picture couldn't be opened."] },
            ]
        }

        function test_overlay(data) {
            const overlay = createTemporaryObject(overlayComponent, root, { model: makeModel(data.model) })
            verify(overlay)
            tryCompare(findChild(overlay, "toast"), "visible", data.toast)
            compare(shown(overlay, "preparingCard"), data.preparing)
            compare(shown(overlay, "failureCard"), data.failure)
            if (data.text)
                compare(findChild(overlay, data.text[0]).text, data.text[1])
            if (data.hint !== undefined) {
                compare(shown(overlay, "failureHint"), data.hint)
                compare(findChild(overlay, "failureHint").text, "Press → for the next file.")
            }
        }

        function test_arrows_data() {
            return [
                { tag: "middle of three", model: { count: 3, index: 1 }, forward: true, opacity: 1, enabled: true },
                { tag: "first file, back", model: { count: 3, index: 0 }, forward: false, opacity: 0.25, enabled: false },
                { tag: "last file, forward", model: { count: 3, index: 2 }, forward: true, opacity: 0.25, enabled: false },
                { tag: "single file", model: { count: 1, index: 0 }, forward: true, opacity: 0, enabled: false },
                { tag: "controls hidden", model: { count: 3, index: 1, controlsVisible: false }, forward: false, opacity: 0, enabled: false },
            ]
        }

        function test_arrows(data) {
            const arrow = createTemporaryObject(arrowComponent, root, {
                model: makeModel(data.model), controller: createTemporaryObject(controllerComponent, root),
                forward: data.forward })
            tryCompare(arrow, "opacity", data.opacity)
            compare(arrow.enabled, data.enabled)
        }

        function test_panel_data() {
            return [
                { tag: "video", model: { volume: 1.5, rate: 1.5, rotation: 90 }, chips: true,
                  note: false, volumeValue: "150 % boost", speed: "1.5×", rotate: "90°" },
                { tag: "song", model: { kindName: "audio", volume: 0.8 }, chips: true,
                  note: false, volumeValue: "80 %", speed: "1×", rotate: "0°" },
                { tag: "converted stream", model: { effectsAvailable: false, rate: 0.5 }, chips: false,
                  note: true, volumeValue: "100 %", speed: "0.5×", rotate: "0°" },
            ]
        }

        function test_panel(data) {
            const panel = createTemporaryObject(panelComponent, root, {
                model: makeModel(data.model), controller: createTemporaryObject(controllerComponent, root) })
            verify(panel)
            compare(findChild(panel, "volumeChip50").enabled, true)
            compare(findChild(panel, "volumeChip100").enabled, true)
            compare(findChild(panel, "volumeChip150").enabled, data.chips)
            compare(findChild(panel, "volumeChip200").enabled, data.chips)
            compare(shown(panel, "boostNote"), data.note)
            compare(findChild(panel, "volumeSlider").to, data.chips ? 2 : 1)
            compare(findChild(panel, "volumeHeader").value, data.volumeValue)
            compare(findChild(panel, "speedHeader").value, data.speed)
            compare(findChild(panel, "rotateHeader").value, data.rotate)
            compare(findChild(panel, "keepPitch").text, "Keep voice pitch")
            compare(findChild(panel, "eqPreset").text, "Flat")
        }
    }
}
