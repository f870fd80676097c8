// Open to first decoded video frame: PlayerEngine::open() of a local 1080p H.264
// MP4 until the first frame reaches a QVideoSink (and until Ready), wall time.
// The first open of the process (plugins loading) is reported apart from the
// following warm opens. bench_firstframe.sh runs gst-play-1.0 beside it.
//
//   bench_firstframe FILE.mp4 [RUNS] [--warm-up]
#include "player/PlayerAudioEffects.h"
#include "player/PlayerEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QUrl>
#include <QVideoSink>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <vector>

namespace {

struct Times
{
    double frame = -1;
    double ready = -1;
};

Times openOnce(const QString &path)
{
    QVideoSink sink;
    PlayerEngine engine(std::make_shared<PlayerAudioEffects>());
    engine.setAudioSinkFactory("fakesink");
    engine.setVideoSink(&sink);
    Times times;
    QEventLoop loop;
    QElapsedTimer clock;
    QObject::connect(&sink, &QVideoSink::videoFrameChanged, &loop, [&] {
        if (times.frame < 0)
            times.frame = clock.nsecsElapsed() / 1e6;
        if (times.ready >= 0)
            loop.quit();
    });
    QObject::connect(&engine, &PlayerEngine::statusChanged, &loop, [&](PlayerEngine::Status status) {
        if (status == PlayerEngine::Status::Ready && times.ready < 0)
            times.ready = clock.nsecsElapsed() / 1e6;
        if (status == PlayerEngine::Status::Failed)
            loop.quit();
        if (times.frame >= 0 && times.ready >= 0)
            loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    clock.start();
    engine.open(QUrl::fromLocalFile(path));
    loop.exec();
    if (times.frame < 0)
        std::fprintf(stderr, "no frame: %s\n", qPrintable(engine.errorString()));
    return times;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_firstframe FILE.mp4 [RUNS]\n");
        return 2;
    }
    const int runs = args.size() > 2 ? args.at(2).toInt() : 10;
    const bool warm = args.contains(QStringLiteral("--warm-up"));
    if (warm) {
        // As the application does at start-up, long before the first item.
        std::promise<void> loaded;
        PlayerEngine::warmUp([&] { loaded.set_value(); });
        loaded.get_future().wait();
    }
    const Times first = openOnce(args.at(1));
    if (first.frame < 0) {
        std::fprintf(stderr, "no frame arrived\n");
        return 1;
    }
    std::vector<double> frames, readies;
    for (int i = 0; i < runs; ++i) {
        const Times t = openOnce(args.at(1));
        frames.push_back(t.frame);
        readies.push_back(t.ready);
    }
    std::printf("PlayerEngine, first open in the process%s: first frame %.1f ms, ready %.1f ms\n",
                warm ? " after PlayerEngine::warmUp()" : "", first.frame, first.ready);
    std::printf("PlayerEngine, %d warm opens (median): first frame %.1f ms, ready %.1f ms (min %.1f, max %.1f)\n",
                runs, median(frames), median(readies), *std::min_element(frames.begin(), frames.end()),
                *std::max_element(frames.begin(), frames.end()));
    return 0;
}
