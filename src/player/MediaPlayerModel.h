#pragma once

#include "media/MediaEntry.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// What one player window shows. Views bind to it; only the controller writes it.
// Every setter emits its NOTIFY only when the value really changes.
class MediaPlayerModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY filesChanged)
    Q_PROPERTY(int index READ index NOTIFY indexChanged)
    Q_PROPERTY(QString kindName READ kindName NOTIFY kindChanged)
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(double current READ current NOTIFY currentChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(float volume READ volume NOTIFY volumeChanged)
    Q_PROPERTY(bool muted READ muted NOTIFY mutedChanged)
    Q_PROPERTY(float rate READ rate NOTIFY rateChanged)
    Q_PROPERTY(double zoom READ zoom NOTIFY zoomChanged)
    Q_PROPERTY(bool controlsVisible READ controlsVisible NOTIFY controlsVisibleChanged)
    Q_PROPERTY(bool fullScreen READ fullScreen NOTIFY fullScreenChanged)
    Q_PROPERTY(bool slideshow READ slideshow NOTIFY slideshowChanged)
    Q_PROPERTY(QString toast READ toastText NOTIFY toastChanged)        // "" when none
    Q_PROPERTY(QString failed READ failedText NOTIFY failedChanged)     // "" when none
    Q_PROPERTY(QString preparing READ preparingText NOTIFY preparingChanged)  // "" when none
    Q_PROPERTY(int rotation READ rotation NOTIFY rotationChanged)
    Q_PROPERTY(bool showAdjust READ showAdjust WRITE setShowAdjust NOTIFY showAdjustChanged)
    Q_PROPERTY(bool eqOn READ eqOn NOTIFY eqOnChanged)
    Q_PROPERTY(QList<float> eqBands READ eqBands NOTIFY eqBandsChanged)
    Q_PROPERTY(QString eqPreset READ eqPreset NOTIFY eqPresetChanged)
    Q_PROPERTY(bool keepPitch READ keepPitch NOTIFY keepPitchChanged)
    Q_PROPERTY(bool effectsAvailable READ effectsAvailable NOTIFY effectsAvailableChanged)
    // Derived.
    Q_PROPERTY(QString position READ position NOTIFY positionChanged)
    Q_PROPERTY(QString entryName READ entryName NOTIFY positionChanged)
    Q_PROPERTY(bool entryLocal READ entryLocal NOTIFY positionChanged)

public:
    explicit MediaPlayerModel(QObject *parent = nullptr);

    const QList<MediaEntry> &files() const { return m_files; }
    int count() const { return int(m_files.size()); }
    int index() const { return m_index; }
    PlayerMediaKind kind() const { return m_kind; }
    QString kindName() const { return rawValue(m_kind); }
    bool playing() const { return m_playing; }
    double current() const { return m_current; }
    double duration() const { return m_duration; }
    float volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    float rate() const { return m_rate; }
    double zoom() const { return m_zoom; }
    bool controlsVisible() const { return m_controlsVisible; }
    bool fullScreen() const { return m_fullScreen; }
    bool slideshow() const { return m_slideshow; }
    std::optional<QString> toast() const { return m_toast; }
    std::optional<QString> failed() const { return m_failed; }
    std::optional<QString> preparing() const { return m_preparing; }
    QString toastText() const { return m_toast.value_or(QString()); }
    QString failedText() const { return m_failed.value_or(QString()); }
    QString preparingText() const { return m_preparing.value_or(QString()); }
    int rotation() const { return m_rotation; }
    bool showAdjust() const { return m_showAdjust; }
    bool eqOn() const { return m_eqOn; }
    QList<float> eqBands() const { return m_eqBands; }
    QString eqPreset() const { return m_eqPreset; }
    bool keepPitch() const { return m_keepPitch; }
    bool effectsAvailable() const { return m_effectsAvailable; }

    // files[index], none outside the list.
    std::optional<MediaEntry> entry() const;
    // "3 of 12"; empty for fewer than two files.
    QString position() const;
    QString entryName() const;
    bool entryLocal() const;

    void setFiles(const QList<MediaEntry> &files);
    void setIndex(int index);
    void setKind(PlayerMediaKind kind);
    void setPlaying(bool playing);
    void setCurrent(double seconds);
    void setDuration(double seconds);
    void setVolume(float volume);
    void setMuted(bool muted);
    void setRate(float rate);
    void setZoom(double zoom);
    void setControlsVisible(bool visible);
    void setFullScreen(bool on);
    void setSlideshow(bool on);
    void setToast(const std::optional<QString> &text);
    void setFailed(const std::optional<QString> &text);
    void setPreparing(const std::optional<QString> &text);
    void setRotation(int degrees);
    void setShowAdjust(bool open);
    void setEqOn(bool on);
    void setEqBands(const QList<float> &bands);
    void setEqPreset(const QString &name);
    void setKeepPitch(bool on);
    void setEffectsAvailable(bool available);

signals:
    void filesChanged();
    void indexChanged();
    void kindChanged();
    void playingChanged();
    void currentChanged();
    void durationChanged();
    void volumeChanged();
    void mutedChanged();
    void rateChanged();
    void zoomChanged();
    void controlsVisibleChanged();
    void fullScreenChanged();
    void slideshowChanged();
    void toastChanged();
    void failedChanged();
    void preparingChanged();
    void rotationChanged();
    void showAdjustChanged();
    void eqOnChanged();
    void eqBandsChanged();
    void eqPresetChanged();
    void keepPitchChanged();
    void effectsAvailableChanged();
    void positionChanged();

private:
    template <typename T>
    void assign(T &field, const T &value, void (MediaPlayerModel::*notify)());

    QList<MediaEntry> m_files;
    int m_index = 0;
    PlayerMediaKind m_kind = PlayerMediaKind::video;
    bool m_playing = false;
    double m_current = 0;
    double m_duration = 0;
    float m_volume = 1.0f;
    bool m_muted = false;
    float m_rate = 1.0f;
    double m_zoom = 1.0;
    bool m_controlsVisible = true;
    bool m_fullScreen = false;
    bool m_slideshow = false;
    std::optional<QString> m_toast;
    std::optional<QString> m_failed;
    std::optional<QString> m_preparing;
    int m_rotation = 0;
    bool m_showAdjust = false;
    bool m_eqOn = false;
    QList<float> m_eqBands;
    QString m_eqPreset;
    bool m_keepPitch = true;
    bool m_effectsAvailable = true;
};
