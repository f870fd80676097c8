#include "converter/SizeSampler.h"

#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"
#include "engine/FFmpeg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUuid>

#include <unistd.h>

namespace SizeSampler {

QList<double> sliceStarts(double duration)
{
    if (duration <= wholeFileUpTo)
        return {};
    QList<double> starts;
    for (const double centre : {0.2, 0.5, 0.8})
        starts << std::max(0.0, duration * centre - sliceSeconds / 2);
    return starts;
}

QStringList sliceArguments(const QString &input, const QString &output, double start, const ConvertTarget &target,
                           const std::optional<FFmpeg::Probe> &probe, const ConvertOptions &options)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
                     QStringLiteral("-loglevel"), QStringLiteral("error")};
    if (start >= 0) {
        // Before "-i", so ffmpeg seeks in the input instead of decoding up to the slice.
        args << QStringLiteral("-ss") << QString::number(start, 'f', 3) << QStringLiteral("-t")
             << QString::number(sliceSeconds, 'f', 3);
    }
    return args + ConverterEngine::ffmpegArguments(input, output, target, ConvertKind::video, probe, options);
}

namespace {

// Runs one slice in the background priority class; its size in bytes, or absent.
std::optional<qint64> runSlice(const QStringList &args, const QString &output)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { (void)::nice(10); });
    process.start(FFmpeg::ffmpeg(), args);
    if (!process.waitForStarted() || !process.waitForFinished(-1))
        return std::nullopt;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QFile::remove(output);
        return std::nullopt;
    }
    const QFileInfo info(output);
    if (!info.isFile())
        return std::nullopt;
    const qint64 size = info.size();
    QFile::remove(output);
    return size;
}

} // namespace

std::optional<qint64> measure(const QString &input, double duration, const ConvertTarget &target,
                              const std::optional<FFmpeg::Probe> &probe, const ConvertOptions &options)
{
    if (!FFmpeg::available() || duration <= 0)
        return std::nullopt;
    QList<double> starts = sliceStarts(duration);
    const bool whole = starts.isEmpty();
    if (whole)
        starts << -1;
    qint64 total = 0;
    for (const double start : std::as_const(starts)) {
        const QString output = QDir::temp().filePath(QStringLiteral("converter-estimate-")
                                                     + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                                                     + QLatin1Char('.') + target.ext);
        const auto size = runSlice(sliceArguments(input, output, start, target, probe, options), output);
        if (!size)
            return std::nullopt;
        total += *size;
    }
    if (whole)
        return total;
    return static_cast<qint64>(duration * double(total) / (starts.size() * sliceSeconds) * keyframeCorrection);
}

} // namespace SizeSampler
