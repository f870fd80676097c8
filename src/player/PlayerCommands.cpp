// The commands the bar, the adjustment panel, the stage and the keys run on the
// current item: seeking and scrubbing, volume and boost, speed, equalizer, rotation.
#include "player/MediaPlayerController.h"

#include "player/MediaPlayerModel.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerEngine.h"
#include "player/PlayerStage.h"

#include <QPointer>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {
double hundredths(double value) { return std::round(value * 100) / 100; }
} // namespace

// --- seeking ---

double MediaPlayerController::reachable(double seconds, double duration, double available, bool *limited)
{
    const double upper = duration > 0 ? duration - 0.1 : seconds;
    double result = std::clamp(seconds, 0.0, std::max(upper, 0.0));
    *limited = result > available - 2;
    // Past what has been converted the stream has nothing to play yet.
    if (*limited)
        result = std::max(available - 2, 0.0);
    return result;
}

double MediaPlayerController::reachable(double seconds)
{
    const double available =
        m_streamPlaylist ? PlaybackTranscoder::available(*m_streamPlaylist) : std::numeric_limits<double>::infinity();
    bool limited = false;
    const double result = reachable(seconds, m_model->duration(), available, &limited);
    if (limited)
        showToast(QStringLiteral("Converted up to %1 so far").arg(clock(available)));
    return result;
}

void MediaPlayerController::seekBy(double seconds)
{
    if (!m_player)
        return;
    seekTo(m_player->position() + seconds);
    const QString amount = QString::number(qint64(std::abs(seconds)));
    showToast((seconds > 0 ? QStringLiteral("+") : QStringLiteral("\u2212")) + amount + QStringLiteral(" s"));
}

void MediaPlayerController::seekTo(double seconds)
{
    if (!m_player)
        return;
    const double position = reachable(seconds);
    m_model->setCurrent(position);
    const bool wasRunning = m_player->isPlaying();
    QPointer<PlayerEngine> player = m_player.get();
    m_player->seek(position, 0, 0, [this, player, wasRunning](bool finished) {
        // Deferred: the engine is still delivering its seek results.
        QTimer::singleShot(0, this, [this, player, wasRunning, finished] {
            if (finished && wasRunning && player && player == m_player.get() && !m_player->isPlaying())
                m_player->setRate(m_model->rate());
        });
    });
}

void MediaPlayerController::beginScrub()
{
    if (!m_player || m_scrubbing)
        return;
    m_scrubbing = true;
    m_scrubWasPlaying = m_player->isPlaying() || m_model->playing();
}

void MediaPlayerController::scrub(double seconds)
{
    if (!m_scrubbing)
        beginScrub();
    const double position = reachable(seconds);
    m_model->setCurrent(position);
    m_pendingSeek = position;
    chase();
}

// One coarse seek at a time; only the latest requested position is sought next.
void MediaPlayerController::chase()
{
    if (m_seekInFlight || !m_pendingSeek)
        return;
    if (!m_player) {
        m_pendingSeek.reset();
        return;
    }
    const double target = *m_pendingSeek;
    m_pendingSeek.reset();
    m_seekInFlight = true;
    const quint64 generation = m_generation;
    m_player->seek(target, 0.4, 0.4, [this, generation](bool) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation != m_generation)
                return;
            m_seekInFlight = false;
            chase();
        });
    });
}

void MediaPlayerController::endScrub()
{
    m_scrollEndTimer->stop();
    if (!m_scrubbing || !m_player) {
        m_scrubbing = false;
        return;
    }
    m_scrubbing = false;
    m_pendingSeek.reset();
    const quint64 generation = m_generation;
    m_player->seek(m_model->current(), 0, 0, [this, generation](bool) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation != m_generation || !m_player)
                return;
            if (m_scrubWasPlaying && !m_player->isPlaying())
                m_player->setRate(m_model->rate());
            m_model->setPlaying(m_player->isPlaying());
        });
    });
}

void MediaPlayerController::scrollSeek(double deltaX, double deltaY, bool precise, bool inverted)
{
    const double duration = m_model->duration();
    if (m_model->kind() == PlayerMediaKind::image || !m_player || !(duration > 0))
        return;
    showControls();
    double delta = std::abs(deltaX) > std::abs(deltaY) ? deltaX : deltaY;
    if (delta == 0)
        return;
    double perPoint = -5;
    if (precise) {
        perPoint = std::clamp(duration / 1200, 0.1, 3.0);
        if (!inverted)
            delta = -delta;
    }
    scrub(std::min(m_model->current() + delta * perPoint, std::max(duration - 2, 0.0)));
    showToast(clock(m_model->current()) + QStringLiteral(" of ") + clock(duration));
    m_scrollEndTimer->start();
}

void MediaPlayerController::frameStep(int frames)
{
    if (!m_model->entry())
        return;
    if (m_player)
        m_player->stepFrames(frames);
    m_model->setPlaying(false);
}

// --- volume ---

QString MediaPlayerController::volumeText() const
{
    const float volume = m_model->volume();
    QString text = QStringLiteral("Volume %1 %").arg(std::lround(volume * 100));
    if (volume > 1.001f)
        text += QStringLiteral(" (boost)");
    return text;
}

void MediaPlayerController::setVolume(float volume, bool announce)
{
    const bool effects = m_model->effectsAvailable();
    if (volume > 1.001f && !effects && announce) {
        showToast(QStringLiteral("Boost above 100 % isn't available for this stream"));
        return;
    }
    const double maximum = effects ? PlayerAudioEffects::maxBoost : 1.0;
    m_model->setVolume(float(std::clamp(hundredths(volume), 0.0, maximum)));
    m_model->setMuted(false);
    if (m_player)
        m_player->setMuted(false);
    applyAudio();
    if (announce)
        showToast(volumeText());
}

