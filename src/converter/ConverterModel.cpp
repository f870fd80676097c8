#include "converter/ConverterModel.h"

#include "converter/ConverterEngine.h"
#include "converter/SizeSampler.h"
#include "core/MediaApp.h"
#include "core/Preferences.h"
#include "engine/ConverterSettings.h"
#include "log/Log.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString mp4CopyRefused = QStringLiteral(
    "This video's format can't go into MP4 without converting. Choose MP4 (H.264) instead.");

QString standardized(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Regular files of `dir` and of its direct subfolders, hidden entries skipped, in
// the file manager's order.
void collect(const QString &dir, int depth, QStringList &files)
{
    QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(entries.begin(), entries.end(), [&](const QFileInfo &a, const QFileInfo &b) {
        return collator.compare(a.fileName(), b.fileName()) < 0;
    });
    for (const QFileInfo &entry : std::as_const(entries)) {
        if (entry.isDir()) {
            if (depth < 2)
                collect(entry.absoluteFilePath(), depth + 1, files);
        } else if (entry.isFile()) {
            files << entry.absoluteFilePath();
        }
    }
}

bool isPageFolder(const QString &targetID)
{
    return targetID == QLatin1String("pdf-png") || targetID == QLatin1String("pdf-jpeg");
}

// What "mp4-copy" promises to carry: H.264/HEVC video with AAC, MP3 or AC-3 sound.
// ffmpeg would put other codecs into MP4 too, giving files most players refuse.
bool rewrapsIntoMP4(const FFmpeg::Probe &probe)
{
    const auto video = probe.video();
    if (video) {
        const QString codec = video->codecName.value_or(QString());
        if (codec != QLatin1String("h264") && codec != QLatin1String("hevc"))
            return false;
    }
    const QList<FFmpeg::Stream> audio = probe.audio();
    for (const FFmpeg::Stream &stream : audio) {
        const QString codec = stream.codecName.value_or(QString());
        if (codec != QLatin1String("aac") && codec != QLatin1String("mp3") && codec != QLatin1String("ac3"))
            return false;
    }
    return true;
}

void removeOutput(const QString &output)
{
    const QFileInfo info(output);
    if (info.isDir() && !info.isSymLink())
        QDir(output).removeRecursively();
    else if (info.exists() || info.isSymLink())
        QFile::remove(output);
}

QString resultWord(ConverterModel::Status::State state)
{
    switch (state) {
    case ConverterModel::Status::State::done:
        return QStringLiteral("done");
    case ConverterModel::Status::State::cancelled:
        return QStringLiteral("stopped");
    default:
        return QStringLiteral("failed");
    }
}

} // namespace

ConverterModel::ConverterModel(Preferences &prefs, QObject *parent)
    : QObject(parent)
    , m_prefs(prefs)
{
    for (const ConvertKind &kind : ConvertKind::allCases())
        m_choice.insert(kind.value(), ConverterSettings::choice(prefs, kind));
    m_quality = ConverterSettings::quality(prefs);
    m_maxSize = ConverterSettings::maxSize(prefs);
    m_folder = ConverterSettings::folder(prefs);
}

ConverterModel::~ConverterModel()
{
    // Stop ffmpeg without a report and take its partial file away; free held names.
    for (auto it = m_jobs.cbegin(); it != m_jobs.cend(); ++it) {
        delete it.value();
        removeOutput(m_outputs.value(it.key()));
    }
    for (const QString &output : std::as_const(m_outputs))
        ConverterEngine::release(output);
}

ConverterModel &ConverterModel::shared()
{
    static ConverterModel *model = new ConverterModel(Preferences::media());
    return *model;
}

std::optional<ConverterModel::Item> ConverterModel::item(const QUuid &id) const
{
    const int i = indexOf(id);
    return i < 0 ? std::nullopt : std::optional(m_items.at(i));
}

int ConverterModel::indexOf(const QUuid &id) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).id == id)
            return i;
    }
    return -1;
}

void ConverterModel::setStatus(const QUuid &id, const Status &status)
{
    const int i = indexOf(id);
    if (i < 0 || m_items.at(i).status == status)
        return;
    m_items[i].status = status;
    emit itemChanged(id);
}

void ConverterModel::setRunning(int running)
{
    if (m_running == running)
        return;
    m_running = running;
    emit runningChanged();
}

