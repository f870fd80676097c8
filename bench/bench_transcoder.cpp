// Playback transcoder speed:
//  1. start -> Ready for a 10-minute 1080p H.264/AAC MKV (rewrap), fresh scratch
//     folder each run (goal: under 0.5 s);
//  2. re-encode of a 1080p VP9/Opus WebM: the transcoder's whole conversion against
//     plain ffmpeg run with the same arguments, as a speed ratio (goal: >= 0.97).
// Usage: bench_transcoder [media folder] [rewrap|reencode]
// (media is made in the folder once and reused; both parts run by default)

#include "engine/EncoderSet.h"
#include "engine/FFmpeg.h"
#include "engine/PlaybackTranscoder.h"

#include "support/EngineMedia.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

#include <sys/resource.h>

namespace {

QTextStream out(stdout);

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

QString ensure(const QString &path, const std::function<QString()> &make)
{
    if (QFileInfo(path).size() > 0)
        return path;
    out << "making " << path << " ..." << Qt::endl;
    return make();
}

// Seconds from start() to the report; `complete` also waits for ffmpeg to finish.
double timeTranscoder(const QString &source, const QString &cache, bool complete, QStringList *args = nullptr)
{
    PlaybackTranscoder transcoder(EncoderSet::current(), cache);
    bool failed = false;
    // A blocking event loop, so waiting takes no CPU from ffmpeg.
    QEventLoop loop;
    QElapsedTimer timer;
    timer.start();
    transcoder.start(source, [&](const PlaybackTranscoder::Result &r) {
        failed = std::holds_alternative<ConvertError>(r);
        loop.quit();
    });
    loop.exec();
    double seconds = timer.nsecsElapsed() / 1e9;
    if (complete && !failed) {
        QTimer check;
        int idleChecks = 0;  // ffmpeg gone but its report not in yet
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (transcoder.complete() || (!transcoder.isRunning() && ++idleChecks > 200))
                loop.quit();
        });
        check.start(5);
        loop.exec();
        seconds = timer.nsecsElapsed() / 1e9;
        failed = !transcoder.complete();
    }
    if (args)
        *args = transcoder.lastArguments();
    if (failed) {
        out << "transcoder failed" << Qt::endl;
        return -1;
    }
    return seconds;
}

// The same work done by hand, for comparison: ffprobe with the transcoder's arguments,
// then ffmpeg with its arguments, watched every 5 ms until three segments are listed.
double timeRawTools(const QString &source, const QStringList &transcoderArgs, const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    QProcess probe;
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.start(FFmpeg::ffprobe(), {"-v", "error", "-print_format", "json", "-show_streams", "-show_format", source});
    probe.waitForFinished(-1);
    QProcess ffmpeg;
    ffmpeg.start(FFmpeg::ffmpeg(), FFmpeg::Job::prefix() + transcoderArgs);
    ffmpeg.waitForStarted(-1);
    const QString playlist = folder + QStringLiteral("/index.m3u8");
    for (;;) {
        QFile file(playlist);
        if (file.open(QIODevice::ReadOnly) && PlaybackTranscoder::readyToPlay(QString::fromUtf8(file.readAll())))
            break;
        if (ffmpeg.waitForFinished(5))
            break;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    ffmpeg.kill();
    ffmpeg.waitForFinished(-1);
    return seconds;
}

// User and system time of every child process waited for so far.
double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds to start and end a tool doing nothing: the floor of every launch.
double launchFloor(const QString &tool)
{
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(tool, {QStringLiteral("-version")});
        process.waitForFinished(-1);
        runs << timer.nsecsElapsed() / 1e9;
    }
    return median(runs);
}

double timePlainFFmpeg(const QStringList &args)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(FFmpeg::ffmpeg(), FFmpeg::Job::prefix() + args);
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    return process.exitCode() == 0 ? seconds : -1;
}

