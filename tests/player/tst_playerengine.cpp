// The GStreamer player on real media made by ffmpeg, with a recording audio sink
// and a QVideoSink in place of the window.
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include "support/TestSupport.h"
#include "log/Log.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerEngine.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

// What the recording sink saw since the last reset.
struct Heard
{
    std::mutex lock;
    qint64 frames = 0;
    float peak = 0;
    double segmentRate = 0;
    double appliedRate = 0;
    int rate = 0;
    int channels = 0;

    void reset()
    {
        std::lock_guard guard(lock);
        frames = 0;
        peak = 0;
        segmentRate = appliedRate = 0;
    }
} heard;

struct RecordingSink
{
    GstBaseSink parent;
};
struct RecordingSinkClass
{
    GstBaseSinkClass parent_class;
};

GType recording_sink_get_type();
G_DEFINE_TYPE(RecordingSink, recording_sink, GST_TYPE_BASE_SINK)

gboolean recordCaps(GstBaseSink *, GstCaps *caps)
{
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    std::lock_guard guard(heard.lock);
    gst_structure_get_int(s, "rate", &heard.rate);
    gst_structure_get_int(s, "channels", &heard.channels);
    return TRUE;
}

gboolean recordEvent(GstBaseSink *sink, GstEvent *event)
{
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        std::lock_guard guard(heard.lock);
        heard.segmentRate = segment->rate;
        heard.appliedRate = segment->applied_rate;
    }
    return GST_BASE_SINK_CLASS(recording_sink_parent_class)->event(sink, event);
}

GstFlowReturn recordBuffer(GstBaseSink *, GstBuffer *buffer)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_OK;
    std::lock_guard guard(heard.lock);
    const auto *samples = reinterpret_cast<const float *>(map.data);
    const qsizetype count = qsizetype(map.size / sizeof(float));
    for (qsizetype i = 0; i < count; ++i)
        heard.peak = std::max(heard.peak, std::fabs(samples[i]));
    heard.frames += count / std::max(heard.channels, 1);
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

void recording_sink_class_init(RecordingSinkClass *klass)
{
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/x-raw,format=F32LE,layout=interleaved"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &sinkTemplate);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Recording sink", "Sink/Audio",
                                          "Counts what it is given", "tests");
    auto *base = GST_BASE_SINK_CLASS(klass);
    base->set_caps = recordCaps;
    base->event = recordEvent;
    base->render = recordBuffer;
}

void recording_sink_init(RecordingSink *self)
{
    gst_base_sink_set_sync(GST_BASE_SINK(self), TRUE);
}

const char *const formatError = "This file isn't in a format that can be played.";

} // namespace

class TestPlayerEngine : public QObject
{
    Q_OBJECT

    TestSupport::TempHome m_home;  // the log of failed items goes here
    QTemporaryDir m_dir;
    QString m_clip, m_long, m_rotated, m_song, m_silent, m_text, m_hls;
    QString m_cover;
    QProcess m_http;
    int m_httpPort = 0;

    std::unique_ptr<PlayerEngine> makeEngine(std::shared_ptr<PlayerAudioEffects> effects = {})
    {
        if (!effects)
            effects = std::make_shared<PlayerAudioEffects>();
        auto engine = std::make_unique<PlayerEngine>(effects);
        engine->setAudioSinkFactory("zmrecordingsink");
        return engine;
    }

    static bool waitReady(PlayerEngine &engine)
    {
        return QTest::qWaitFor([&] { return engine.status() != PlayerEngine::Status::Loading; }, 30000)
               && engine.status() == PlayerEngine::Status::Ready;
    }

    static QString video(const QString &path, const QString &duration, bool audio = true)
    {
        QStringList args{"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:d=" + duration};
        if (audio)
            args << "-f" << "lavfi" << "-i" << "sine=frequency=1000:sample_rate=48000:d=" + duration;
        args << "-c:v" << "libx264" << "-pix_fmt" << "yuv420p" << "-g" << "25" << "-keyint_min" << "25"
             << "-sc_threshold" << "0";
        if (audio)
            args << "-c:a" << "aac" << "-b:a" << "128k";
        return TestSupport::makeMedia(path, args);
    }