void ConverterModel::setSampling(bool sampling)
{
    if (m_sampling == sampling)
        return;
    m_sampling = sampling;
    emit samplingChanged();
}

// ---- adding and removing ----------------------------------------------------------

void ConverterModel::add(const QStringList &paths)
{
    QStringList files;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            collect(info.absoluteFilePath(), 1, files);
        else if (info.exists())
            files << info.absoluteFilePath();
    }
    int skipped = 0;
    QList<QUuid> added;
    for (const QString &file : std::as_const(files)) {
        const QString url = standardized(file);
        const bool queued = std::any_of(m_items.cbegin(), m_items.cend(), [&](const Item &item) {
            return item.url == url && item.status.isActive();
        });
        if (queued)
            continue;
        const auto kind = ConvertKind::of(url);
        if (!kind) {
            ++skipped;
            continue;
        }
        Item item;
        item.id = QUuid::createUuid();
        item.url = url;
        item.kind = *kind;
        item.size = QFileInfo(url).size();
        m_items << item;
        added << item.id;
    }
    if (!added.isEmpty())
        emit itemsChanged();
    for (const QUuid &id : std::as_const(added)) {
        const ConvertKind kind = m_items.at(indexOf(id)).kind;
        if (kind == ConvertKind::video || kind == ConvertKind::audio)
            probeItem(id);
    }
    if (m_skipped != skipped) {
        m_skipped = skipped;
        emit skippedChanged();
    }
}

void ConverterModel::probeItem(const QUuid &id)
{
    FFmpeg::probe(m_items.at(indexOf(id)).url, this, [this, id](std::optional<FFmpeg::Probe> probe) {
        const int i = indexOf(id);
        if (i < 0)
            return;
        m_items[i].probe = std::move(probe);
        m_items[i].probed = true;
        emit itemChanged(id);
        emit estimatesChanged();
        measureNext();
    });
}

void ConverterModel::remove(const QUuid &id)
{
    cancel(id);
    const int i = indexOf(id);
    if (i < 0)
        return;
    m_items.removeAt(i);
    emit itemsChanged();
}

void ConverterModel::cancel(const QUuid &id)
{
    if (FFmpeg::Job *job = m_jobs.value(id)) {
        job->cancel();
        return;
    }
    const int i = indexOf(id);
    if (i < 0)
        return;
    const Item &item = m_items.at(i);
    if (item.status.state == Status::State::waiting)
        setStatus(id, Status::cancelled());
    else if (item.status.state == Status::State::running && m_outputs.contains(id)
             && (item.kind == ConvertKind::video || item.kind == ConvertKind::audio))
        m_stopRequested.insert(id);  // still probing: stop before ffmpeg starts
}

void ConverterModel::cancelAll()
{
    const QList<Item> items = m_items;
    for (const Item &item : items) {
        if (item.status.state == Status::State::waiting)
            setStatus(item.id, Status::cancelled());
    }
    for (const Item &item : items) {
        if (item.status.state == Status::State::running)
            cancel(item.id);
    }
}

void ConverterModel::clearFinished()
{
    const qsizetype before = m_items.size();
    m_items.removeIf([](const Item &item) { return item.status.finished(); });
    if (m_items.size() != before)
        emit itemsChanged();
}

// ---- settings ---------------------------------------------------------------------

std::optional<ConvertTarget> ConverterModel::target(ConvertKind kind) const
{
    return ConvertTarget::byID(m_choice.value(kind.value()));
}

void ConverterModel::setChoice(const QString &targetID, ConvertKind kind)
{
    const QList<ConvertTarget> offered = ConvertTarget::targets(kind);
    const bool valid = std::any_of(offered.cbegin(), offered.cend(),
                                   [&](const ConvertTarget &t) { return t.id == targetID; });
    if (!valid || m_choice.value(kind.value()) == targetID)
        return;
    m_choice.insert(kind.value(), targetID);
    ConverterSettings::setChoice(m_prefs, kind, targetID);
    emit choiceChanged();
    emit estimatesChanged();
    measureNext();
}

void ConverterModel::setQuality(ConvertQuality quality)
{
    if (m_quality.value() == quality.value())
        return;
    m_quality = quality;
    ConverterSettings::setQuality(m_prefs, quality);
    emit qualityChanged();
    emit estimatesChanged();
    measureNext();
}

