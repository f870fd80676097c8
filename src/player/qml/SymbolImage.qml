import QtQuick
import ZentrovaMedia.Player

// A bundled symbol drawn in one colour at a point size.
Image {
    property string symbol
    property color tint: "white"
    property real size: 13.5
    width: size
    height: size
    sourceSize: Qt.size(Math.ceil(size * 2), Math.ceil(size * 2))
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: symbol.length > 0 ? SymbolIcons.source(symbol, tint) : ""
}
