#pragma once

#include "engine/ConvertError.h"
#include "engine/EncoderSet.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <variant>

class QFileSystemWatcher;
class QTimer;

namespace FFmpeg {
class Job;
struct Probe;
}

// Turns a file the player cannot open into an HLS event playlist of fMP4 segments in
// a scratch folder, copying H.264/HEVC and AAC/AC-3 and re-encoding the rest. One
// object serves one playback of one file; all of it runs on the main thread except
// the probe and ffmpeg itself. Finished conversions stay, keyed by the file's path,
// modification time and size, so the same file plays at once next time.
class PlaybackTranscoder : public QObject
{
    Q_OBJECT

public:
    // What the player needs to begin playing.
    struct Ready
    {
        QString playlist;             // <folder>/index.m3u8
        double duration = 0;          // the source's probed duration, 0 when unknown
        std::optional<QSizeF> size;   // the main video stream's frame size
        bool converting = false;      // video re-encoded (or no video to copy)

        // The loopback URL the player opens (LocalStreamServer::shared()).
        std::optional<QUrl> stream() const;

        friend bool operator==(const Ready &, const Ready &) = default;
    };
    using Result = std::variant<Ready, ConvertError>;
    using ReadyHandler = std::function<void(const Result &)>;

    // What start() decided about a probed file.
    struct Plan
    {
        bool hasVideo = false;
        bool copyVideo = false;
        bool hevc = false;
        bool hasAudio = false;
        bool copyAudio = false;
        std::optional<QSizeF> size;

        bool converting() const { return !copyVideo; }
    };

    // `encoders` re-encode what cannot be copied; `cache` is the scratch root.
    PlaybackTranscoder(const EncoderSet &encoders, const QString &cache, QObject *parent = nullptr);
    // The run's encoder set and the user's scratch root.
    explicit PlaybackTranscoder(QObject *parent = nullptr);
    ~PlaybackTranscoder() override;  // stops, as stop() does

    // The 28 lower-case extensions that always go through the transcoder.
    static const QStringList &unsupported();
    static bool needsConversion(const QString &path);
    static bool needsConversion(const QUrl &url);

    // $XDG_CACHE_HOME/Moxtrel/Playback, fixed on first use.
    static QString cache();

    // The scratch folder name: 24 hex digits of SHA-256("2|path|mtime|size").
    static QString key(const QString &path);
    // The mtime text of that key: shortest exact decimal with at least one decimal place.
    static QString timeText(double secondsSince1970);

    static Plan plan(const FFmpeg::Probe &probe);
    // ffmpeg's arguments after the runner's fixed prefix.
    static QStringList arguments(const Plan &plan, const QString &source, const QString &folder,
                                 const EncoderSet &encoders);

    // Begins work on a local file. `ready` gets a Ready or an error, on the main thread,
    // at most once; never after stop() or once this object is gone. The handler may
    // stop or delete the transcoder.
    void start(const QString &path, ReadyHandler ready);

    // Cancels ffmpeg and deletes the scratch folder unless it holds a finished conversion.
    void stop();

    // The error a failed ffmpeg message becomes; nothing for "Cancelled".
    static std::optional<ConvertError> failure(const QString &message);

    // Whether a playlist's text lists three segments or is complete.
    static bool readyToPlay(const QString &playlistText);

    // Seconds of stream listed so far; infinity once the playlist is complete.
    static double available(const QString &playlist);

    // Removes scratch folders modified before `now` minus a day (and unreadable ones),
    // on a background thread.
    static QFuture<void> prune(const QString &root = cache(), const QDateTime &now = QDateTime::currentDateTimeUtc());

    QString folder() const { return m_folder; }
    bool complete() const { return m_complete; }
    bool isRunning() const;
    QStringList lastArguments() const { return m_arguments; }

private:
    void probed(const QString &path, const std::optional<FFmpeg::Probe> &probe);
    void checkReady();
    void stopChecking();
    void jobFinished(const std::optional<QString> &message);
    void report(const Result &result);
    Ready readyValue(bool converting) const;

    EncoderSet m_encoders;
    QString m_cache;
    ReadyHandler m_ready;
    FFmpeg::Job *m_job = nullptr;
    QTimer *m_poll = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QString m_folder;
    QStringList m_arguments;
    Plan m_plan;
    double m_duration = 0;
    bool m_complete = false;
    bool m_reported = false;
    bool m_stopped = false;
};
