#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// The arithmetic of the player's stage and floating control bar, kept free of any
// view so that it is checked without a screen.
namespace StageGeometry {

constexpr double minZoom = 1.0;
constexpr double maxZoom = 10.0;

struct View
{
    double zoom = 1.0;
    QPointF offset;  // pan in stage points
};

// The content's box: the stage itself, or with width and height exchanged when the
// content is turned a quarter (so a landscape video fits a portrait turn).
QSizeF contentSize(QSizeF stage, int turned);

// The pan never pulls the content more than half its zoomed-in growth past an edge.
QPointF clampOffset(QPointF offset, QSizeF stage, double zoom);

// Zooms by `factor` keeping the content point under `anchor` (stage coordinates;
// the centre when none) in place. Snaps back to exactly 1 and recentres near 1.
// None when the zoom would not change (already at a limit).
std::optional<View> zoomAbout(const View &view, double factor, std::optional<QPointF> anchor,
                              QSizeF stage);

// `turned` reduced to 0...359.
int normalizedTurn(int turned);

// The signed turn, in -180...179, that brings `turned` to `degrees` the short way.
int turnDelta(int turned, int degrees);

// --- the control bar ---

struct Bar
{
    double x = 0;         // bar centre's offset from the window centre
    double bottom = -16;  // bar bottom relative to the window bottom; negative is up
    bool operator==(const Bar &) const = default;
};

constexpr double barDefaultBottom = -16;

// Keeps the bar inside the window: clear of the edges and of the title bar.
Bar clampBar(Bar bar, QSizeF root, QSizeF barSize, bool fullScreen);

// The bar placed from its stored window fractions [x, y] (missing values are 0).
Bar barFromFractions(const QList<double> &fractions, QSizeF root);

// The fractions to store for a bar; empty for a window without width.
QList<double> fractionsFromBar(Bar bar, QSizeF root);

// The pointer is within 24 points of the bar (holds the controls up).
bool nearBar(QPointF point, const QRectF &barFrame);

} // namespace StageGeometry
