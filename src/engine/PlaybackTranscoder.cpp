#include "engine/PlaybackTranscoder.h"

#include "core/MediaApp.h"
#include "engine/FFmpeg.h"
#include "engine/LocalStreamServer.h"
#include "log/Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <limits>

#include <sys/stat.h>

namespace {

constexpr int pollMs = 250;
constexpr qint64 maxAgeSeconds = 86400;

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString lowerSuffix(const QString &path)
{
    return QFileInfo(path).suffix().toLower();
}

// ffmpeg expands "%" in the whole segment path but not in its temporary names, so
// a folder with "%" in it gets the pattern relative to ffmpeg's working directory,
// which is always the folder.
QString segmentPattern(const QString &folder)
{
    const QString name = QStringLiteral("seg%05d.m4s");
    return folder.contains(QLatin1Char('%')) ? name : folder + QLatin1Char('/') + name;
}

} // namespace

// --- static values ----------------------------------------------------------------

const QStringList &PlaybackTranscoder::unsupported()
{
    static const QStringList list{
        QStringLiteral("mkv"),  QStringLiteral("webm"), QStringLiteral("avi"),  QStringLiteral("wmv"),
        QStringLiteral("flv"),  QStringLiteral("f4v"),  QStringLiteral("ogv"),  QStringLiteral("rm"),
        QStringLiteral("rmvb"), QStringLiteral("asf"),  QStringLiteral("divx"), QStringLiteral("vob"),
        QStringLiteral("ts"),   QStringLiteral("m2ts"), QStringLiteral("mts"),  QStringLiteral("mxf"),
        QStringLiteral("opus"), QStringLiteral("ogg"),  QStringLiteral("oga"),  QStringLiteral("wma"),
        QStringLiteral("ape"),  QStringLiteral("wv"),   QStringLiteral("dsf"),  QStringLiteral("dff"),
        QStringLiteral("mka"),  QStringLiteral("dts"),  QStringLiteral("mpc"),  QStringLiteral("tta")};
    return list;
}

bool PlaybackTranscoder::needsConversion(const QString &path)
{
    const QString ext = lowerSuffix(path);
    return !ext.isEmpty() && unsupported().contains(ext);
}

bool PlaybackTranscoder::needsConversion(const QUrl &url)
{
    return needsConversion(url.path());
}

QString PlaybackTranscoder::cache()
{
    static const QString root =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Moxtrel/Playback");
    return root;
}

QString PlaybackTranscoder::timeText(double seconds)
{
    QString text = QString::number(seconds, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}

QString PlaybackTranscoder::key(const QString &path)
{
    double mtime = 0;
    qint64 size = 0;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        mtime = double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9;
        size = qint64(st.st_size);
    }
    const QString text = QStringLiteral("2|%1|%2|%3").arg(path, timeText(mtime), QString::number(size));
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.left(12).toHex());
}

PlaybackTranscoder::Plan PlaybackTranscoder::plan(const FFmpeg::Probe &probe)
{
    Plan plan;
    if (const auto video = probe.video()) {
        plan.hasVideo = true;
        plan.copyVideo = video->codecName == QStringLiteral("h264") || video->codecName == QStringLiteral("hevc");
        plan.hevc = video->codecName == QStringLiteral("hevc");
        if (video->width && video->height)
            plan.size = QSizeF(*video->width, *video->height);
    }
    const auto audio = probe.audio();
    if (!audio.isEmpty()) {
        plan.hasAudio = true;
        const QString codec = audio.first().codecName.value_or(QString());
        plan.copyAudio = codec == QStringLiteral("aac") || codec == QStringLiteral("ac3") || codec == QStringLiteral("eac3");
    }
    return plan;
}

