import QtQuick
import QtQuick.Window
import QtQuick.Dialogs

// The Open Media panel: one video, song or picture. It lives only while it is open.
// Where the desktop offers its own file chooser, that one shows; otherwise Qt's
// chooser is drawn inside this window in its own light style (its path bar
// ignores a dark palette), with the message above it.
Window {
    id: host
    required property string message
    required property var filters
    signal chosen(url file)
    signal finished()

    title: "Open Media"
    width: 860
    height: 600
    minimumWidth: 640
    minimumHeight: 480
    color: "#1e1e1e"
    visible: true

    Text {
        objectName: "message"
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 20 }
        text: host.message
        color: "#d0d0d0"
        font.pixelSize: 14
        wrapMode: Text.WordWrap
        horizontalAlignment: Text.AlignHCenter
    }

    FileDialog {
        id: dialog
        objectName: "dialog"
        title: host.title
        nameFilters: host.filters
        fileMode: FileDialog.OpenFile
        onAccepted: { if (selectedFile.toString().length > 0) host.chosen(selectedFile); host.close(); host.finished() }
        onRejected: { host.close(); host.finished() }
    }
    Component.onCompleted: { requestActivate(); dialog.open() }
}
