// A 24-megapixel JPEG to a 1080-pixel JPEG: ConverterEngine::convertImage beside
// ImageMagick's `convert` doing the same job (fit in 1080 x 1080, quality 82).
//
//   bench_picture [RUNS] [NOISE] times RUNS conversions of each and prints medians; NOISE
//                               (0-100, default 30) sets how much detail the made JPEG has
//   bench_picture --once IN OUT one conversion, for measuring a process's peak memory
//
// Wall time is measured per run; CPU time and peak memory are each run's own
// process (GNU time), so ours includes loading Qt and libvips as `convert`
// includes loading ImageMagick.
#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

struct Sample
{
    double ms = 0;      // wall time
    double cpuMs = 0;   // user + system time, which the machine's load sways less
    long peakKiB = 0;
    bool ok = false;
};

// Runs a program to its end under GNU time, which forks it from its own small
// process: a child forked straight from this (large) process would inherit its
// peak memory figure.
Sample measure(const QStringList &command, const QString &report)
{
    QStringList full{QStringLiteral("/usr/bin/time"), QStringLiteral("-f"), QStringLiteral("%M %U %S"),
                     QStringLiteral("-o"), report};
    full << command;
    std::vector<QByteArray> storage;
    for (const QString &arg : std::as_const(full))
        storage.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    Sample sample;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return sample;
    int status = 0;
    waitpid(pid, &status, 0);
    sample.ms = timer.nsecsElapsed() / 1e6;
    QFile file(report);
    if (!file.open(QIODevice::ReadOnly))
        return sample;
    const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
    if (fields.size() != 3)
        return sample;
    sample.peakKiB = fields[0].toLong();
    sample.cpuMs = (fields[1].toDouble() + fields[2].toDouble()) * 1000;
    sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return sample;
}

// CPU time of every thread of this process so far (libvips decodes on workers).
double processCPUms()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int convertOnce(const QString &input, const QString &output)
{
    ConvertOptions options;
    options.maxSize = 1080;
    options.quality = ConvertQuality::balanced;
    const std::optional<ConvertError> error =
        ConverterEngine::convertImage(input, output, *ConvertTarget::byID(QStringLiteral("jpeg")), options);
    if (error)
        std::fprintf(stderr, "%s\n", qPrintable(error->description()));
    return error ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && QByteArrayView(argv[1]) == "--once") {
        QCoreApplication app(argc, argv);  // pictures need no GUI
        return convertOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const int noise = argc > 2 ? std::clamp(atoi(argv[2]), 0, 100) : 30;
    const QString input = dir.filePath(QStringLiteral("photo-6000x4000.jpg"));
    // A detailed test pattern with noise, so the JPEG is photo-sized (several MB).
    if (TestSupport::makeMedia(input, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                       QStringLiteral("testsrc2=s=6000x4000:d=1,noise=alls=%1:allf=t").arg(noise),
                                       QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-q:v"),
                                       QStringLiteral("3")})
            .isEmpty())
        return 1;
    std::printf("input: 6000 x 4000 JPEG, %.1f MB; %d runs each\n", QFileInfo(input).size() / 1e6, runs);

    const QString ours = dir.filePath(QStringLiteral("ours.jpg"));
    const QString theirs = dir.filePath(QStringLiteral("convert.jpg"));
    const QString report = dir.filePath(QStringLiteral("time.txt"));
    std::vector<double> inProcess, inProcessCPU, oursProcess, convertProcess, oursCPU, convertCPU;
    long oursPeak = 0, convertPeak = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        const double cpuBefore = processCPUms();
        timer.start();
        if (convertOnce(input, ours) != 0)
            return 1;
        inProcess.push_back(timer.nsecsElapsed() / 1e6);
        inProcessCPU.push_back(processCPUms() - cpuBefore);

        const Sample self =
            measure({QCoreApplication::applicationFilePath(), QStringLiteral("--once"), input, ours}, report);
        const Sample magick = measure({QStringLiteral("convert"), input, QStringLiteral("-resize"),
                                       QStringLiteral("1080x1080>"), QStringLiteral("-quality"), QStringLiteral("82"),
                                       theirs},
                                     report);
        if (!self.ok || !magick.ok) {
            std::fprintf(stderr, "a conversion failed (ours %d, convert %d)\n", self.ok, magick.ok);
            return 1;
        }
        oursProcess.push_back(self.ms);
        convertProcess.push_back(magick.ms);
        oursCPU.push_back(self.cpuMs);
        convertCPU.push_back(magick.cpuMs);
        oursPeak = std::max(oursPeak, self.peakKiB);
        convertPeak = std::max(convertPeak, magick.peakKiB);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("convertImage, in process:     median %7.1f ms, CPU %7.1f ms (min wall %.1f)\n",
                median(inProcess), median(inProcessCPU), *std::min_element(inProcess.begin(), inProcess.end()));
    std::printf("convertImage, whole process:  median %7.1f ms, CPU %7.1f ms, peak %6.1f MB\n",
                median(oursProcess), median(oursCPU), oursPeak / 1024.0);
    std::printf("ImageMagick convert:          median %7.1f ms, CPU %7.1f ms, peak %6.1f MB\n",
                median(convertProcess), median(convertCPU), convertPeak / 1024.0);
    std::printf("this bench process after %d in-process runs: peak %.1f MB\n", runs, usage.ru_maxrss / 1024.0);
    return 0;
}
