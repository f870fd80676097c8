#include "engine/FFmpeg.h"

#include "core/MediaApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThreadPool>

#include <algorithm>
#include <climits>

namespace FFmpeg {

namespace {

constexpr qint64 probeLimitMs = 60000;

const QString &locations(int which)
{
    static const QString dir = MediaApp::resources() + QStringLiteral("/ffmpeg");
    static const QString tools[] = {dir, dir + QStringLiteral("/ffmpeg"), dir + QStringLiteral("/ffprobe")};
    return tools[which];
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

std::optional<double> number(QByteArrayView text)
{
    bool ok = false;
    const double value = QString::fromUtf8(text).trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// JSON decoding: a member may be missing or null; any other wrong type fails the
// whole probe, which the `ok` flag carries out.
struct Decoder
{
    bool ok = true;

    std::optional<QString> text(const QJsonObject &o, const char *key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString()) {
            ok = false;
            return std::nullopt;
        }
        return v.toString();
    }

    std::optional<int> integer(const QJsonValue &v)
    {
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        const double d = v.toDouble();
        if (!v.isDouble() || d != double(qint64(d)) || d < INT_MIN || d > INT_MAX) {
            ok = false;
            return std::nullopt;
        }
        return int(d);
    }

    std::optional<int> integer(const QJsonObject &o, const char *key)
    {
        return integer(o.value(QLatin1String(key)));
    }

    // An object whose every value `read` accepts; one refused value fails it all.
    template<typename T, typename Read>
    std::optional<QMap<QString, T>> map(const QJsonObject &o, const char *key, Read read)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isObject()) {
            ok = false;
            return std::nullopt;
        }
        QMap<QString, T> result;
        const QJsonObject obj = v.toObject();
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            const std::optional<T> value = read(it.value());
            if (!value) {
                ok = false;
                return std::nullopt;
            }
            result.insert(it.key(), *value);
        }
        return result;
    }

    std::optional<QMap<QString, QString>> textMap(const QJsonObject &o, const char *key)
    {
        return map<QString>(o, key, [](const QJsonValue &v) {
            return v.isString() ? std::optional(v.toString()) : std::nullopt;
        });
    }

    std::optional<QMap<QString, int>> intMap(const QJsonObject &o, const char *key)
    {
        return map<int>(o, key, [this](const QJsonValue &v) { return integer(v); });
    }

    std::optional<Stream> stream(const QJsonValue &v)
    {
        if (!v.isObject()) {
            ok = false;
            return std::nullopt;
        }
        const QJsonObject o = v.toObject();
        const auto index = integer(o, "index");
        if (!index) {
            ok = false;
            return std::nullopt;
        }
        Stream s;
        s.index = *index;
        s.codecType = text(o, "codec_type");
        s.codecName = text(o, "codec_name");
        s.width = integer(o, "width");
        s.height = integer(o, "height");
        s.channels = integer(o, "channels");
        s.sampleRate = text(o, "sample_rate");
        s.avgFrameRate = text(o, "avg_frame_rate");
        s.tags = textMap(o, "tags");
        s.disposition = intMap(o, "disposition");
        return ok ? std::optional<Stream>(s) : std::nullopt;
    }

    std::optional<Format> format(const QJsonObject &root)
    {
        const QJsonValue v = root.value(QLatin1String("format"));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isObject()) {
            ok = false;
            return std::nullopt;
        }
        const QJsonObject o = v.toObject();
        Format f;
        f.formatName = text(o, "format_name");
        f.duration = text(o, "duration");
        f.tags = textMap(o, "tags");
        return f;
    }
};

// Splits complete lines off `partial + chunk`, keeping an unfinished last line in
// `partial` for the next chunk. Empty lines are dropped.
QList<QByteArray> takeLines(QByteArray &partial, const QByteArray &chunk)
{
    partial += chunk;
    const qsizetype end = partial.lastIndexOf('\n');
    if (end < 0)
        return {};
    QList<QByteArray> lines;
    for (const QByteArray &line : partial.left(end).split('\n')) {
        if (!line.isEmpty())
            lines << line;
    }
    partial.remove(0, end + 1);
    return lines;
}