    static double frameSeconds(const QVideoSink &sink) { return sink.videoFrame().startTime() / 1e6; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        gst_init(nullptr, nullptr);
        QVERIFY(gst_element_register(nullptr, "zmrecordingsink", GST_RANK_NONE,
                                     recording_sink_get_type()));
        const QString d = m_dir.path();
        m_clip = video(d + "/clip.mp4", "2");
        m_long = video(d + "/long.mp4", "4");
        m_silent = video(d + "/silent.mp4", "1", false);
        QVERIFY(!m_clip.isEmpty() && !m_long.isEmpty() && !m_silent.isEmpty());
        m_rotated = TestSupport::makeMedia(d + "/rotated.mp4",
                                           {"-i", m_silent, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
        m_cover = TestSupport::makeMedia(d + "/cover.png",
                                         {"-f", "lavfi", "-i", "color=c=red:s=64x48", "-frames:v", "1"});
        QVERIFY(!m_rotated.isEmpty() && !m_cover.isEmpty());
        m_song = TestSupport::makeMedia(
            d + "/song.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:d=1", "-i", m_cover, "-map", "0",
                              "-map", "1", "-c:a", "libmp3lame", "-c:v", "png", "-disposition:v",
                              "attached_pic", "-id3v2_version", "3"});
        QVERIFY(!m_song.isEmpty());
        QDir(d).mkpath("hls");
        m_hls = TestSupport::makeMedia(d + "/hls/index.m3u8",
                                       {"-i", m_clip, "-c", "copy", "-f", "hls", "-hls_segment_type", "fmp4",
                                        "-hls_time", "1", "-hls_playlist_type", "event"});
        QVERIFY(!m_hls.isEmpty());
        m_text = d + "/notes.mp4";
        QFile text(m_text);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("These are notes, not a movie.\n");
        text.close();

        // A plain static file server on loopback for the HTTP rows.
        m_http.setProcessChannelMode(QProcess::MergedChannels);
        m_http.start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                          "--directory", d});
        QVERIFY(m_http.waitForStarted());
        const QRegularExpression port("port (\\d+)");
        QByteArray said;
        while (m_httpPort == 0 && m_http.waitForReadyRead(10000)) {
            said += m_http.readAll();
            if (const auto match = port.match(QString::fromUtf8(said)); match.hasMatch())
                m_httpPort = match.captured(1).toInt();
        }
        QVERIFY2(m_httpPort > 0, said.constData());
    }

    void cleanupTestCase()
    {
        m_http.kill();
        m_http.waitForFinished();
    }

    void init() { heard.reset(); }

    void warmUpLoadsThePlaybackPlugins()
    {
        std::atomic<bool> done = false;
        PlayerEngine::warmUp([&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 30000);
        for (const char *name : {"playback", "isomp4", "libav", "adaptivedemux2"}) {
            GstPlugin *plugin = gst_registry_find_plugin(gst_registry_get(), name);
            QVERIFY2(plugin, name);
            QVERIFY2(gst_plugin_is_loaded(plugin), name);
            gst_object_unref(plugin);
        }
        // It also settled which output the sound goes to, so opens need not probe.
        static const QRegularExpression chosen(QStringLiteral("Player: sound goes to (\\S+)$"));
        QString factory;
        for (const QString &line : Log::tail(50))
            if (const auto m = chosen.match(line); m.hasMatch())
                factory = m.captured(1);
        QVERIFY(!factory.isEmpty());
        QVERIFY(factory != QLatin1String("autoaudiosink"));
        GstElementFactory *found = gst_element_factory_find(factory.toLatin1().constData());
        QVERIFY2(found, qPrintable(factory));
        gst_object_unref(found);
    }

    void playsToItsEnd()
    {
        auto engine = makeEngine();
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        QSignalSpy reports(engine.get(), &PlayerEngine::timeReport);
        engine->open(QUrl::fromLocalFile(m_clip));
        QCOMPARE(engine->status(), PlayerEngine::Status::Loading);
        QVERIFY(waitReady(*engine));
        QVERIFY(engine->hasAudio());
        QVERIFY(engine->hasVideo());
        QVERIFY(std::fabs(engine->duration() - 2.0) < 0.1);
        QCOMPARE(engine->naturalSize(), QSize(320, 240));
        QVERIFY(!engine->isPlaying());

        engine->setRate(1);
        QVERIFY(engine->isPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        QVERIFY(!engine->isPlaying());
        QCOMPARE(engine->rate(), 0.f);

        QVERIFY(reports.count() >= 3);
        double last = -1;
        for (const auto &report : reports) {
            const double at = report.at(0).toDouble();
            QVERIFY2(at >= last - 1e-6, qPrintable(QString("%1 after %2").arg(at).arg(last)));
            last = at;
        }
        QVERIFY2(std::fabs(last - 2.0) < 0.15, qPrintable(QString::number(last)));
        std::lock_guard guard(heard.lock);
        QCOMPARE(heard.rate, 48000);
        QVERIFY2(heard.frames > 48000 * 19 / 10, qPrintable(QString::number(heard.frames)));
    }

    void seekLandsWhereAsked_data()
    {
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<double>("expected");
        QTest::newRow("exact 0.5") << 0.5 << 0.0 << 0.5;
        QTest::newRow("exact 1.24") << 1.24 << 0.0 << 1.24;
        QTest::newRow("exact 3.0") << 3.0 << 0.0 << 3.0;
        // Keyframes sit on whole seconds; a fast seek lands on the one at or before.
        QTest::newRow("keyframe near 1.3") << 1.3 << 0.4 << 1.0;
        QTest::newRow("keyframe before 2.8") << 2.8 << 0.4 << 2.0;
        QTest::newRow("keyframe at 3") << 3.0 << 0.4 << 3.0;
    }
    void seekLandsWhereAsked()
    {
        QFETCH(double, target);
        QFETCH(double, tolerance);
        QFETCH(double, expected);
        QVideoSink sink;
        auto engine = makeEngine();
        engine->setVideoSink(&sink);
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        QTRY_VERIFY(sink.videoFrame().isValid());
        const double origin = frameSeconds(sink);

        int calls = 0;
        bool finished = false;
        engine->seek(target, tolerance, tolerance, [&](bool done) {
            ++calls;
            finished = done;
        });
        QCOMPARE(engine->position(), target);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 20000);
        QVERIFY(finished);
        const double frameTime = 0.04;
        QTRY_VERIFY2(std::fabs(frameSeconds(sink) - origin - expected) < frameTime / 2 + 1e-3,
                     qPrintable(QString::number(frameSeconds(sink) - origin)));
        QVERIFY2(std::fabs(engine->position() - expected) <= frameTime,
                 qPrintable(QString::number(engine->position())));
    }

    void newerSeekReplacesAnOlderOne()
    {
        auto engine = makeEngine();
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        QList<bool> results;
        engine->seek(1.0, 0, 0, [&](bool done) { results << done; });
        engine->seek(2.0, 0, 0, [&](bool done) { results << done; });
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 20000);
        QCOMPARE(results, (QList<bool>{false, true}));
        QVERIFY(std::fabs(engine->position() - 2.0) < 0.05);

        engine->close();
        QCOMPARE(engine->status(), PlayerEngine::Status::Idle);
        bool called = false, outcome = true;
        engine->seek(1.0, 0, 0, [&](bool done) { called = true; outcome = done; });
        QTRY_VERIFY(called);
        QVERIFY(!outcome);
    }

    void playsFasterWithAndWithoutPitch_data()
    {
        QTest::addColumn<bool>("keepPitch");
        QTest::newRow("keep pitch") << true;
        QTest::newRow("pitch follows speed") << false;
    }
    void playsFasterWithAndWithoutPitch()
    {
        QFETCH(bool, keepPitch);
        auto engine = makeEngine();
        engine->setKeepPitch(keepPitch);
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        engine->setRate(2);
        QCOMPARE(engine->rate(), 2.f);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);

        std::lock_guard guard(heard.lock);
        const double fourSeconds = 4.0 * 48000;
        if (keepPitch) {
            // The tempo filter took the speed: the sink plays at rate 1 what is
            // already half as long.
            QCOMPARE(heard.segmentRate, 1.0);
            QCOMPARE(heard.appliedRate, 2.0);
            QVERIFY2(std::fabs(heard.frames - fourSeconds / 2) < fourSeconds * 0.1,
                     qPrintable(QString::number(heard.frames)));
        } else {
            // Every sample reaches the sink, which speeds them up itself.
            QCOMPARE(heard.segmentRate, 2.0);
            QVERIFY2(heard.frames > fourSeconds * 0.9, qPrintable(QString::number(heard.frames)));
        }
    }

    void keepPitchSwitchesOnTheCurrentItem()
    {
        auto engine = makeEngine();
        engine->setKeepPitch(false);
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        engine->setRate(2);
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() >= 1.0, 20000);
        {
            std::lock_guard guard(heard.lock);
            QCOMPARE(heard.segmentRate, 2.0);
        }
        QSignalSpy statuses(engine.get(), &PlayerEngine::statusChanged);
        QSignalSpy pitch(engine.get(), &PlayerEngine::keepPitchChanged);
        const double before = engine->position();
        engine->setKeepPitch(true);
        engine->setKeepPitch(true);
        QCOMPARE(pitch.count(), 1);
        QVERIFY(engine->position() >= before - 0.05);
        QTRY_VERIFY_WITH_TIMEOUT([] {
            std::lock_guard guard(heard.lock);
            return heard.appliedRate == 2.0 && heard.segmentRate == 1.0;
        }(), 20000);
        QVERIFY2(engine->position() >= before - 0.05, qPrintable(QString::number(engine->position())));
        QCOMPARE(engine->rate(), 2.f);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        QCOMPARE(statuses.count(), 0);
    }

    void keepPitchSwitchWhilePausedKeepsThePlace()
    {
        auto engine = makeEngine();
        engine->setKeepPitch(true);
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        bool sought = false;
        engine->seek(1.5, 0, 0, [&](bool done) { sought = done; });
        QTRY_VERIFY_WITH_TIMEOUT(sought, 20000);
        QSignalSpy statuses(engine.get(), &PlayerEngine::statusChanged);
        engine->setKeepPitch(false);
        QCOMPARE(engine->position(), 1.5);
        // Settled again: a seek issued now completes on the new pipeline.
        bool again = false;
        engine->seek(1.5, 0, 0, [&](bool done) { again = done; });
        QTRY_VERIFY_WITH_TIMEOUT(again, 20000);
        QVERIFY2(std::fabs(engine->position() - 1.5) < 0.01, qPrintable(QString::number(engine->position())));
        QVERIFY(!engine->isPlaying());
        QCOMPARE(statuses.count(), 0);
        QCOMPARE(engine->status(), PlayerEngine::Status::Ready);
    }

    void requestsBeforeReadyApplyOnceReady()
    {
        auto engine = makeEngine();
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        engine->open(QUrl::fromLocalFile(m_long));
        QCOMPARE(engine->status(), PlayerEngine::Status::Loading);
        bool sought = false;
        engine->seek(3.0, 0, 0, [&](bool done) { sought = done; });
        engine->setRate(1);
        QVERIFY(engine->isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(sought, 20000);
        QVERIFY(engine->position() >= 2.99);
        // From 3 s of a 4 s clip the end comes well before the whole clip's length.
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        std::lock_guard guard(heard.lock);
        QVERIFY2(heard.frames < 48000 * 2, qPrintable(QString::number(heard.frames)));
    }

    void framesReachTheVideoSink()
    {
        QVideoSink sink;
        QSignalSpy frames(&sink, &QVideoSink::videoFrameChanged);
        auto engine = makeEngine();
        engine->setVideoSink(&sink);
        QCOMPARE(engine->videoSink(), &sink);
        engine->open(QUrl::fromLocalFile(m_clip));
        QVERIFY(waitReady(*engine));
        QTRY_VERIFY(frames.count() >= 1);
        engine->setRate(1);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 10, 20000);
        const QVideoFrame frame = sink.videoFrame();
        QCOMPARE(frame.size(), QSize(320, 240));
        QVERIFY(frame.pixelFormat() == QVideoFrameFormat::Format_YUV420P
                || frame.pixelFormat() == QVideoFrameFormat::Format_NV12
                || frame.pixelFormat() == QVideoFrameFormat::Format_RGBA8888);
        // The picture is really there: testsrc2 is far from a flat frame.
        QVideoFrame copy = frame;
        QVERIFY(copy.map(QVideoFrame::ReadOnly));
        const uchar *row = copy.bits(0) + copy.bytesPerLine(0) * 120;
        int distinct = 0;
        for (int x = 1; x < 320; ++x)
            distinct += row[x] != row[x - 1];
        copy.unmap();
        QVERIFY(distinct > 10);
    }

    // Each pixel layout the window accepts arrives with its colours right (planes
    // in their order, nothing swapped).
    void framesKeepTheirColours_data()
    {
        QTest::addColumn<QString>("pixelFormat");  // of the file
        QTest::newRow("4:2:0 planar") << "yuv420p";
        QTest::newRow("4:2:0 semi-planar") << "nv12";
        QTest::newRow("4:4:4 (converted)") << "yuv444p";
    }

    void framesKeepTheirColours()
    {
        QFETCH(QString, pixelFormat);
        const QString path = m_dir.filePath(QStringLiteral("colour-%1.mkv").arg(pixelFormat));
        QVERIFY(!TestSupport::makeMedia(path, {"-f", "lavfi", "-i", "color=c=0x3060C0:s=64x48:d=1", "-c:v",
                                               "ffv1", "-pix_fmt", pixelFormat})
                     .isEmpty());
        QVideoSink sink;
        auto engine = makeEngine();
        engine->setVideoSink(&sink);
        engine->open(QUrl::fromLocalFile(path));
        QVERIFY(waitReady(*engine));
        QTRY_VERIFY(sink.videoFrame().isValid());
        const QImage image = sink.videoFrame().toImage();
        QCOMPARE(image.size(), QSize(64, 48));
        const QColor centre = image.pixelColor(32, 24);
        QVERIFY2(std::abs(centre.red() - 0x30) < 16 && std::abs(centre.green() - 0x60) < 16
                     && std::abs(centre.blue() - 0xC0) < 16,
                 qPrintable(centre.name()));
    }

    void rotationTagTurnsTheNaturalSize()
    {
        auto engine = makeEngine();
        QSignalSpy sized(engine.get(), &PlayerEngine::naturalSizeChanged);
        engine->open(QUrl::fromLocalFile(m_rotated));
        QVERIFY(waitReady(*engine));
        // ffmpeg's rotate=90 stores a quarter turn the other way round.
        QCOMPARE(engine->videoRotation(), 270);
        QCOMPARE(engine->naturalSize(), QSize(240, 320));
        QVERIFY(sized.count() >= 1);
    }

    void stepsFramesBothWays()
    {
        QVideoSink sink;
        auto engine = makeEngine();
        engine->setVideoSink(&sink);
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        QTRY_VERIFY(sink.videoFrame().isValid());
        const double origin = frameSeconds(sink);
        // A frame shown after an exact seek carries the seek time, somewhere inside
        // the frame, so frames are told apart by their 40 ms slot.
        const auto index = [&] { return int(std::floor((frameSeconds(sink) - origin) / 0.04 + 1e-3)); };
        const struct { int step; int frame; } moves[] = {{1, 1}, {5, 6}, {-2, 4}, {1, 5}, {1, 6},
                                                         {-1, 5}, {-10, 0}, {30, 30}, {-1, 29}};
        for (const auto &move : moves) {
            engine->stepFrames(move.step);
            QVERIFY(!engine->isPlaying());
            QTRY_COMPARE_WITH_TIMEOUT(index(), move.frame, 20000);
        }
    }

    void aTextFileFailsInPlainWords()
    {
        auto engine = makeEngine();
        QSignalSpy errors(engine.get(), &PlayerEngine::errorOccurred);
        QSignalSpy reports(engine.get(), &PlayerEngine::timeReport);
        engine->open(QUrl::fromLocalFile(m_text));
        QVERIFY(!waitReady(*engine));
        QCOMPARE(engine->status(), PlayerEngine::Status::Failed);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QString::fromUtf8(formatError));
        QCOMPARE(engine->errorString(), QString::fromUtf8(formatError));
        engine->setRate(1);
        QVERIFY(!engine->isPlaying());
        QCOMPARE(reports.count(), 0);
    }

    void aMissingFileFails()
    {
        auto engine = makeEngine();
        engine->open(QUrl::fromLocalFile(m_dir.path() + "/gone.mp4"));
        QVERIFY(!waitReady(*engine));
        QCOMPARE(engine->errorString(), QStringLiteral("This item couldn't be found."));
    }

    // A source that answers but never gives enough to show anything: the engine
    // starts the item over after a while instead of loading for ever.
    void aLoadThatNeverPrerollsStartsOver()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> clients;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 100000000\r\n\r\n");
                clients << socket;
            }
        });
        QTimer drip;  // a byte now and then keeps the connection from timing out
        connect(&drip, &QTimer::timeout, this, [&] {
            for (QTcpSocket *socket : std::as_const(clients))
                socket->write("\0", 1);
        });
        drip.start(500);
        auto engine = makeEngine();
        engine->open(QUrl(QStringLiteral("http://127.0.0.1:%1/slow.mp4").arg(server.serverPort())));
        QTRY_VERIFY_WITH_TIMEOUT(clients.size() >= 2, 20000);
        QCOMPARE(engine->status(), PlayerEngine::Status::Loading);
        engine->close();
    }

    void hlsPlaysToItsEnd_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("loopback HTTP") << "http";
    }
    void hlsPlaysToItsEnd()
    {
        QFETCH(QString, where);
        const QUrl url = where == "file"
                             ? QUrl::fromLocalFile(m_hls)
                             : QUrl(QStringLiteral("http://127.0.0.1:%1/hls/index.m3u8").arg(m_httpPort));
        QVideoSink sink;
        QSignalSpy frames(&sink, &QVideoSink::videoFrameChanged);
        auto engine = makeEngine();
        engine->setVideoSink(&sink);
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        engine->open(url);
        QVERIFY(waitReady(*engine));
        QVERIFY(engine->hasAudio());
        QVERIFY(engine->hasVideo());
        engine->setRate(1);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        QVERIFY(frames.count() >= 25);
        std::lock_guard guard(heard.lock);
        QVERIFY2(heard.frames > 48000 * 18 / 10, qPrintable(QString::number(heard.frames)));
    }

    // The boost reaches the sound on every kind of item, HLS included: the same
    // item played at gain 1 and at gain 2 peaks twice as high the second time.
    void boostActsOnEveryStream_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("mp4 file") << "mp4";
        QTest::newRow("HLS over loopback HTTP") << "hls";
    }
    void boostActsOnEveryStream()
    {
        QFETCH(QString, which);
        const QUrl url = which == "hls"
                             ? QUrl(QStringLiteral("http://127.0.0.1:%1/hls/index.m3u8").arg(m_httpPort))
                             : QUrl::fromLocalFile(m_clip);
        float peaks[2] = {0, 0};
        for (int pass = 0; pass < 2; ++pass) {
            heard.reset();
            auto effects = std::make_shared<PlayerAudioEffects>();
            effects->setGain(pass == 0 ? 1.f : 2.f);
            auto engine = makeEngine(effects);
            QCOMPARE(engine->audioEffects(), effects);
            QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
            engine->open(url);
            QVERIFY(waitReady(*engine));
            QVERIFY(engine->hasAudio());
            engine->setRate(1);
            QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
            std::lock_guard guard(heard.lock);
            peaks[pass] = heard.peak;
        }
        // ffmpeg's sine source has an amplitude of 1/8 (AAC overshoots it a little).
        QVERIFY2(peaks[0] > 0.1f && peaks[0] < 0.16f, qPrintable(QString::number(peaks[0])));
        QVERIFY2(std::fabs(peaks[1] / peaks[0] - 2.f) < 0.02f,
                 qPrintable(QString("%1 then %2").arg(peaks[0]).arg(peaks[1])));
    }

    void songShowsItsCover()
    {
        auto engine = makeEngine();
        QSignalSpy cover(engine.get(), &PlayerEngine::coverImageChanged);
        engine->open(QUrl::fromLocalFile(m_song));
        QVERIFY(waitReady(*engine));
        QTRY_VERIFY(!engine->coverImage().isNull());
        QCOMPARE(engine->coverImage().size(), QSize(64, 48));
        const QColor pixel = engine->coverImage().pixelColor(10, 10);
        QVERIFY2(pixel.red() > 240 && pixel.green() < 16 && pixel.blue() < 16, qPrintable(pixel.name()));
        QCOMPARE(cover.count(), 1);
        QVERIFY(engine->hasAudio());
        QVERIFY(!engine->hasVideo());
        engine->close();
        QVERIFY(engine->coverImage().isNull());
        QCOMPARE(cover.count(), 2);
    }

    void videoWithoutSoundHasNoAudio()
    {
        auto engine = makeEngine();
        engine->open(QUrl::fromLocalFile(m_silent));
        QVERIFY(waitReady(*engine));
        QVERIFY(engine->hasVideo());
        QVERIFY(!engine->hasAudio());
    }

    void volumeAndMuteNotifyOnChange()
    {
        auto engine = makeEngine();
        QSignalSpy volume(engine.get(), &PlayerEngine::volumeChanged);
        QSignalSpy muted(engine.get(), &PlayerEngine::mutedChanged);
        engine->setVolume(0.5f);
        engine->setVolume(0.5f);
        QCOMPARE(volume.count(), 1);
        engine->setVolume(3.f);
        QCOMPARE(engine->volume(), 1.f);
        engine->setVolume(-1.f);
        QCOMPARE(engine->volume(), 0.f);
        QCOMPARE(volume.count(), 3);
        engine->setMuted(true);
        engine->setMuted(true);
        QCOMPARE(muted.count(), 1);
        QVERIFY(engine->isMuted());
    }

    void muteSilencesTheSink()
    {
        auto engine = makeEngine();
        engine->setMuted(true);
        QSignalSpy ended(engine.get(), &PlayerEngine::endOfStream);
        engine->open(QUrl::fromLocalFile(m_clip));
        QVERIFY(waitReady(*engine));
        engine->setRate(1);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        std::lock_guard guard(heard.lock);
        QVERIFY(heard.frames > 48000);
        QCOMPARE(heard.peak, 0.f);
    }

    void rateIsClampedAndPauseStops_data()
    {
        QTest::addColumn<float>("asked");
        QTest::addColumn<float>("expected");
        QTest::newRow("too fast") << 5.f << 4.f;
        QTest::newRow("too slow") << 0.01f << 0.1f;
        QTest::newRow("zero pauses") << 0.f << 0.f;
        QTest::newRow("negative pauses") << -1.f << 0.f;
        QTest::newRow("normal") << 1.f << 1.f;
    }
    void rateIsClampedAndPauseStops()
    {
        QFETCH(float, asked);
        QFETCH(float, expected);
        auto engine = makeEngine();
        engine->open(QUrl::fromLocalFile(m_clip));
        QVERIFY(waitReady(*engine));
        engine->setRate(asked);
        QCOMPARE(engine->rate(), expected);
        QCOMPARE(engine->isPlaying(), expected > 0);
    }

    void pausedHoldsItsPosition()
    {
        auto engine = makeEngine();
        engine->open(QUrl::fromLocalFile(m_long));
        QVERIFY(waitReady(*engine));
        engine->setRate(1);
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() >= 0.5, 20000);
        engine->pause();
        QVERIFY(!engine->isPlaying());
        // Let the pause settle, then the position must stay put.
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            const double a = engine->position();
            QTest::qWait(300);
            return std::fabs(engine->position() - a) < 1e-3;
        }(), 10000);
        QVERIFY(engine->position() < 3.5);
    }
};

QTEST_MAIN(TestPlayerEngine)
#include "tst_playerengine.moc"
