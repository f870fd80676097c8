#include "player/StageGeometry.h"

#include <QList>
#include <QRectF>

#include <algorithm>

namespace StageGeometry {

QSizeF contentSize(QSizeF stage, int turned)
{
    const int t = normalizedTurn(turned);
    return (t == 90 || t == 270) ? stage.transposed() : stage;
}

QPointF clampOffset(QPointF offset, QSizeF stage, double zoom)
{
    const double lx = std::max(stage.width() * (zoom - 1) * 0.5, 0.0);
    const double ly = std::max(stage.height() * (zoom - 1) * 0.5, 0.0);
    return {std::clamp(offset.x(), -lx, lx), std::clamp(offset.y(), -ly, ly)};
}

std::optional<View> zoomAbout(const View &view, double factor, std::optional<QPointF> anchor,
                              QSizeF stage)
{
    const double z = std::clamp(view.zoom * factor, minZoom, maxZoom);
    if (z == view.zoom)
        return std::nullopt;
    const QPointF c(stage.width() / 2, stage.height() / 2);
    const QPointF a = anchor.value_or(c) - c;
    View out;
    if (z <= 1.001) {
        out.zoom = 1;
        return out;
    }
    out.zoom = z;
    out.offset = a - z * ((a - view.offset) / view.zoom);
    out.offset = clampOffset(out.offset, stage, z);
    return out;
}

int normalizedTurn(int turned)
{
    return ((turned % 360) + 360) % 360;
}

int turnDelta(int turned, int degrees)
{
    const int e = normalizedTurn(turned);
    return ((((degrees - e) % 360) + 540) % 360) - 180;
}

Bar clampBar(Bar bar, QSizeF root, QSizeF barSize, bool fullScreen)
{
    const double span = std::max(barSize.width(), std::min(root.width() - 36, 640.0));
    const double room = std::max((root.width() - span) * 0.5 - 8, 0.0);
    bar.x = std::clamp(bar.x, -room, room);
    const double top = -(root.height() - barSize.height() - (fullScreen ? 8 : 34));
    bar.bottom = std::min(std::max(bar.bottom, top), -8.0);
    return bar;
}

Bar barFromFractions(const QList<double> &fractions, QSizeF root)
{
    const double x = fractions.size() > 0 ? fractions.at(0) : 0;
    const double y = fractions.size() > 1 ? fractions.at(1) : 0;
    return {x * root.width(), barDefaultBottom - y * root.height()};
}

QList<double> fractionsFromBar(Bar bar, QSizeF root)
{
    if (root.width() <= 0 || root.height() <= 0)
        return {};
    return {bar.x / root.width(), (barDefaultBottom - bar.bottom) / root.height()};
}

bool nearBar(QPointF point, const QRectF &barFrame)
{
    return barFrame.adjusted(-24, -24, 24, 24).contains(point);
}

} // namespace StageGeometry