QStringList decodeLines(const QList<QByteArray> &lines)
{
    QStringList out;
    for (const QByteArray &line : lines) {
        QString text = QString::fromUtf8(line);
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        if (!text.isEmpty())
            out << text;
    }
    return out;
}

} // namespace

QString folder() { return locations(0); }
QString ffmpeg() { return locations(1); }
QString ffprobe() { return locations(2); }

bool available()
{
    return isExecutableFile(ffmpeg());
}

// --- Stream, Format, Probe ----------------------------------------------------------

double Stream::fps() const
{
    QList<double> numbers;
    for (const QString &piece : avgFrameRate.value_or(QString()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (const auto n = number(piece.toUtf8()))
            numbers << *n;
    }
    if (numbers.size() == 2 && numbers[1] > 0)
        return numbers[0] / numbers[1];
    return 0;
}

std::optional<QString> Stream::language() const
{
    if (tags && tags->contains(QStringLiteral("language")))
        return tags->value(QStringLiteral("language"));
    return std::nullopt;
}

std::optional<QString> Stream::title() const
{
    if (tags && tags->contains(QStringLiteral("title")))
        return tags->value(QStringLiteral("title"));
    return std::nullopt;
}

bool Stream::isAttachedPicture() const
{
    return disposition && disposition->value(QStringLiteral("attached_pic"), 0) == 1;
}

double Probe::duration() const
{
    if (!format || !format->duration)
        return 0;
    return number(format->duration->toUtf8()).value_or(0);
}

std::optional<Stream> Probe::video() const
{
    for (const Stream &s : streams) {
        if (s.codecType == QStringLiteral("video") && !s.isAttachedPicture())
            return s;
    }
    return std::nullopt;
}

QList<Stream> Probe::audio() const
{
    QList<Stream> out;
    for (const Stream &s : streams) {
        if (s.codecType == QStringLiteral("audio"))
            out << s;
    }
    return out;
}

QList<Stream> Probe::subtitles() const
{
    QList<Stream> out;
    for (const Stream &s : streams) {
        if (s.codecType == QStringLiteral("subtitle"))
            out << s;
    }
    return out;
}

bool Probe::hasCoverArt() const
{
    return std::any_of(streams.begin(), streams.end(), [](const Stream &s) { return s.isAttachedPicture(); });
}

double Probe::frameCount() const
{
    const auto v = video();
    return v ? v->fps() * duration() : 0;
}

std::optional<Probe> Probe::decode(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    const QJsonValue streams = root.value(QLatin1String("streams"));
    if (!streams.isArray())
        return std::nullopt;
    Decoder d;
    Probe probe;
    for (const QJsonValue &v : streams.toArray()) {
        const auto s = d.stream(v);
        if (!s)
            return std::nullopt;
        probe.streams << *s;
    }
    probe.format = d.format(root);
    if (!d.ok)
        return std::nullopt;
    return probe;
}

// --- probe ----------------------------------------------------------------------------

std::optional<Probe> probeNow(const QString &path)
{
    if (!isExecutableFile(ffprobe()))
        return std::nullopt;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(ffprobe(), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                              QStringLiteral("json"), QStringLiteral("-show_streams"), QStringLiteral("-show_format"),
                              path});
    if (!process.waitForStarted())
        return std::nullopt;
    // ffprobe reads headers only, so it ends quickly; a stuck one (a pipe or a hung
    // network mount behind the path) must not leave the caller waiting forever.
    const QDeadlineTimer deadline(probeLimitMs);
    QByteArray out;
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
        out += process.readAllStandardOutput();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    out += process.readAllStandardOutput();
    return Probe::decode(out);
}

void probe(const QString &path, QObject *context, ProbeResult done)
{
    QPointer<QObject> guard(context);
    auto deliver = [guard, done](std::optional<Probe> result) {
        if (!guard)
            return;
        QMetaObject::invokeMethod(
            guard.data(),
            [guard, done, result] {
                if (guard)
                    done(result);
            },
            Qt::QueuedConnection);
    };
    if (!isExecutableFile(ffprobe())) {
        deliver(std::nullopt);
        return;
    }
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool(QCoreApplication::instance());
        p->setObjectName(QStringLiteral("Moxtrel.probe"));
        p->setMaxThreadCount(4);
        return p;
    }();
    pool->start([path, deliver] { deliver(probeNow(path)); }, QThread::HighPriority);
}