void ConverterModel::setMaxSize(int maxSize)
{
    if (!ConvertOptions::isValidMaxSize(maxSize) || m_maxSize == maxSize)
        return;
    m_maxSize = maxSize;
    ConverterSettings::setMaxSize(m_prefs, maxSize);
    emit maxSizeChanged();
    emit estimatesChanged();
    measureNext();
}

void ConverterModel::setFolder(const std::optional<QString> &folder)
{
    if (m_folder == folder)
        return;
    m_folder = folder;
    ConverterSettings::setFolder(m_prefs, folder);
    emit folderChanged();
}

void ConverterModel::setCombinePDF(bool combine)
{
    if (m_combinePDF == combine)
        return;
    m_combinePDF = combine;
    emit combinePDFChanged();
}

bool ConverterModel::hasFinished() const
{
    return std::any_of(m_items.cbegin(), m_items.cend(), [](const Item &item) { return item.status.finished(); });
}

int ConverterModel::pending() const
{
    return int(std::count_if(m_items.cbegin(), m_items.cend(),
                             [](const Item &item) { return item.status.state == Status::State::waiting; }));
}

QList<ConvertKind> ConverterModel::kinds() const
{
    QList<ConvertKind> result;
    for (const ConvertKind &kind : ConvertKind::allCases()) {
        const bool present = std::any_of(m_items.cbegin(), m_items.cend(), [&](const Item &item) {
            return item.kind == kind.value() && item.status.isActive();
        });
        if (present)
            result << kind;
    }
    return result;
}

// ---- converting -------------------------------------------------------------------

void ConverterModel::convertAll()
{
    combinePictures();
    startNext();
}

bool ConverterModel::combinePictures()
{
    if (!m_combinePDF || m_choice.value(ConvertKind::image) != QLatin1String("pdf"))
        return false;
    QList<QUuid> ids;
    QStringList pictures;
    for (const Item &item : std::as_const(m_items)) {
        if (item.kind == ConvertKind::image && item.status.state == Status::State::waiting) {
            ids << item.id;
            pictures << item.url;
        }
    }
    if (ids.size() < 2)
        return false;
    const QString dir = m_folder.value_or(QFileInfo(pictures.first()).absolutePath());
    const ConvertTarget pdf = *ConvertTarget::byID(QStringLiteral("pdf"));
    const QString output = ConverterEngine::outputURL(QDir(dir).filePath(QStringLiteral("Pictures")), pdf, dir, false);
    setRunning(m_running + 1);
    for (const QUuid &id : std::as_const(ids)) {
        m_outputs.insert(id, output);
        setStatus(id, Status::running(0));
    }
    const ConvertOptions opts = options();
    // Many large pictures take a while: off the main thread, like single pictures.
    QtConcurrent::run([pictures, output, opts] { return ConverterEngine::picturesToPDF(pictures, output, opts); })
        .then(this, [this, ids, output](std::optional<ConvertError> error) {
            finish(ids, ConvertKind::image, QStringLiteral("pdf"), output,
                   error ? Status::failed(error->description()) : Status::done(output));
        });
    return true;
}

void ConverterModel::startNext()
{
    while (m_running < maxRunning) {
        const auto next = std::find_if(m_items.begin(), m_items.end(), [](const Item &item) {
            return item.status.state == Status::State::waiting;
        });
        if (next == m_items.end())
            return;
        const auto chosen = target(next->kind);
        if (!chosen) {
            setStatus(next->id, Status::failed(QStringLiteral("Choose a format first.")));
            continue;
        }
        start(*next, *chosen);
    }
}

void ConverterModel::start(Item &item, const ConvertTarget &target)
{
    const QUuid id = item.id;
    const QString output = ConverterEngine::outputURL(item.url, target, folderPath(), isPageFolder(target.id));
    m_outputs.insert(id, output);
    setRunning(m_running + 1);
    setStatus(id, Status::running(0));
    const Item &current = m_items.at(indexOf(id));
    if (current.kind != ConvertKind::video && current.kind != ConvertKind::audio) {
        startInBackground(current, target, output);
    } else if (!FFmpeg::available()) {
        const QString name = MediaApp::name();
        const Status failed = Status::failed(QStringLiteral("The converter's FFmpeg is missing from ") + name
                                             + QStringLiteral(". Reinstall ") + name + QStringLiteral("."));
        const ConvertKind kind = current.kind;
        QTimer::singleShot(0, this, [=, this] { finish({id}, kind, target.id, output, failed); });
    } else {
        startFFmpeg(id, target, output);
    }
}

