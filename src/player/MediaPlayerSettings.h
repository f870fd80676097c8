#pragma once

#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>

#include <array>
#include <optional>

// Every preference the player keeps between runs. Nothing is cached: each call
// reads the store, so a value written by the other program of the suite shows at once.
// The four user settings live in WindowsSettings; the rest in Preferences::media().
namespace MediaPlayerSettings {

inline constexpr int dictionaryCap = 300;

// Equalizer gains in dB, in band order (the same type as Bands).
using Bands = std::array<float, 10>;

// --- user settings (WindowsSettings) ---
QString endAction();      // "next", "repeat" or "stop"; anything else acts as "next"
double longSkip();        // seconds, at least 5
QString skipSymbol(bool forward);  // "goforward.10", or the plain name for odd lengths
QString skipHelp();       // "10 seconds"
bool resume();
double slideSeconds();    // at least 1

// --- resume positions and rotations, by entry key ---
std::optional<double> resumePosition(const QString &key);
// Kept only for items of 120 s or more, after 5 s and more than 15 s before the end;
// removed otherwise.
void saveResume(const QString &key, double seconds, double duration);
// None forgets every position; otherwise only those keys.
void forgetResume(const std::optional<QSet<QString>> &keys);
int rotation(const QString &key);
// 0 removes the key.
void saveRotation(const QString &key, int degrees);

// --- audio ---
bool eqOn();
void setEqOn(bool on);
Bands eqBands();  // ten zeros unless ten numbers are stored
void setEqBands(const Bands &bands);
QString eqPreset();                   // "Flat" when unset
void setEqPreset(const QString &name);
bool keepPitch();                     // true unless false is stored
void setKeepPitch(bool on);

// --- the control bar's place (stage coordinates), none until the user moves it ---
std::optional<QPointF> barPosition();
void setBarPosition(const std::optional<QPointF> &position);

// --- fixed tables ---
const QList<float> &rates();
QString rateLabel(float rate);  // "1.5×"
const QList<int> &skipLengths();
const QList<int> &slideIntervals();

} // namespace MediaPlayerSettings
