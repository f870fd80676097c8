import QtQuick
import QtQuick.Controls.Basic

// The centred overlay: the toast, the preparing card and the failure card. It lets
// every click and scroll through to the stage.
Item {
    id: overlay
    required property QtObject model

    Column {
        anchors.centerIn: parent
        spacing: 12

        HomeGlass {
            objectName: "toast"
            radius: 14
            anchors.horizontalCenter: parent.horizontalCenter
            visible: opacity > 0
            opacity: overlay.model.toast.length > 0 ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
            width: toastText.implicitWidth + 32
            height: toastText.implicitHeight + 18
            Text {
                id: toastText
                objectName: "toastText"
                anchors.centerIn: parent
                text: overlay.model.toast
                color: "white"
                font.pixelSize: 15
                font.weight: Font.DemiBold
            }
        }

        HomeGlass {
            objectName: "preparingCard"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: overlay.model.preparing.length > 0 && overlay.model.failed.length === 0
            width: preparingColumn.implicitWidth + 44
            height: preparingColumn.implicitHeight + 44
            Column {
                id: preparingColumn
                anchors.centerIn: parent
                spacing: 10
                BusyIndicator {
                    anchors.horizontalCenter: parent.horizontalCenter
                    running: parent.parent.visible
                    implicitWidth: 32
                    implicitHeight: 32
                }
                Text {
                    objectName: "preparingText"
                    text: overlay.model.preparing
                    color: "white"
                    font.pixelSize: 14
                    font.weight: Font.Medium
                }
            }
        }

        HomeGlass {
            objectName: "failureCard"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: overlay.model.failed.length > 0
            width: failureColumn.width + 44
            height: failureColumn.implicitHeight + 44
            Column {
                id: failureColumn
                anchors.centerIn: parent
                width: Math.min(380, Math.max(failureText.implicitWidth, nextHint.implicitWidth))
                spacing: 10
                SymbolImage {
                    anchors.horizontalCenter: parent.horizontalCenter
                    symbol: "exclamationmark.triangle.fill"
                    tint: "#ffd60a"
                    size: 28
                }
                Text {
                    id: failureText
                    objectName: "failureText"
                    width: parent.width
                    text: overlay.model.failed
                    color: "white"
                    font.pixelSize: 14
                    wrapMode: Text.WordWrap
                    horizontalAlignment: Text.AlignHCenter
                }
                Text {
                    id: nextHint
                    objectName: "failureHint"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: overlay.model.count >= 2
                    text: "Press → for the next file."
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 12
                }
            }
        }
    }
}