void ConverterModel::startFFmpeg(const QUuid &id, const ConvertTarget &target, const QString &output)
{
    FFmpeg::probe(m_items.at(indexOf(id)).url, this, [=, this](std::optional<FFmpeg::Probe> probe) {
        runJob(id, target, output, probe);
    });
}

void ConverterModel::runJob(const QUuid &id, const ConvertTarget &target, const QString &output,
                            const std::optional<FFmpeg::Probe> &probe)
{
    const int i = indexOf(id);
    const bool stop = m_stopRequested.remove(id);
    if (i < 0 || stop) {
        finish({id}, i < 0 ? ConvertKind(ConvertKind::video) : m_items.at(i).kind, target.id, output, Status::cancelled());
        return;
    }
    const Item item = m_items.at(i);
    const auto fail = [&](const QString &message) { finish({id}, item.kind, target.id, output, Status::failed(message)); };
    if (item.kind == ConvertKind::video && target.output == ConvertKind::audio && probe && probe->audio().isEmpty())
        return fail(QStringLiteral("This video has no sound to save."));
    if (item.kind == ConvertKind::video && probe && !probe->video())
        return fail(QStringLiteral("No picture found in this file."));
    if (target.id == QLatin1String("mp4-copy") && probe && !rewrapsIntoMP4(*probe))
        return fail(mp4CopyRefused);

    const QStringList args = ConverterEngine::ffmpegArguments(item.url, output, target, item.kind, probe, options());
    const double duration = probe ? probe->duration() : 0;
    const double frames = probe && target.output == ConvertKind::video ? probe->frameCount() : 0;
    const ConvertKind kind = item.kind;
    auto *job = new FFmpeg::Job(
        args, duration, frames,
        [this, id](double progress) {
            const int at = indexOf(id);
            if (at >= 0 && m_items.at(at).status.state == Status::State::running)
                setStatus(id, Status::running(progress));
        },
        [=, this](std::optional<QString> message) {
            Status status = Status::done(output);
            if (message && *message == QLatin1String("Cancelled"))
                status = Status::cancelled();
            else if (message)
                status = Status::failed(describeFailure(target.id, *message));
            finish({id}, kind, target.id, output, status);
        },
        this);
    m_jobs.insert(id, job);
    if (const auto error = job->start()) {
        m_jobs.remove(id);
        job->deleteLater();
        fail(*error);
    }
}

void ConverterModel::startInBackground(const Item &item, const ConvertTarget &target, const QString &output)
{
    const QUuid id = item.id;
    const QString input = item.url;
    const ConvertKind kind = item.kind;
    const ConvertOptions opts = options();
    // Pictures, PDFs and documents (LibreOffice takes seconds) all run off the main thread.
    QtConcurrent::run([=]() -> std::optional<ConvertError> {
        switch (kind) {
        case ConvertKind::image:
            return ConverterEngine::convertImage(input, output, target, opts);
        case ConvertKind::pdf:
            return ConverterEngine::convertPDF(input, output, target, opts);
        default:
            return ConverterEngine::convertDocument(input, output, target);
        }
    }).then(this, [=, this](std::optional<ConvertError> error) {
        finish({id}, kind, target.id, output, error ? Status::failed(error->description()) : Status::done(output));
    });
}

void ConverterModel::finish(const QList<QUuid> &ids, ConvertKind kind, const QString &targetID,
                            const QString &output, const Status &status)
{
    setRunning(m_running - 1);
    for (const QUuid &id : ids) {
        if (FFmpeg::Job *job = m_jobs.take(id))
            job->deleteLater();
        m_outputs.remove(id);
        m_stopRequested.remove(id);
    }
    if (status.state != Status::State::done)
        removeOutput(output);
    for (const QUuid &id : ids)
        setStatus(id, status);
    if (m_running == 0)
        measureNext();
    Log::info(Log::Area::app, QStringLiteral("Converter: ") + kind.id() + QStringLiteral(" → ") + targetID
                                  + QLatin1Char(' ') + resultWord(status.state));
    startNext();
    ConverterEngine::release(output);
}