// --- Job --------------------------------------------------------------------------------

QStringList Job::prefix()
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
            QStringLiteral("-progress"),    QStringLiteral("pipe:1"),   QStringLiteral("-nostats"),
            QStringLiteral("-loglevel"),    QStringLiteral("error")};
}

Job::Job(const QStringList &arguments, double duration, double frames, Progress progress, Finished finished,
         QObject *parent)
    : QObject(parent)
    , m_process(new QProcess(this))
    , m_duration(duration)
    , m_frames(frames)
    , m_progress(std::move(progress))
    , m_finished(std::move(finished))
{
    m_process->setProgram(ffmpeg());
    m_process->setArguments(prefix() + arguments);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &Job::readProgress);
    connect(m_process, &QProcess::readyReadStandardError, this, &Job::readErrors);
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        ended(code, status == QProcess::CrashExit);
    });
}

Job::~Job()
{
    // Released before it reported: stop ffmpeg quietly, no callbacks.
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

QStringList Job::arguments() const
{
    return m_process->arguments();
}

std::optional<QString> Job::start()
{
    m_process->start();
    if (!m_process->waitForStarted(-1)) {
        m_process->disconnect(this);
        return m_process->errorString();
    }
    return std::nullopt;
}

void Job::setWorkingDirectory(const QString &folder)
{
    m_process->setWorkingDirectory(folder);
}

bool Job::isRunning() const
{
    return m_process->state() == QProcess::Running;
}

void Job::cancel()
{
    m_cancelled = true;
    if (isRunning())
        m_process->terminate();  // SIGTERM
}

double Job::advance(double last, const QByteArray &chunk, double duration, double frames)
{
    double best = last;
    for (const QByteArray &line : chunk.split('\n')) {
        std::optional<double> candidate;
        if (line.startsWith("out_time_us=") && duration > 0) {
            if (const auto n = number(QByteArrayView(line).sliced(12)))
                candidate = *n / 1000000.0 / duration;
        } else if (line.startsWith("frame=") && frames > 0) {
            if (const auto n = number(QByteArrayView(line).sliced(6)))
                candidate = *n / frames;
        }
        if (candidate && *candidate >= best)
            best = *candidate;
    }
    return best > last ? std::min(best, 1.0) : last;
}

void Job::readProgress()
{
    const QList<QByteArray> lines = takeLines(m_outPartial, m_process->readAllStandardOutput());
    if (lines.isEmpty())
        return;
    const double next = advance(m_reported, lines.join('\n'), m_duration, m_frames);
    if (next > m_reported) {
        m_reported = next;
        // From the event loop, not inside QProcess's signal: the owner may react by
        // deleting the job.
        QMetaObject::invokeMethod(
            this,
            [this, next] {
                if (m_progress)
                    m_progress(next);
            },
            Qt::QueuedConnection);
    }
}

void Job::readErrors()
{
    appendErrorLines(decodeLines(takeLines(m_errPartial, m_process->readAllStandardError())));
}

void Job::appendErrorLines(const QStringList &lines)
{
    m_errorTail << lines;
    while (m_errorTail.size() > 6)
        m_errorTail.removeFirst();
}

void Job::ended(int exitCode, bool crashed)
{
    if (m_reportedEnd)
        return;
    m_reportedEnd = true;
    readProgress();
    readErrors();
    if (!m_errPartial.isEmpty()) {
        appendErrorLines(decodeLines({m_errPartial}));
        m_errPartial.clear();
    }
    std::optional<QString> message;
    if (m_cancelled) {
        message = QStringLiteral("Cancelled");
    } else if (exitCode != 0 || crashed) {
        if (!m_errorTail.isEmpty())
            message = m_errorTail.join(QLatin1Char('\n'));
        else
            message = QStringLiteral("FFmpeg stopped with code %1.").arg(exitCode);
    }
    // Report from the event loop, not from inside QProcess's signal, so the owner may
    // delete the job in `finished`; a job deleted before then reports nothing.
    // Posted after any progress report, so those arrive first.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            Finished finished = std::move(m_finished);
            m_progress = nullptr;
            if (finished)
                finished(message);
        },
        Qt::QueuedConnection);
}

} // namespace FFmpeg
