import QtQuick
import QtQuick.Window
import QtQuick.Dialogs

// The Open Media panel: one video, song or picture. It lives only while it is open.
Window {
    id: host
    required property string message
    required property var filters
    signal chosen(url file)
    signal finished()

    title: "Open Media"
    width: 860
    height: 560
    color: "#1e1e1e"
    visible: true

    FileDialog {
        id: dialog
        title: host.message
        nameFilters: host.filters
        fileMode: FileDialog.OpenFile
        onAccepted: { if (selectedFile.toString().length > 0) host.chosen(selectedFile); host.close(); host.finished() }
        onRejected: { host.close(); host.finished() }
    }
    Component.onCompleted: { requestActivate(); dialog.open() }
}
