#include "player/MediaPlayerModel.h"

#include "player/MediaPlayerSettings.h"

MediaPlayerModel::MediaPlayerModel(QObject *parent) : QObject(parent)
{
    m_eqOn = MediaPlayerSettings::eqOn();
    for (float gain : MediaPlayerSettings::eqBands())
        m_eqBands.append(gain);
    m_eqPreset = MediaPlayerSettings::eqPreset();
    m_keepPitch = MediaPlayerSettings::keepPitch();
}

template <typename T>
void MediaPlayerModel::assign(T &field, const T &value, void (MediaPlayerModel::*notify)())
{
    if (field == value)
        return;
    field = value;
    emit(this->*notify)();
}

std::optional<MediaEntry> MediaPlayerModel::entry() const
{
    if (m_index < 0 || m_index >= m_files.size())
        return std::nullopt;
    return m_files.at(m_index);
}

QString MediaPlayerModel::position() const
{
    if (m_files.size() < 2)
        return {};
    return QStringLiteral("%1 of %2").arg(m_index + 1).arg(m_files.size());
}

QString MediaPlayerModel::entryName() const
{
    const auto current = entry();
    return current ? current->name : QString();
}

bool MediaPlayerModel::entryLocal() const
{
    const auto current = entry();
    return current && current->local;
}

void MediaPlayerModel::setFiles(const QList<MediaEntry> &files)
{
    if (m_files == files)
        return;
    m_files = files;
    emit filesChanged();
    emit positionChanged();
}

void MediaPlayerModel::setIndex(int index)
{
    if (m_index == index)
        return;
    m_index = index;
    emit indexChanged();
    emit positionChanged();
}

void MediaPlayerModel::setKind(PlayerMediaKind kind) { assign(m_kind, kind, &MediaPlayerModel::kindChanged); }
void MediaPlayerModel::setPlaying(bool playing) { assign(m_playing, playing, &MediaPlayerModel::playingChanged); }
void MediaPlayerModel::setCurrent(double seconds) { assign(m_current, seconds, &MediaPlayerModel::currentChanged); }
void MediaPlayerModel::setDuration(double seconds) { assign(m_duration, seconds, &MediaPlayerModel::durationChanged); }
void MediaPlayerModel::setVolume(float volume) { assign(m_volume, volume, &MediaPlayerModel::volumeChanged); }
void MediaPlayerModel::setMuted(bool muted) { assign(m_muted, muted, &MediaPlayerModel::mutedChanged); }
void MediaPlayerModel::setRate(float rate) { assign(m_rate, rate, &MediaPlayerModel::rateChanged); }
void MediaPlayerModel::setZoom(double zoom) { assign(m_zoom, zoom, &MediaPlayerModel::zoomChanged); }
void MediaPlayerModel::setControlsVisible(bool visible)
{
    assign(m_controlsVisible, visible, &MediaPlayerModel::controlsVisibleChanged);
}
void MediaPlayerModel::setFullScreen(bool on) { assign(m_fullScreen, on, &MediaPlayerModel::fullScreenChanged); }
void MediaPlayerModel::setSlideshow(bool on) { assign(m_slideshow, on, &MediaPlayerModel::slideshowChanged); }
void MediaPlayerModel::setToast(const std::optional<QString> &text)
{
    assign(m_toast, text, &MediaPlayerModel::toastChanged);
}
void MediaPlayerModel::setFailed(const std::optional<QString> &text)
{
    assign(m_failed, text, &MediaPlayerModel::failedChanged);
}
void MediaPlayerModel::setPreparing(const std::optional<QString> &text)
{
    assign(m_preparing, text, &MediaPlayerModel::preparingChanged);
}
void MediaPlayerModel::setRotation(int degrees) { assign(m_rotation, degrees, &MediaPlayerModel::rotationChanged); }
void MediaPlayerModel::setShowAdjust(bool open) { assign(m_showAdjust, open, &MediaPlayerModel::showAdjustChanged); }
void MediaPlayerModel::setEqOn(bool on) { assign(m_eqOn, on, &MediaPlayerModel::eqOnChanged); }
void MediaPlayerModel::setEqBands(const QList<float> &bands)
{
    assign(m_eqBands, bands, &MediaPlayerModel::eqBandsChanged);
}
void MediaPlayerModel::setEqPreset(const QString &name) { assign(m_eqPreset, name, &MediaPlayerModel::eqPresetChanged); }
void MediaPlayerModel::setKeepPitch(bool on) { assign(m_keepPitch, on, &MediaPlayerModel::keepPitchChanged); }
void MediaPlayerModel::setEffectsAvailable(bool available)
{
    assign(m_effectsAvailable, available, &MediaPlayerModel::effectsAvailableChanged);
}
