#include "player/PlayerViewText.h"

#include "player/MediaPlayerController.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerAudioEffects.h"

#include <algorithm>
#include <cmath>

double PlayerViewText::maxBoost() { return PlayerAudioEffects::maxBoost; }
QStringList PlayerViewText::bandLabels() { return PlayerAudioEffects::bandLabels(); }

QStringList PlayerViewText::presetNames()
{
    QStringList names;
    for (const auto &preset : PlayerAudioEffects::presets())
        names << preset.name;
    return names;
}

QVariantList PlayerViewText::rates()
{
    QVariantList list;
    for (float rate : MediaPlayerSettings::rates())
        list << double(rate);
    return list;
}

QString PlayerViewText::clock(double seconds)
{
    return MediaPlayerController::clock(seconds);
}

QString PlayerViewText::remaining(double current, double duration)
{
    return QStringLiteral("\u2212") + clock(std::max(duration - current, 0.0));
}

QString PlayerViewText::rateLabel(double rate)
{
    return MediaPlayerSettings::rateLabel(float(rate));
}

QString PlayerViewText::rateMenuItem(double rate)
{
    if (std::abs(rate - 1) < 0.001)
        return QStringLiteral("Normal");
    return rate < 1 ? rateLabel(rate) + QStringLiteral(" (slow motion)") : rateLabel(rate);
}

QString PlayerViewText::rateChip(double rate)
{
    return std::abs(rate - 1) < 0.001 ? QStringLiteral("Normal") : rateLabel(rate);
}

QString PlayerViewText::volumeHelp(double volume)
{
    return QStringLiteral("Volume %1 %").arg(std::lround(volume * 100));
}

QString PlayerViewText::volumeValue(double volume)
{
    const QString value = QStringLiteral("%1 %").arg(std::lround(volume * 100));
    return volume > 1.001 ? value + QStringLiteral(" boost") : value;
}

QString PlayerViewText::playSymbol(bool playing)
{
    return playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
}

QString PlayerViewText::muteSymbol(bool muted, double volume)
{
    if (muted || volume == 0)
        return QStringLiteral("speaker.slash.fill");
    return volume > 1.001 ? QStringLiteral("speaker.wave.3.fill") : QStringLiteral("speaker.wave.2.fill");
}

QString PlayerViewText::fullScreenSymbol(bool fullScreen)
{
    return fullScreen ? QStringLiteral("arrow.down.right.and.arrow.up.left")
                      : QStringLiteral("arrow.up.left.and.arrow.down.right");
}

QString PlayerViewText::skipSymbol(bool forward)
{
    return MediaPlayerSettings::skipSymbol(forward);
}

double PlayerViewText::longSkip()
{
    return MediaPlayerSettings::longSkip();
}

QString PlayerViewText::skipTooltip(bool forward)
{
    return forward ? QStringLiteral("Forward ") + MediaPlayerSettings::skipHelp() + QStringLiteral(" (L, ⇧→)")
                   : QStringLiteral("Back ") + MediaPlayerSettings::skipHelp() + QStringLiteral(" (J, ⇧←)");
}

QString PlayerViewText::zoomLabel(double zoom)
{
    return QStringLiteral("%1 %").arg(std::lround(zoom * 100));
}

double PlayerViewText::bandValue(double y, double height)
{
    const double v = (height / 2 - y) / (height / 2 - 6);
    return std::clamp(v, -1.0, 1.0) * 12;
}
