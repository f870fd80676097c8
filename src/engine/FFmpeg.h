#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QProcess;

// The one place that knows where the FFmpeg tools live and how to run them.
namespace FFmpeg {

// Locations, fixed on first use: <resources>/ffmpeg, .../ffmpeg/ffmpeg, .../ffmpeg/ffprobe.
QString folder();
QString ffmpeg();
QString ffprobe();

// True when `ffmpeg()` is an executable file; checked afresh on every call.
bool available();

// One element of ffprobe's "streams" array.
struct Stream
{
    int index = 0;
    std::optional<QString> codecType;   // "video", "audio", "subtitle", ...
    std::optional<QString> codecName;   // "h264", "hevc", ...
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> channels;
    std::optional<QString> sampleRate;  // ffprobe writes it as a string
    std::optional<QString> avgFrameRate; // a fraction such as "30000/1001"
    std::optional<QMap<QString, QString>> tags;
    std::optional<QMap<QString, int>> disposition;

    double fps() const;  // 0 unless avgFrameRate is exactly "a/b" with b > 0
    std::optional<QString> language() const;
    std::optional<QString> title() const;
    bool isAttachedPicture() const;  // disposition "attached_pic" == 1

    friend bool operator==(const Stream &, const Stream &) = default;
};

// ffprobe's "format" object.
struct Format
{
    std::optional<QString> formatName;
    std::optional<QString> duration;  // seconds as a decimal string
    std::optional<QMap<QString, QString>> tags;

    friend bool operator==(const Format &, const Format &) = default;
};

struct Probe
{
    QList<Stream> streams;
    std::optional<Format> format;

    double duration() const;               // 0 when unknown
    std::optional<Stream> video() const;   // first real video stream (not cover art)
    QList<Stream> audio() const;
    QList<Stream> subtitles() const;
    bool hasCoverArt() const;
    double frameCount() const;             // video fps x duration; 0 without video

    // Decodes ffprobe's JSON; absent when a required member is missing or any
    // member has the wrong JSON type.
    static std::optional<Probe> decode(const QByteArray &json);

    friend bool operator==(const Probe &, const Probe &) = default;
};

using ProbeResult = std::function<void(std::optional<Probe>)>;

// Probes a local file on a background thread and calls `done` on `context`'s thread
// (the main thread for the callers' models). `done` is dropped when `context` is
// destroyed first. Any failure, including a missing ffprobe, gives an absent probe.
void probe(const QString &path, QObject *context, ProbeResult done);

// The same probe, run on the calling thread (for callers already on a worker thread).
std::optional<Probe> probeNow(const QString &path);

// One ffmpeg run. Created by its owner, who holds it until `finished` has been called;
// a job deleted before that never calls back. Both callbacks run on the main thread:
// `progress` with a growing fraction in (0, 1], then `finished` exactly once with no
// message on success, "Cancelled" after cancel(), otherwise an error message.
class Job : public QObject
{
    Q_OBJECT

public:
    using Progress = std::function<void(double)>;
    using Finished = std::function<void(std::optional<QString>)>;

    // `arguments` follow the fixed prefix; `duration` (seconds) and `frames` are the
    // expected output length, each <= 0 when unknown. The process is prepared, not started.
    Job(const QStringList &arguments, double duration, double frames, Progress progress, Finished finished,
        QObject *parent = nullptr);
    ~Job() override;

    // The prefix every run gets: overwrite, no stdin, progress records on stdout, errors only.
    static QStringList prefix();

    // Launches ffmpeg. Returns the system's launch error when it cannot start; then
    // neither callback is ever called.
    std::optional<QString> start();

    bool isRunning() const;

    // The folder ffmpeg runs in (relative paths in the arguments resolve there).
    void setWorkingDirectory(const QString &folder);

    // Marks the job cancelled and sends SIGTERM when running.
    void cancel();

    bool cancelled() const { return m_cancelled; }
    QStringList errorTail() const { return m_errorTail; }  // last 6 error lines, oldest first
    QStringList arguments() const;                          // prefix + caller's arguments
    double reported() const { return m_reported; }

    // The progress value the given chunk of progress records moves `last` to
    // (never below `last`, never above 1); exposed for tests.
    static double advance(double last, const QByteArray &chunk, double duration, double frames);

private:
    void readProgress();
    void readErrors();
    void appendErrorLines(const QStringList &lines);
    void ended(int exitCode, bool crashed);

    QProcess *m_process = nullptr;
    double m_duration = 0;
    double m_frames = 0;
    Progress m_progress;
    Finished m_finished;
    bool m_cancelled = false;
    bool m_reportedEnd = false;
    double m_reported = 0;
    QStringList m_errorTail;
    QByteArray m_outPartial;
    QByteArray m_errPartial;
};

} // namespace FFmpeg
