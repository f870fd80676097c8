#include "player/ControlBarPlacement.h"

#include "core/Preferences.h"

#include <QJsonArray>

ControlBarPlacement::ControlBarPlacement(Preferences &preferences, QObject *parent)
    : QObject(parent), m_preferences(preferences)
{
}

void ControlBarPlacement::set(StageGeometry::Bar bar)
{
    if (bar == m_bar)
        return;
    m_bar = bar;
    emit placeChanged();
}

void ControlBarPlacement::place(QSizeF root, QSizeF bar, bool fullScreen)
{
    m_root = root;
    m_size = bar;
    m_fullScreen = fullScreen;
    if (m_dragStart)
        return;
    QList<double> fractions;
    for (const QJsonValue &v : m_preferences.array(key).value_or(QJsonArray()))
        if (v.isDouble())
            fractions << v.toDouble();
        else
            break;  // unreadable from here on: the rest reads as 0
    set(StageGeometry::clampBar(StageGeometry::barFromFractions(fractions, root), root, bar,
                                fullScreen));
}

void ControlBarPlacement::dragBy(double dx, double dy)
{
    if (!m_dragStart)
        m_dragStart = m_bar;
    const StageGeometry::Bar moved{m_dragStart->x + dx, m_dragStart->bottom + dy};
    set(StageGeometry::clampBar(moved, m_root, m_size, m_fullScreen));
}

void ControlBarPlacement::endDrag()
{
    m_dragStart.reset();
    const QList<double> fractions = StageGeometry::fractionsFromBar(m_bar, m_root);
    if (fractions.isEmpty())
        return;
    QJsonArray stored;
    for (double f : fractions)
        stored.append(f);
    m_preferences.set(key, stored);
}

void ControlBarPlacement::reset()
{
    m_dragStart.reset();
    m_preferences.remove(key);
    place(m_root, m_size, m_fullScreen);
}
