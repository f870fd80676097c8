#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class PlayerAudioEffects;
class QTimer;
class QVideoSink;

// The system player of one player window, over GStreamer playbin3. It plays one
// item at a time: a local file or an HTTP(S) URL, HLS playlists included (over
// HTTP only: GStreamer 1.22's HLS reader does not fetch file:// segments).
// Every call and every signal is on the main thread; nothing here waits on the
// pipeline. Audio runs through the window's PlayerAudioEffects (boost and
// equalizer) on every item that has audio.
//
// Typical use: open(url); wait for status Ready (or Failed); setRate(1) plays;
// setRate(0) pauses. Seek completions come back through their callback.
class PlayerEngine : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUrl url READ url NOTIFY urlChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString errorString READ errorString NOTIFY statusChanged)
    Q_PROPERTY(bool playing READ isPlaying NOTIFY rateChanged)
    Q_PROPERTY(float rate READ rate WRITE setRate NOTIFY rateChanged)
    Q_PROPERTY(bool keepPitch READ keepPitch WRITE setKeepPitch NOTIFY keepPitchChanged)
    Q_PROPERTY(float volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool muted READ isMuted WRITE setMuted NOTIFY mutedChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(QSize naturalSize READ naturalSize NOTIFY naturalSizeChanged)
    Q_PROPERTY(int videoRotation READ videoRotation NOTIFY naturalSizeChanged)
    Q_PROPERTY(bool hasAudio READ hasAudio NOTIFY tracksChanged)
    Q_PROPERTY(bool hasVideo READ hasVideo NOTIFY tracksChanged)
    Q_PROPERTY(QImage coverImage READ coverImage NOTIFY coverImageChanged)

public:
    enum class Status {
        Idle,     // nothing open
        Loading,  // opened, not yet able to play
        Ready,    // the first frame/sample is decoded: the item can play ("playable")
        Failed,   // the item cannot be played; errorString says why
    };
    Q_ENUM(Status)

    // `finished` is false when the seek was replaced by a newer one, or the item
    // was closed before the seek completed.
    using SeekDone = std::function<void(bool finished)>;

    explicit PlayerEngine(std::shared_ptr<PlayerAudioEffects> effects, QObject *parent = nullptr);
    ~PlayerEngine() override;

    // Loads GStreamer and the plugins playback needs on a background thread, so
    // the first item opened later does not pay for it. Call once at start-up;
    // returns at once. `done`, when given, is called on that thread afterwards.
    static void warmUp(std::function<void()> done = {});

    // The audio output element, by GStreamer factory name; "autoaudiosink" unless set,
    // which after warmUp() stands for the output it settled on. Tests use "fakesink".
    // Takes effect at the next open().
    void setAudioSinkFactory(const QByteArray &factory);

    // Starts loading `url` paused at its start, replacing any current item.
    void open(const QUrl &url);
    // Releases the current item; status becomes Idle.
    void close();

    QUrl url() const { return m_url; }
    Status status() const { return m_status; }
    bool isReady() const { return m_status == Status::Ready; }
    // A plain-words reason when status is Failed, otherwise empty.
    QString errorString() const { return m_error; }

    // Rate 0 pauses; a rate above 0 plays at that speed (clamped to 0.1...4).
    // Setting a rate while Loading applies it once ready; without an item, or on a
    // failed one, it is ignored. After the end, playing starts over from the start.
    float rate() const { return m_rate; }
    void setRate(float rate);
    bool isPlaying() const { return m_rate > 0.f; }
    void pause() { setRate(0.f); }

    // On: speed changes keep the pitch (scaletempo). Off: pitch follows speed.
    // Switching on the current item keeps its position and rate.
    bool keepPitch() const { return m_keepPitch; }
    void setKeepPitch(bool on);

    // 0...1, the player's own volume; boost above 1 is PlayerAudioEffects' gain.
    float volume() const { return m_volume; }
    void setVolume(float volume);
    bool isMuted() const { return m_muted; }
    void setMuted(bool muted);

    // Seconds; the item's current time (0 when unknown).
    double position() const;
    // Seconds; 0 until known. A growing HLS playlist reports its growing length.
    double duration() const { return m_duration; }

    // Seeks to `seconds`. Zero tolerances seek exactly; any tolerance makes it a
    // fast seek to a keyframe (for MP4, the one at or before `seconds`). `done`
    // runs on the main thread, from the event loop, never inside this call.
    void seek(double seconds, double toleranceBefore = 0, double toleranceAfter = 0,
              SeekDone done = {});
    // Pauses, then moves by `frames` video frames (negative goes back).
    void stepFrames(int frames);

    // Pixel size of the video as shown (pixel shape and rotation tag applied);
    // empty without video or until known.
    QSize naturalSize() const { return m_naturalSize; }
    // Clockwise degrees (0, 90, 180, 270) from the stream's rotation tag. Frames
    // handed to the video sink carry it as their rotation angle.
    int videoRotation() const { return m_rotation; }

    // Known once Ready.
    bool hasAudio() const { return m_hasAudio; }
    bool hasVideo() const { return m_hasVideo; }

    // The picture embedded in a song's tags, null when there is none.
    QImage coverImage() const { return m_cover; }

    // Where decoded video frames go; may be null. Not owned.
    void setVideoSink(QVideoSink *sink);
    QVideoSink *videoSink() const;

    // The window's audio effects, shared with the audio taps.
    const std::shared_ptr<PlayerAudioEffects> &audioEffects() const { return m_effects; }

    // Opaque outside PlayerEngine.cpp: the GStreamer side and its bridge to this object.
    struct Pipeline;
    class Relay;

signals:
    void urlChanged();
    void statusChanged(PlayerEngine::Status status);
    void rateChanged();
    void keepPitchChanged();
    void volumeChanged();
    void mutedChanged();
    void durationChanged();
    void naturalSizeChanged();
    void tracksChanged();
    void coverImageChanged();
    // Every 0.25 s while an item is Ready, with the current time in seconds.
    void timeReport(double seconds);
    // The item played to its end; the engine is paused (rate 0) at the end.
    void endOfStream();
    // The item failed (status is Failed); `message` equals errorString().
    void errorOccurred(const QString &message);

private:
    friend class Relay;

    bool buildPipeline();
    void dropPipeline();
    void reload();
    void handleMessage(void *message);  // a GstMessage*, on the main thread
    void handleAsyncDone();
    void handleEndOfStream();
    void handleError(void *message);
    bool retryStream();
    bool startPreroll();  // false when the state change failed at once
    void reloadStuckItem();
    void handleTags(void *message);
    void handleStreams(void *message);
    void readVideoCaps();
    void deliverFrame();
    void report();
    void updateDuration();
    void startSeek(double seconds, bool exact, float rate);
    void finishSeeks(bool finished);
    void applyRate();
    void setStatus(Status status);
    void fail(const QString &message);
    void resetItemState();

    std::shared_ptr<PlayerAudioEffects> m_effects;
    std::unique_ptr<Pipeline> m_pipeline;
    std::shared_ptr<Relay> m_relay;
    QPointer<QVideoSink> m_videoSink;
    QTimer *m_timer = nullptr;
    QTimer *m_loadWatchdog = nullptr;  // a first preroll that never comes
    QByteArray m_audioSinkFactory = QByteArrayLiteral("autoaudiosink");

    QUrl m_url;
    Status m_status = Status::Idle;
    QString m_error;
    float m_rate = 0.f;
    float m_appliedRate = 0.f;
    bool m_keepPitch = true;
    float m_volume = 1.f;
    bool m_muted = false;
    double m_duration = 0;
    QSize m_naturalSize;
    int m_rotation = 0;
    bool m_hasAudio = false;
    bool m_hasVideo = false;
    QImage m_cover;
    bool m_prerolled = false;     // the current pipeline reached PAUSED once
    bool m_atEnd = false;
    double m_lastFrameTime = -1;  // seconds, stream time of the newest frame
    double m_frameDuration = 0;   // seconds, from the video caps
    std::vector<SeekDone> m_seekWaiters;
    std::optional<double> m_seekTarget;                     // a flushing seek in flight
    std::optional<std::pair<double, bool>> m_deferredSeek;  // asked before ready: at, exact
    std::optional<double> m_reloadPosition;                 // rebuilding the pipeline at
    int m_streamRetries = 0;                                // reopenings of a growing stream
    int m_loadRetries = 0;                                  // rebuilds of a stuck first preroll
};
