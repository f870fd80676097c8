#include "player/PlayerAudioEffects.h"

namespace {

PlayerAudioEffects::Preset make(const char *name, PlayerAudioEffects::Bands bands)
{
    return {QString::fromUtf8(name), bands};
}

} // namespace

const QStringList &PlayerAudioEffects::bandLabels()
{
    static const QStringList labels{
        QStringLiteral("31"), QStringLiteral("62"), QStringLiteral("125"), QStringLiteral("250"),
        QStringLiteral("500"), QStringLiteral("1K"), QStringLiteral("2K"), QStringLiteral("4K"),
        QStringLiteral("8K"), QStringLiteral("16K")};
    return labels;
}

const QList<PlayerAudioEffects::Preset> &PlayerAudioEffects::presets()
{
    static const QList<Preset> list{
        make("Flat", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
        make("Bass Boost", {6, 5, 4, 2, 0, 0, 0, 0, 0, 0}),
        make("Treble Boost", {0, 0, 0, 0, 0, 1, 2, 4, 5, 6}),
        make("Voice / Dialogue", {-4, -3, -1, 1, 3, 4, 4, 2, 0, -1}),
        make("Loudness", {5, 4, 2, 0, -1, 0, 1, 3, 4, 4}),
        make("Laptop Speakers", {-2, 0, 3, 3, 1, 0, 0, 1, 2, 2}),
        make("Night (Soft Bass)", {-6, -5, -3, -1, 1, 2, 2, 1, 0, -1}),
        make("Movie", {4, 3, 1, 0, 0, 2, 3, 2, 1, 1}),
        make("Music", {3, 2, 1, 0, -1, 0, 1, 2, 3, 3}),
        make("Rock", {4, 3, 2, 0, -1, -1, 1, 2, 3, 4}),
        make("Pop", {-1, 1, 3, 4, 3, 0, -1, -1, 0, 1}),
        make("Classical", {3, 2, 1, 0, 0, 0, -1, -1, 1, 2}),
    };
    return list;
}

std::optional<PlayerAudioEffects::Preset> PlayerAudioEffects::preset(const QString &name)
{
    for (const Preset &p : presets()) {
        if (p.name == name)
            return p;
    }
    return std::nullopt;
}

void PlayerAudioEffects::setGain(float gain)
{
    std::lock_guard guard(m_lock);
    m_params.gain = gain;
    ++m_params.version;
}

void PlayerAudioEffects::setBands(const std::optional<Bands> &bands)
{
    std::lock_guard guard(m_lock);
    m_params.bands = bands.value_or(Bands{});
    ++m_params.version;
}

PlayerAudioEffects::Params PlayerAudioEffects::params() const
{
    std::lock_guard guard(m_lock);
    return m_params;
}

bool PlayerAudioEffects::paramsIfChanged(qint64 known, Params &out) const
{
    std::lock_guard guard(m_lock);
    if (m_params.version == known)
        return false;
    out = m_params;
    return true;
}
