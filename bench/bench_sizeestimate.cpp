// Accuracy and cost of the sampled size estimate: for each target, SizeSampler's
// estimate and its time beside the real conversion's size and time.
//   bench_sizeestimate [SECONDS=600] [SIZE=1920x1080] [TARGETS=mp4,webm] [SOURCE]
#include "converter/ConverterEngine.h"
#include "converter/SizeSampler.h"
#include "engine/ConvertTypes.h"
#include "engine/FFmpeg.h"
#include "bench_source.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("ZENTROVA_MEDIA_RESOURCES"))
        qputenv("ZENTROVA_MEDIA_RESOURCES", (app.applicationDirPath() + QStringLiteral("/../resources")).toUtf8());
    const QStringList a = app.arguments();
    const int seconds = a.value(1, QStringLiteral("600")).toInt();
    const QString size = a.value(2, QStringLiteral("1920x1080"));
    const QStringList targets = a.value(3, QStringLiteral("mp4,webm")).split(QLatin1Char(','));
    QTemporaryDir dir;
    QString source = a.value(4);
    if (source.isEmpty() || !QFileInfo::exists(source)) {
        if (source.isEmpty())
            source = dir.filePath(QStringLiteral("source.mkv"));
        if (!makeBenchSource(source, seconds, size))
            return 1;
    }
    const auto probe = FFmpeg::probeNow(source);
    if (!probe)
        return 1;
    for (const QString &id : targets) {
        const ConvertTarget target = *ConvertTarget::byID(id);
        QElapsedTimer timer;
        timer.start();
        const auto estimate = SizeSampler::measure(source, probe->duration(), target, probe, {});
        const double estimateSeconds = timer.elapsed() / 1000.0;
        const QString output = dir.filePath(QStringLiteral("full.") + target.ext);
        timer.restart();
        QProcess ffmpeg;
        ffmpeg.setStandardOutputFile(QProcess::nullDevice());
        ffmpeg.start(FFmpeg::ffmpeg(), FFmpeg::Job::prefix()
                                           + ConverterEngine::ffmpegArguments(source, output, target, ConvertKind::video,
                                                                              probe, {}));
        ffmpeg.waitForFinished(-1);
        const double fullSeconds = timer.elapsed() / 1000.0;
        const qint64 real = QFileInfo(output).size();
        std::printf("%s: estimate %lld B in %.1f s; real %lld B in %.1f s; error %+.1f %% (goal within 25 %%); "
                    "time %.1f %% of the conversion (goal under 15 %%)\n",
                    qPrintable(id), (long long)estimate.value_or(-1), estimateSeconds, (long long)real, fullSeconds,
                    (double(estimate.value_or(0)) / double(real) - 1) * 100, estimateSeconds / fullSeconds * 100);
        QFile::remove(output);
    }
    return 0;
}
