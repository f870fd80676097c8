#pragma once

#include "player/StageGeometry.h"

#include <QObject>
#include <QSizeF>
#include <QtQml/qqmlregistration.h>

#include <optional>

class Preferences;

// Where the floating control bar sits: its centre's offset from the window centre
// (`x`) and its bottom relative to the window bottom (`bottom`, negative is up).
// The user drags it anywhere inside the window; the place is stored as fractions of
// the window, so the next window opens with the bar where it was left.
class ControlBarPlacement : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the player window")
    Q_PROPERTY(double x READ x NOTIFY placeChanged)
    Q_PROPERTY(double bottom READ bottom NOTIFY placeChanged)

public:
    static inline const QString key = QStringLiteral("fx.player.barPosition");

    explicit ControlBarPlacement(Preferences &preferences, QObject *parent = nullptr);

    double x() const { return m_bar.x; }
    double bottom() const { return m_bar.bottom; }
    bool dragging() const { return m_dragStart.has_value(); }

    // After a layout, a resize or leaving full screen: the stored place, kept inside.
    // Does nothing while a drag runs.
    Q_INVOKABLE void place(QSizeF root, QSizeF bar, bool fullScreen);
    // The translation since the drag began (y grows downward).
    Q_INVOKABLE void dragBy(double dx, double dy);
    Q_INVOKABLE void endDrag();
    // Back to the default place: centred, 16 points above the bottom.
    Q_INVOKABLE void reset();

signals:
    void placeChanged();

private:
    void set(StageGeometry::Bar bar);

    Preferences &m_preferences;
    StageGeometry::Bar m_bar;
    std::optional<StageGeometry::Bar> m_dragStart;
    QSizeF m_root, m_size;
    bool m_fullScreen = false;
};