int benchRewrap(const QString &dir)
{
    out << QStringLiteral("launch floor: ffprobe -version %1 s, ffmpeg -version %2 s (medians of 5)")
               .arg(launchFloor(FFmpeg::ffprobe()), 0, 'f', 3)
               .arg(launchFloor(FFmpeg::ffmpeg()), 0, 'f', 3)
        << Qt::endl;
    const QString mkv = ensure(dir + QStringLiteral("/tenmin1080.mkv"), [&] {
        // Ten seconds encoded once, then repeated sixty times without re-encoding.
        const QString clip = EngineMedia::h264AacMkv(dir, 10, QStringLiteral("1920x1080"), QStringLiteral("clip1080.mkv"));
        if (clip.isEmpty())
            return QString();
        const QString path = dir + QStringLiteral("/tenmin1080.mkv");
        const int rc = TestSupport::run(QStringLiteral("ffmpeg"),
                                        {"-hide_banner", "-loglevel", "error", "-y", "-stream_loop", "59", "-i", clip,
                                         "-map", "0", "-c", "copy", path},
                                        nullptr, 600000);
        return rc == 0 ? path : QString();
    });
    if (mkv.isEmpty())
        return 1;
    QList<double> ready, raw;
    for (int i = 0; i < 7; ++i) {
        QTemporaryDir cache;
        QStringList args;
        const double s = timeTranscoder(mkv, cache.path(), false, &args);
        if (s < 0)
            return 1;
        ready << s;
        QTemporaryDir other;
        args.replaceInStrings(QFileInfo(args.last()).path(), other.path());
        raw << timeRawTools(mkv, args, other.path());
    }
    out << QStringLiteral("rewrap start->Ready, 10 min 1080p H.264/AAC MKV: median %1 s, min %2 s, max %3 s (7 runs)")
               .arg(median(ready), 0, 'f', 3)
               .arg(*std::min_element(ready.begin(), ready.end()), 0, 'f', 3)
               .arg(*std::max_element(ready.begin(), ready.end()), 0, 'f', 3)
        << Qt::endl;
    out << QStringLiteral("the same by hand (ffprobe, then ffmpeg watched every 5 ms): median %1 s").arg(median(raw), 0, 'f', 3)
        << Qt::endl;
    return 0;
}

int benchReencode(const QString &dir)
{
    const QString webm = ensure(dir + QStringLiteral("/vp9-1080.webm"), [&] {
        return EngineMedia::vp9OpusWebm(dir, 20, QStringLiteral("1920x1080"), QStringLiteral("vp9-1080.webm"));
    });
    if (webm.isEmpty())
        return 1;
    // Wall time is what the goal is about; the tools' CPU time (waited-for children)
    // is printed beside it because it barely moves when other work shares the machine.
    QList<double> ours, plain, oursCpu, plainCpu;
    for (int i = 0; i < 3; ++i) {
        QTemporaryDir cacheA;
        QStringList args;
        double cpu = childCpuSeconds();
        const double a = timeTranscoder(webm, cacheA.path(), true, &args);
        oursCpu << childCpuSeconds() - cpu;
        QTemporaryDir cacheB;
        const QString folder = QFileInfo(args.last()).path();
        args.replaceInStrings(folder, cacheB.path());
        cpu = childCpuSeconds();
        const double b = timePlainFFmpeg(args);
        plainCpu << childCpuSeconds() - cpu;
        if (a < 0 || b < 0)
            return 1;
        ours << a;
        plain << b;
        out << QStringLiteral("  run %1: transcoder %2 s (cpu %3 s), plain ffmpeg %4 s (cpu %5 s)")
                   .arg(i + 1)
                   .arg(a, 0, 'f', 2)
                   .arg(oursCpu.last(), 0, 'f', 2)
                   .arg(b, 0, 'f', 2)
                   .arg(plainCpu.last(), 0, 'f', 2)
            << Qt::endl;
    }
    out << QStringLiteral("re-encode 20 s 1080p VP9/Opus WebM: transcoder median %1 s, plain ffmpeg median %2 s, "
                          "speed ratio %3 (cpu-time ratio %4)")
               .arg(median(ours), 0, 'f', 2)
               .arg(median(plain), 0, 'f', 2)
               .arg(median(plain) / median(ours), 0, 'f', 3)
               .arg(median(plainCpu) / median(oursCpu), 0, 'f', 3)
        << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + QStringLiteral("/zm-bench");
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QDir().mkpath(dir);
    out << "encoder set: " << EncoderSet::current().h264() << " / " << EncoderSet::current().aac() << Qt::endl;
    if ((only.isEmpty() || only == QLatin1String("rewrap")) && benchRewrap(dir) != 0)
        return 1;
    if ((only.isEmpty() || only == QLatin1String("reencode")) && benchReencode(dir) != 0)
        return 1;
    return 0;
}