QStringList PlaybackTranscoder::arguments(const Plan &plan, const QString &source, const QString &folder,
                                          const EncoderSet &encoders)
{
    QStringList args;
    if (plan.hasVideo && !plan.copyVideo)
        args << encoders.inputOptions();
    args << QStringLiteral("-i") << source;
    if (plan.hasVideo) {
        args << QStringLiteral("-map") << QStringLiteral("0:v:0");
        if (plan.copyVideo) {
            args << QStringLiteral("-c:v") << QStringLiteral("copy");
            if (plan.hevc)
                args << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
        } else {
            args << encoders.videoEncoder(EncoderSet::Codec::h264, 65) << QStringLiteral("-vf")
                 << encoders.videoFilter(QStringLiteral("format=yuv420p")) << QStringLiteral("-g")
                 << QStringLiteral("120");
        }
    }
    if (plan.hasAudio) {
        args << QStringLiteral("-map") << QStringLiteral("0:a:0");
        if (plan.copyAudio)
            args << QStringLiteral("-c:a") << QStringLiteral("copy");
        else
            args << encoders.audioEncoder(QStringLiteral("192k")) << QStringLiteral("-ac") << QStringLiteral("2");
    }
    args << QStringList{QStringLiteral("-sn"),
                        QStringLiteral("-dn"),
                        QStringLiteral("-f"),
                        QStringLiteral("hls"),
                        QStringLiteral("-hls_time"),
                        QStringLiteral("4"),
                        QStringLiteral("-hls_playlist_type"),
                        QStringLiteral("event"),
                        QStringLiteral("-hls_segment_type"),
                        QStringLiteral("fmp4"),
                        QStringLiteral("-hls_fmp4_init_filename"),
                        QStringLiteral("init.mp4"),
                        QStringLiteral("-hls_segment_filename"),
                        segmentPattern(folder),
                        QStringLiteral("-hls_flags"),
                        QStringLiteral("independent_segments+temp_file"),
                        folder + QStringLiteral("/index.m3u8")};
    return args;
}

bool PlaybackTranscoder::readyToPlay(const QString &playlistText)
{
    return playlistText.count(QLatin1String("#EXTINF")) >= 3 || playlistText.contains(QLatin1String("#EXT-X-ENDLIST"));
}

double PlaybackTranscoder::available(const QString &playlist)
{
    QFile file(playlist);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromUtf8(file.readAll());
    if (text.contains(QLatin1String("#EXT-X-ENDLIST")))
        return std::numeric_limits<double>::infinity();
    double total = 0;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1String("#EXTINF:")))
            continue;
        bool ok = false;
        const double value = line.mid(8).section(QLatin1Char(','), 0, 0).trimmed().toDouble(&ok);
        if (ok)
            total += value;
    }
    return total;
}

QFuture<void> PlaybackTranscoder::prune(const QString &root, const QDateTime &now)
{
    // Owned by the application, whose end then waits for a prune under way.
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool(QCoreApplication::instance());
        p->setObjectName(QStringLiteral("Moxtrel.prune"));
        p->setMaxThreadCount(1);
        p->setThreadPriority(QThread::LowPriority);
        return p;
    }();
    return QtConcurrent::run(pool, [root, now] {
        const QDir dir(root);
        if (!dir.exists())
            return;
        const QDateTime limit = now.addSecs(-maxAgeSeconds);
        const QFileInfoList entries =
            dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            const QDateTime modified = entry.lastModified();
            if (modified.isValid() && modified >= limit)
                continue;
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.absoluteFilePath()).removeRecursively();
            else
                QFile::remove(entry.absoluteFilePath());
        }
    });
}

std::optional<QUrl> PlaybackTranscoder::Ready::stream() const
{
    return LocalStreamServer::shared().url(playlist);
}

// --- one playback -------------------------------------------------------------------

PlaybackTranscoder::PlaybackTranscoder(const EncoderSet &encoders, const QString &cache, QObject *parent)
    : QObject(parent)
    , m_encoders(encoders)
    , m_cache(cache)
{
}

PlaybackTranscoder::PlaybackTranscoder(QObject *parent)
    : PlaybackTranscoder(EncoderSet::current(), cache(), parent)
{
}

PlaybackTranscoder::~PlaybackTranscoder()
{
    stop();
}

bool PlaybackTranscoder::isRunning() const
{
    return m_job && m_job->isRunning();
}

void PlaybackTranscoder::start(const QString &file, ReadyHandler ready)
{
    m_ready = std::move(ready);
    // Absolute, so ffmpeg never reads a name like "pipe:x" as a protocol.
    const QString path = QFileInfo(file).absoluteFilePath();
    FFmpeg::probe(path, this, [this, path](std::optional<FFmpeg::Probe> probe) { probed(path, probe); });
}

