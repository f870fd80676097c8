#pragma once

#include "engine/PlaybackTranscoder.h"
#include "media/MediaEntry.h"
#include "player/MediaPlayerModel.h"

#include <QObject>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

class PlayerAudioEffects;
class PlayerEngine;
class PlayerHistory;
class PlayerStage;
class QTimer;

// One player window's logic: loads an item of its list, plays it directly or
// through the transcoder, resumes, steps, runs the slideshow and acts on the user's
// commands. It talks to its window only through PlayerStage, so it runs headless.
// Everything here runs on the main thread.
class MediaPlayerController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(MediaPlayerModel *model READ model CONSTANT)

public:
    // Delays, in milliseconds; tests shorten them.
    struct Timing
    {
        int hideControls = 2500;
        int clearToast = 1100;
        int resumePoll = 500;
        int resumeWait = 30000;
        int scrollEnd = 300;
        double slideUnit = 1000;  // one "second" of player.slideSeconds
    };

    // What the controller builds its items with; the defaults are the real ones.
    struct Services
    {
        std::function<std::unique_ptr<PlayerEngine>(std::shared_ptr<PlayerAudioEffects>)> makeEngine;
        std::function<std::unique_ptr<PlaybackTranscoder>()> makeTranscoder;
        std::function<bool()> conversionAvailable;
        PlayerHistory *history = nullptr;  // null: PlayerHistory::current() at the time of the note
        Timing timing;

        static Services standard();
    };

    MediaPlayerController(const QList<MediaEntry> &entries, int index, Services services,
                          QObject *parent = nullptr);
    ~MediaPlayerController() override;

    // The window, once built; the controller does not own it. start() applies the
    // audio settings and loads the first item.
    void setStage(PlayerStage *stage);
    PlayerStage *stage() const { return m_stage; }
    void start();

    // Called when the window is gone (after windowWillClose): remove from the registry.
    std::function<void()> onClose;

    MediaPlayerModel *model() const { return m_model; }
    PlayerEngine *player() const { return m_player.get(); }
    PlaybackTranscoder *transcoder() const { return m_transcoder.get(); }
    std::optional<QString> streamPlaylist() const { return m_streamPlaylist; }
    const std::shared_ptr<PlayerAudioEffects> &audio() const { return m_audio; }

    // "0:00", "4:05", "1:02:03"; "0:00" when not finite.
    static QString clock(double seconds);

    // --- item and list ---
    Q_INVOKABLE void load();
    Q_INVOKABLE void step(int by);
    Q_INVOKABLE void togglePlay();
    Q_INVOKABLE void toggleSlideshow();
    Q_INVOKABLE void trashCurrent();
    Q_INVOKABLE void revealInFinder();
    Q_INVOKABLE void showControls();
    Q_INVOKABLE void showToast(const QString &text);
    Q_INVOKABLE void refocus();

    // --- window events ---
    void windowWillEnterFullScreen();
    void windowWillExitFullScreen();
    void windowWillClose();

    // --- commands on the current item ---
    // Where a seek to `seconds` may land: inside the item (`duration`, 0 when unknown)
    // and at least 2 s short of what has been converted (`available`, infinite when
    // all of it is). `limited` when the conversion held it back.
    static double reachable(double seconds, double duration, double available, bool *limited);
    double reachable(double seconds);
    Q_INVOKABLE void seekBy(double seconds);
    Q_INVOKABLE void seekTo(double seconds);
    Q_INVOKABLE void beginScrub();
    Q_INVOKABLE void scrub(double seconds);
    Q_INVOKABLE void endScrub();
    // A scroll over the bar: deltas in points; `precise` for trackpads; `inverted`
    // when the device scrolls naturally.
    Q_INVOKABLE void scrollSeek(double deltaX, double deltaY, bool precise, bool inverted);
    Q_INVOKABLE void frameStep(int frames);
    Q_INVOKABLE void setVolume(float volume, bool announce);
    Q_INVOKABLE void toggleMute();
    Q_INVOKABLE void setRate(float rate);
    Q_INVOKABLE void stepRate(bool faster);
    Q_INVOKABLE void setKeepPitch(bool on);
    Q_INVOKABLE void setEQ(bool on);
    Q_INVOKABLE void setEQBand(int index, float gain);
    Q_INVOKABLE void applyPreset(const QString &name);
    Q_INVOKABLE void rotate(int by);
    Q_INVOKABLE void setRotation(int degrees);
    Q_INVOKABLE void toggleFullScreen();
    Q_INVOKABLE void resetZoom();
    Q_INVOKABLE void zoom(double factor);
    // Called by the stage whenever its zoom changes.
    Q_INVOKABLE void zoomChanged(double zoom);
    void applyAudio();

    // For tests: scrub bookkeeping.
    bool scrubbing() const { return m_scrubbing; }
    bool seekInFlight() const { return m_seekInFlight; }
    std::optional<double> pendingSeek() const { return m_pendingSeek; }

signals:
    // The current item is ready and playing or paused (after any resume seek).
    void itemStarted();

private:
    struct Known
    {
        double duration = 0;
        std::optional<QSizeF> size;
        bool converting = false;
        QString playlist;
    };

    bool isCurrent(const MediaEntry &entry) const;
    void tearDownPlayer();
    void loadPicture(const MediaEntry &entry);
    void pictureDecoded(quint64 generation, const QImage &image);
    void playConverted(const MediaEntry &entry);
    void transcoderDone(const MediaEntry &entry, PlaybackTranscoder *source, const PlaybackTranscoder::Result &result);
    void startPlayer(const QUrl &url, const MediaEntry &entry, bool fallback, const std::optional<Known> &known);
    void playerReady();
    void playerFailed();
    void showArtwork();
    void resumeOrPlay();
    void waitForConversion(double position, int waited);
    void finishResume(double position);
    void playAtRate();
    void endOfItem();
    void timeReport(double seconds);
    void scheduleSlide();
    void hideControlsIfIdle();
    void sizeWindow(QSizeF size);
    void releasePlayer();
    void chase();
    void saveAudioSettings();
    QString volumeText() const;

    Services m_services;
    MediaPlayerModel *m_model;
    PlayerStage *m_stage = nullptr;
    std::shared_ptr<PlayerAudioEffects> m_audio;
    std::unique_ptr<PlayerEngine> m_player;
    std::unique_ptr<PlaybackTranscoder> m_transcoder;
    std::optional<QString> m_streamPlaylist;

    // The item being played: generation rises on every load and teardown, so a late
    // callback for an older item is recognised and dropped.
    quint64 m_generation = 0;
    std::optional<MediaEntry> m_playing;
    bool m_fallback = false;
    bool m_ready = false;
    std::optional<Known> m_known;

    QTimer *m_hideTimer;
    QTimer *m_toastTimer;
    QTimer *m_slideTimer;
    QTimer *m_scrollEndTimer;
    QTimer *m_resumeTimer;

    bool m_sizedOnce = false;
    bool m_scrubbing = false;
    bool m_scrubWasPlaying = false;
    bool m_seekInFlight = false;
    std::optional<double> m_pendingSeek;
    bool m_closed = false;
};
