// MediaFile::siblings over a folder of 10,000 files with known extensions, next to
// `ls -f` on the same folder. Usage: bench_siblings [COUNT]
// "bench_siblings --list FILE" lists FILE's folder once (for counting system calls).
#include "media/MediaFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// CPU time of this process: on a shared, loaded machine wall time mostly measures waiting.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("--list")) {
        const auto list = MediaFile::siblings(QUrl::fromLocalFile(app.arguments().value(2)));
        std::printf("%lld\n", static_cast<long long>(list.size()));
        return 0;
    }
    const int count = app.arguments().value(1).toInt() > 0 ? app.arguments().value(1).toInt() : 10000;
    QTemporaryDir dir;
    const QStringList extensions = MediaFile::videoExtensionList() + MediaFile::audioExtensionList();
    for (int i = 0; i < count; ++i) {
        QFile file(dir.filePath(QStringLiteral("Episode %1.%2").arg(i).arg(extensions[i % extensions.size()])));
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    const QUrl first = QUrl::fromLocalFile(dir.filePath(QStringLiteral("Episode 0.mkv")));

    constexpr int runs = 9;
    std::vector<double> siblingsMs, siblingsCpuMs, lsMs;
    qsizetype listed = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuMs();
        listed = MediaFile::siblings(first).size();
        siblingsCpuMs.push_back(cpuMs() - cpuStart);
        siblingsMs.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        QProcess ls;
        ls.setStandardOutputFile(QProcess::nullDevice());
        ls.start(QStringLiteral("ls"), {QStringLiteral("-f"), dir.path()});
        ls.waitForFinished();
        lsMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("folder: %s (%d files)\n", qPrintable(dir.path()), count);
    std::printf("MediaFile::siblings: %.1f ms wall, %.1f ms CPU, median of %d runs (%lld listed)\n",
                median(siblingsMs), median(siblingsCpuMs), runs, static_cast<long long>(listed));
    std::printf("ls -f (process included): %.1f ms median of %d runs\n", median(lsMs), runs);
    return listed == count ? 0 : 1;
}
