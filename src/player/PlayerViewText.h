#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The player views' texts and tables: labels, tooltips and menu items built from the
// model's values, so every wording is checked without a screen.
class PlayerViewText : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(double maxBoost READ maxBoost CONSTANT)
    Q_PROPERTY(QStringList bandLabels READ bandLabels CONSTANT)
    Q_PROPERTY(QStringList presetNames READ presetNames CONSTANT)
    Q_PROPERTY(QVariantList rates READ rates CONSTANT)

public:
    using QObject::QObject;

    static double maxBoost();
    static QStringList bandLabels();
    static QStringList presetNames();
    static QVariantList rates();

    Q_INVOKABLE static QString clock(double seconds);
    // "−1:05" (with the minus sign U+2212).
    Q_INVOKABLE static QString remaining(double current, double duration);
    // The bar's speed label: "1×", "1.5×".
    Q_INVOKABLE static QString rateLabel(double rate);
    // A speed menu item: "Normal", "2×", "0.5× (slow motion)".
    Q_INVOKABLE static QString rateMenuItem(double rate);
    // A speed chip of the panel: "Normal" for 1, else the number + "×".
    Q_INVOKABLE static QString rateChip(double rate);
    // "Volume 80 %", the bar slider's tooltip.
    Q_INVOKABLE static QString volumeHelp(double volume);
    // The panel's volume value: "150 % boost", "80 %".
    Q_INVOKABLE static QString volumeValue(double volume);
    // "pause.fill" or "play.fill"; the mute symbol by volume and mute.
    Q_INVOKABLE static QString playSymbol(bool playing);
    Q_INVOKABLE static QString muteSymbol(bool muted, double volume);
    Q_INVOKABLE static QString fullScreenSymbol(bool fullScreen);
    Q_INVOKABLE static QString skipSymbol(bool forward);
    Q_INVOKABLE static double longSkip();
    Q_INVOKABLE static QString skipTooltip(bool forward);
    // "250 %" for zoom 2.5.
    Q_INVOKABLE static QString zoomLabel(double zoom);
    // The equalizer slider's value for a pointer at `y` on a band `height` tall.
    Q_INVOKABLE static double bandValue(double y, double height);
};