void MediaPlayerController::toggleMute()
{
    m_model->setMuted(!m_model->muted());
    if (m_player)
        m_player->setMuted(m_model->muted());
    showToast(m_model->muted() ? QStringLiteral("Muted") : volumeText());
}

// Up to 100 % is the player's own volume; only the part above is the tap's gain.
void MediaPlayerController::applyAudio()
{
    if (m_player)
        m_player->setVolume(std::min(m_model->volume(), 1.0f));
    m_audio->setGain(std::max(m_model->volume(), 1.0f));
    if (m_model->eqOn()) {
        PlayerAudioEffects::Bands bands{};
        const QList<float> gains = m_model->eqBands();
        for (int i = 0; i < PlayerAudioEffects::bandCount && i < gains.size(); ++i)
            bands[i] = gains.at(i);
        m_audio->setBands(bands);
    } else {
        m_audio->setBands(std::nullopt);
    }
}

// --- speed ---

void MediaPlayerController::setRate(float requested)
{
    const float rate = float(std::clamp(hundredths(requested), 0.1, 4.0));
    m_model->setRate(rate);
    if (m_player && m_player->isPlaying())
        m_player->setRate(rate);
    if (rate == 1.0f)
        showToast(QStringLiteral("Normal speed"));
    else
        showToast(MediaPlayerSettings::rateLabel(rate) + (rate < 1 ? QStringLiteral(" slow motion") : QString()));
}

void MediaPlayerController::stepRate(bool faster)
{
    const float rate = m_model->rate();
    const QList<float> &steps = MediaPlayerSettings::rates();
    std::optional<float> next;
    if (faster) {
        for (float step : steps)
            if (step > rate + 0.001f) {
                next = step;
                break;
            }
    } else {
        for (auto it = steps.crbegin(); it != steps.crend(); ++it)
            if (*it < rate - 0.001f) {
                next = *it;
                break;
            }
    }
    if (!next) {
        showToast(faster ? QStringLiteral("Fastest speed") : QStringLiteral("Slowest speed"));
        return;
    }
    setRate(*next);
}

void MediaPlayerController::setKeepPitch(bool on)
{
    m_model->setKeepPitch(on);
    MediaPlayerSettings::setKeepPitch(on);
    if (m_player)
        m_player->setKeepPitch(on);
}

// --- equalizer ---

void MediaPlayerController::saveAudioSettings()
{
    MediaPlayerSettings::Bands bands{};
    const QList<float> gains = m_model->eqBands();
    for (int i = 0; i < int(bands.size()) && i < gains.size(); ++i)
        bands[i] = gains.at(i);
    MediaPlayerSettings::setEqBands(bands);
    MediaPlayerSettings::setEqPreset(m_model->eqPreset());
    MediaPlayerSettings::setEqOn(m_model->eqOn());
}

void MediaPlayerController::setEQ(bool on)
{
    m_model->setEqOn(on);
    MediaPlayerSettings::setEqOn(on);
    applyAudio();
    if (on && !m_model->effectsAvailable())
        showToast(QStringLiteral("The equalizer isn't available for this stream"));
}

void MediaPlayerController::setEQBand(int index, float gain)
{
    QList<float> bands = m_model->eqBands();
    if (index < 0 || index >= bands.size())
        return;
    bands[index] = float(std::clamp(std::round(double(gain) * 2) / 2, -12.0, 12.0));
    m_model->setEqBands(bands);
    QString name = QStringLiteral("Custom");
    for (const PlayerAudioEffects::Preset &preset : PlayerAudioEffects::presets()) {
        if (std::equal(preset.bands.cbegin(), preset.bands.cend(), bands.cbegin(), bands.cend())) {
            name = preset.name;
            break;
        }
    }
    m_model->setEqPreset(name);
    m_model->setEqOn(true);
    saveAudioSettings();
    applyAudio();
}

void MediaPlayerController::applyPreset(const QString &name)
{
    const auto preset = PlayerAudioEffects::preset(name);
    if (!preset)
        return;
    m_model->setEqBands(QList<float>(preset->bands.cbegin(), preset->bands.cend()));
    m_model->setEqPreset(preset->name);
    if (preset->name != QLatin1String("Flat"))
        m_model->setEqOn(true);
    saveAudioSettings();
    applyAudio();
    showToast(QStringLiteral("Equalizer: ") + preset->name);
}

// --- rotation, zoom, full screen ---

void MediaPlayerController::setRotation(int degrees)
{
    const int value = ((degrees % 360) + 360) % 360;
    m_model->setRotation(value);
    if (m_stage)
        m_stage->setRotation(value, true);
    if (const auto entry = m_model->entry())
        MediaPlayerSettings::saveRotation(entry->key, value);
    showToast(value == 0 ? QStringLiteral("Original orientation") : QStringLiteral("Rotated %1°").arg(value));
}

void MediaPlayerController::rotate(int by)
{
    setRotation(m_model->rotation() + by);
}

void MediaPlayerController::toggleFullScreen()
{
    if (m_stage)
        m_stage->setFullScreen(!m_model->fullScreen());
}

void MediaPlayerController::resetZoom()
{
    if (m_stage)
        m_stage->resetZoom(true);
}

void MediaPlayerController::zoom(double factor)
{
    if (m_stage)
        m_stage->zoomBy(factor);
}

void MediaPlayerController::zoomChanged(double zoom)
{
    m_model->setZoom(zoom);
    showControls();
}
