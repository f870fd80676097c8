#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <mutex>
#include <optional>

// Boost and equalizer settings of one player window. The main thread writes them;
// every audio tap of the window reads them at the start of each buffer. Share it
// with std::shared_ptr: a pipeline being torn down may still hold a tap on it.
class PlayerAudioEffects
{
public:
    static constexpr int bandCount = 10;
    using Bands = std::array<float, bandCount>;

    struct Params
    {
        float gain = 1.0f;   // linear, applied after the equalizer
        Bands bands{};       // dB; all zero means no equalization
        qint64 version = 0;  // bumped on every change of gain or bands
    };

    struct Preset
    {
        QString name;
        Bands bands{};
    };

    // Band centres in Hz, in band order.
    static constexpr std::array<float, bandCount> frequencies{
        31.f, 62.f, 125.f, 250.f, 500.f, 1000.f, 2000.f, 4000.f, 8000.f, 16000.f};
    static constexpr float maxBoost = 2.0f;

    static const QStringList &bandLabels();
    static const QList<Preset> &presets();
    // The preset of that name, or none.
    static std::optional<Preset> preset(const QString &name);

    PlayerAudioEffects() = default;
    PlayerAudioEffects(const PlayerAudioEffects &) = delete;
    PlayerAudioEffects &operator=(const PlayerAudioEffects &) = delete;

    void setGain(float gain);
    // None means flat (ten zeros).
    void setBands(const std::optional<Bands> &bands);

    Params params() const;
    // Copies the params into `out` only when their version differs from `known`;
    // the lock is held just for that comparison and copy.
    bool paramsIfChanged(qint64 known, Params &out) const;

private:
    mutable std::mutex m_lock;
    Params m_params;
};