void PlaybackTranscoder::probed(const QString &path, const std::optional<FFmpeg::Probe> &probe)
{
    if (m_stopped)
        return;
    if (!probe) {
        report(ConvertError::message(MediaApp::name() + QStringLiteral(" couldn't read this file. It may be damaged.")));
        return;
    }
    m_duration = probe->duration();
    m_plan = plan(*probe);
    m_folder = m_cache + QLatin1Char('/') + key(path);
    const QString playlist = m_folder + QStringLiteral("/index.m3u8");

    if (readText(playlist).contains(QLatin1String("#EXT-X-ENDLIST"))) {
        m_complete = true;
        report(readyValue(false));
        return;
    }

    QDir(m_folder).removeRecursively();
    QDir().mkpath(m_folder);

    m_arguments = arguments(m_plan, path, m_folder, m_encoders);
    m_job = new FFmpeg::Job(m_arguments, m_duration, 0, nullptr,
                            [this](std::optional<QString> message) { jobFinished(message); }, this);
    if (QFileInfo(m_folder).isDir())
        m_job->setWorkingDirectory(m_folder);  // an unusable folder is ffmpeg's error to report
    if (const auto error = m_job->start()) {
        delete m_job;
        m_job = nullptr;
        report(ConvertError::message(*error));
        return;
    }
    const bool rewrapping = m_plan.copyVideo || !m_plan.hasVideo;
    Log::info(Log::Area::app, QStringLiteral("Player: %1 a %2 file for playback")
                                  .arg(rewrapping ? QStringLiteral("rewrapping") : QStringLiteral("converting"),
                                       lowerSuffix(path)));

    m_poll = new QTimer(this);
    m_poll->setInterval(pollMs);
    connect(m_poll, &QTimer::timeout, this, &PlaybackTranscoder::checkReady);
    // ffmpeg renames each playlist update into the folder; looking at once saves up
    // to a poll period before playback starts. The poll stays as the fallback.
    m_watcher = new QFileSystemWatcher(this);
    if (QFileInfo(m_folder).isDir())
        m_watcher->addPath(m_folder);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &PlaybackTranscoder::checkReady);
    checkReady();
    if (!m_reported && isRunning())
        m_poll->start();
}

void PlaybackTranscoder::stopChecking()
{
    if (m_poll)
        m_poll->stop();
    if (m_watcher) {
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}

PlaybackTranscoder::Ready PlaybackTranscoder::readyValue(bool converting) const
{
    return Ready{m_folder + QStringLiteral("/index.m3u8"), m_duration, m_plan.size, converting};
}

void PlaybackTranscoder::checkReady()
{
    if (m_reported || m_stopped) {
        stopChecking();
        return;
    }
    if (readyToPlay(readText(m_folder + QStringLiteral("/index.m3u8")))) {
        stopChecking();
        report(readyValue(m_plan.converting()));
        return;
    }
    if (!isRunning())
        stopChecking();  // the job's completion decides
}

void PlaybackTranscoder::jobFinished(const std::optional<QString> &message)
{
    // The job may be deleted by stop(), which the handler could trigger; let it go later.
    if (m_job) {
        m_job->deleteLater();
        m_job = nullptr;
    }
    if (!message)
        m_complete = true;
    if (m_reported)
        return;
    if (!message) {
        report(readyValue(m_plan.converting()));
        return;
    }
    if (const auto error = failure(*message))
        report(*error);
    else
        m_reported = true;  // cancelled: nothing to say
}

std::optional<ConvertError> PlaybackTranscoder::failure(const QString &message)
{
    if (message == QLatin1String("Cancelled"))
        return std::nullopt;
    if (message.contains(QLatin1String("invalid data"), Qt::CaseInsensitive))
        return ConvertError::message(QStringLiteral("This file looks damaged or isn't really a video or audio file."));
    const QStringList lines = message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return ConvertError::message(MediaApp::name() + QStringLiteral(" couldn't play this file. ") +
                                 (lines.isEmpty() ? QString() : lines.last()));
}

void PlaybackTranscoder::report(const Result &result)
{
    if (m_reported || m_stopped)
        return;
    m_reported = true;
    stopChecking();
    // Delivered from its own event, so the handler may stop or delete this transcoder.
    QMetaObject::invokeMethod(
        this,
        [this, result] {
            if (m_stopped || !m_ready)
                return;
            const ReadyHandler handler = std::move(m_ready);
            m_ready = nullptr;
            handler(result);
        },
        Qt::QueuedConnection);
}

void PlaybackTranscoder::stop()
{
    m_stopped = true;
    stopChecking();
    if (m_job) {
        m_job->cancel();
        delete m_job;  // a deleted job never reports
        m_job = nullptr;
    }
    if (!m_complete && !m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
    m_folder.clear();
}