QString ConverterModel::describeFailure(const QString &targetID, const QString &message)
{
    const QString lower = message.toLower();
    if (targetID == QLatin1String("mp4-copy")
        && (lower.contains(QLatin1String("codec")) || lower.contains(QLatin1String("not supported"))
            || lower.contains(QLatin1String("could not find tag"))))
        return mp4CopyRefused;
    if (lower.contains(QLatin1String("no space left")))
        return QStringLiteral("The disk is full.");
    if (lower.contains(QLatin1String("permission denied")))
        return MediaApp::name() + QStringLiteral(" isn't allowed to save in that folder. Choose another folder.");
    if (lower.contains(QLatin1String("invalid data")))
        return QStringLiteral("This file looks damaged or isn't really a video or audio file.");
    const QStringList lines = message.split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (!it->trimmed().isEmpty())
            return *it;
    }
    return message;
}

// ---- size estimates ---------------------------------------------------------------

QString ConverterModel::sampleKey(const QUuid &id, const QString &targetID, ConvertQuality quality, int maxSize)
{
    return id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('|') + targetID + QLatin1Char('|') + quality.id()
        + QLatin1Char('|') + QString::number(maxSize);
}

std::optional<qint64> ConverterModel::estimate(const Item &item, const ConvertTarget &target) const
{
    if (ConverterEngine::needsSample(target)) {
        const QString key = sampleKey(item.id, target.id, m_quality, m_maxSize);
        return m_sampled.contains(key) ? std::optional(m_sampled.value(key)) : std::nullopt;
    }
    return ConverterEngine::calculatedSize(target, item.probe, item.size, options());
}

bool ConverterModel::isEstimating(const Item &item, const ConvertTarget &target) const
{
    if (!item.probed)
        return item.kind == ConvertKind::video || item.kind == ConvertKind::audio;
    // A file without a picture is never sampled, so it must not wait for one.
    if (!ConverterEngine::needsSample(target) || item.kind != ConvertKind::video || !item.probe
        || item.probe->duration() <= 0 || !item.probe->video())
        return false;
    const QString key = sampleKey(item.id, target.id, m_quality, m_maxSize);
    return !m_sampled.contains(key) && !m_failedSamples.contains(key);
}

ConverterModel::Total ConverterModel::estimatedTotal(ConvertKind kind, const ConvertTarget &target) const
{
    Total total;
    for (const Item &item : m_items) {
        if (item.kind != kind.value() || !item.status.isActive())
            continue;
        if (const auto bytes = estimate(item, target)) {
            total.bytes += *bytes;
            total.any = true;
        } else if (isEstimating(item, target)) {
            total.pending = true;
        }
    }
    return total;
}

qint64 ConverterModel::originalTotal(ConvertKind kind) const
{
    qint64 total = 0;
    for (const Item &item : m_items) {
        if (item.kind == kind.value() && item.status.isActive())
            total += item.size;
    }
    return total;
}

void ConverterModel::measureNext()
{
    if (m_sampling || m_running != 0)
        return;
    const auto chosen = target(ConvertKind::video);
    if (!chosen || !ConverterEngine::needsSample(*chosen))
        return;
    const ConvertTarget target = *chosen;
    const auto next = std::find_if(m_items.cbegin(), m_items.cend(), [&](const Item &item) {
        return item.kind == ConvertKind::video && item.status.state == Status::State::waiting && item.probe
            && item.probe->duration() > 0 && item.probe->video() && isEstimating(item, target);
    });
    if (next == m_items.cend())
        return;
    const QString key = sampleKey(next->id, target.id, m_quality, m_maxSize);
    const QString input = next->url;
    const FFmpeg::Probe probe = *next->probe;
    const ConvertOptions opts = options();
    setSampling(true);
    QtConcurrent::run([=] { return SizeSampler::measure(input, probe.duration(), target, probe, opts); })
        .then(this, [this, key](std::optional<qint64> size) {
            setSampling(false);
            if (size)
                m_sampled.insert(key, *size);
            else
                m_failedSamples.insert(key);
            emit estimatesChanged();
            measureNext();
        });
}
