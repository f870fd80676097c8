#include "player/MediaPlayerSettings.h"

#include "core/Preferences.h"
#include "core/WindowsSettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace MediaPlayerSettings {

namespace {

const QString kEqOn = QStringLiteral("fx.player.eqOn");
const QString kEqBands = QStringLiteral("fx.player.eqBands");
const QString kEqPreset = QStringLiteral("fx.player.eqPreset");
const QString kKeepPitch = QStringLiteral("fx.player.keepPitch");
const QString kResume = QStringLiteral("fx.player.resume");
const QString kRotation = QStringLiteral("fx.player.rotation");
const QString kBarPosition = QStringLiteral("fx.player.barPosition");

Preferences &store() { return Preferences::media(); }
WindowsSettings &windows() { return WindowsSettings::shared(); }

// The dictionaries hold no dates, so which entries survive is arbitrary; the one
// just written always does.
void cap(QJsonObject &dictionary, const QString &keep)
{
    auto it = dictionary.begin();
    while (dictionary.size() > dictionaryCap && it != dictionary.end()) {
        if (it.key() == keep)
            ++it;
        else
            it = dictionary.erase(it);
    }
}

void writeDictionary(const QString &prefKey, QJsonObject dictionary, const QString &keep)
{
    cap(dictionary, keep);
    store().set(prefKey, dictionary);
}

} // namespace

QString endAction() { return windows().string(QStringLiteral("player.endAction")); }

double longSkip() { return std::max(windows().number(QStringLiteral("player.longSkip")), 5.0); }

QString skipSymbol(bool forward)
{
    const QString name = forward ? QStringLiteral("goforward") : QStringLiteral("gobackward");
    const double skip = longSkip();
    static const QList<int> drawn{5, 10, 15, 30, 45, 60, 75, 90};
    if (skip == std::floor(skip) && drawn.contains(int(skip)))
        return name + u'.' + QString::number(int(skip));
    return name;
}

QString skipHelp() { return QString::number(qint64(longSkip())) + QStringLiteral(" seconds"); }

bool resume() { return windows().boolean(QStringLiteral("player.resume")); }

double slideSeconds() { return std::max(windows().number(QStringLiteral("player.slideSeconds")), 1.0); }

std::optional<double> resumePosition(const QString &key)
{
    const QJsonValue stored = store().object(kResume).value_or(QJsonObject()).value(key);
    if (!stored.isDouble() || !(stored.toDouble() > 5))
        return std::nullopt;
    return stored.toDouble();
}

void saveResume(const QString &key, double seconds, double duration)
{
    QJsonObject positions = store().object(kResume).value_or(QJsonObject());
    if (duration >= 120 && seconds > 5 && seconds < duration - 15)
        positions.insert(key, seconds);
    else
        positions.remove(key);
    writeDictionary(kResume, positions, key);
}

void forgetResume(const std::optional<QSet<QString>> &keys)
{
    if (!keys) {
        store().remove(kResume);
        return;
    }
    QJsonObject positions = store().object(kResume).value_or(QJsonObject());
    for (const QString &key : *keys)
        positions.remove(key);
    store().set(kResume, positions);
}

int rotation(const QString &key)
{
    const QJsonValue stored = store().object(kRotation).value_or(QJsonObject()).value(key);
    const double value = stored.toDouble(0.5);
    if (!stored.isDouble() || value != std::floor(value))
        return 0;
    return int(value);
}

void saveRotation(const QString &key, int degrees)
{
    QJsonObject rotations = store().object(kRotation).value_or(QJsonObject());
    if (degrees != 0)
        rotations.insert(key, degrees);
    else
        rotations.remove(key);
    writeDictionary(kRotation, rotations, key);
}

bool eqOn() { return store().boolean(kEqOn).value_or(false); }
void setEqOn(bool on) { store().set(kEqOn, on); }

Bands eqBands()
{
    Bands bands{};
    const QJsonArray stored = store().array(kEqBands).value_or(QJsonArray());
    if (stored.size() != int(Bands().size()))
        return bands;
    for (int i = 0; i < int(Bands().size()); ++i) {
        if (!stored.at(i).isDouble())
            return Bands{};
        bands[i] = float(stored.at(i).toDouble());
    }
    return bands;
}

void setEqBands(const Bands &bands)
{
    QJsonArray array;
    for (float gain : bands)
        array.append(double(gain));
    store().set(kEqBands, array);
}

QString eqPreset() { return store().string(kEqPreset).value_or(QStringLiteral("Flat")); }
void setEqPreset(const QString &name) { store().set(kEqPreset, name); }

bool keepPitch() { return store().boolean(kKeepPitch).value_or(true); }
void setKeepPitch(bool on) { store().set(kKeepPitch, on); }

std::optional<QPointF> barPosition()
{
    const QJsonArray stored = store().array(kBarPosition).value_or(QJsonArray());
    if (stored.size() != 2 || !stored.at(0).isDouble() || !stored.at(1).isDouble())
        return std::nullopt;
    return QPointF(stored.at(0).toDouble(), stored.at(1).toDouble());
}

void setBarPosition(const std::optional<QPointF> &position)
{
    if (!position)
        store().remove(kBarPosition);
    else
        store().set(kBarPosition, QJsonArray{position->x(), position->y()});
}

const QList<float> &rates()
{
    static const QList<float> list{0.1f, 0.25f, 0.5f, 0.75f, 1.f, 1.25f, 1.5f, 1.75f, 2.f, 2.5f, 3.f, 4.f};
    return list;
}

QString rateLabel(float rate)
{
    const double rounded = std::round(double(rate) * 100) / 100;
    return QLocale().toString(rounded, 'g', QLocale::FloatingPointShortest) + QStringLiteral("×");
}

const QList<int> &skipLengths()
{
    static const QList<int> list{5, 10, 15, 30, 60};
    return list;
}

const QList<int> &slideIntervals()
{
    static const QList<int> list{2, 3, 4, 6, 10};
    return list;
}

} // namespace MediaPlayerSettings
