// Wall time of one conversion through ConverterModel against plain ffmpeg run with
// the same arguments, alternating, several rounds; prints medians and the overhead.
//   bench_convertqueue [SECONDS=60] [SIZE=1920x1080] [TARGET=mp4] [ROUNDS=3]
#include "converter/ConverterEngine.h"
#include "converter/ConverterModel.h"
#include "core/Preferences.h"
#include "engine/ConvertTypes.h"
#include "engine/FFmpeg.h"
#include "bench_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

double plainRun(const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess ffmpeg;
    ffmpeg.setStandardOutputFile(QProcess::nullDevice());
    ffmpeg.start(FFmpeg::ffmpeg(), args);
    ffmpeg.waitForFinished(-1);
    if (ffmpeg.exitCode() != 0)
        qFatal("plain ffmpeg failed");
    return timer.elapsed() / 1000.0;
}

double queueRun(const QString &source, const QString &target, QString *output)
{
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath(QStringLiteral("p.json")));
    ConverterModel model(prefs);
    model.setChoice(target, ConvertKind::video);
    model.add({source});
    QEventLoop loop;
    QObject::connect(&model, &ConverterModel::runningChanged, &loop, [&] {
        if (model.running() == 0)
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    model.convertAll();
    loop.exec();
    const double seconds = timer.elapsed() / 1000.0;
    const ConverterModel::Item item = model.items().first();
    if (item.status.state != ConverterModel::Status::State::done)
        qFatal("queue conversion failed: %s", qPrintable(item.status.message));
    *output = item.status.output;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("ZENTROVA_MEDIA_RESOURCES"))
        qputenv("ZENTROVA_MEDIA_RESOURCES", (app.applicationDirPath() + QStringLiteral("/../resources")).toUtf8());
    const QStringList a = app.arguments();
    const int seconds = a.value(1, QStringLiteral("60")).toInt();
    const QString size = a.value(2, QStringLiteral("1920x1080"));
    const QString targetID = a.value(3, QStringLiteral("mp4"));
    const int rounds = a.value(4, QStringLiteral("3")).toInt();

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.mkv"));
    std::printf("making a %d s %s H.264/AAC source...\n", seconds, qPrintable(size));
    if (!makeBenchSource(source, seconds, size))
        return 1;
    const auto probe = FFmpeg::probeNow(source);
    const ConvertTarget target = *ConvertTarget::byID(targetID);
    const QString plainOut = dir.filePath(QStringLiteral("plain.") + target.ext);
    const QStringList plainArgs = FFmpeg::Job::prefix()
        + ConverterEngine::ffmpegArguments(source, plainOut, target, ConvertKind::video, probe, {});

    QList<double> plain, queue;
    for (int round = 1; round <= rounds; ++round) {
        plain << plainRun(plainArgs);
        QFile::remove(plainOut);
        QString output;
        queue << queueRun(source, targetID, &output);
        QFile::remove(output);
        std::printf("round %d: plain ffmpeg %.2f s, queue %.2f s\n", round, plain.last(), queue.last());
    }
    const double p = median(plain), q = median(queue);
    std::printf("%s, %d s %s: median plain %.2f s, queue %.2f s, overhead %+.2f %% (goal < 2 %%)\n",
                qPrintable(targetID), seconds, qPrintable(size), p, q, (q / p - 1) * 100);
    return 0;
}
