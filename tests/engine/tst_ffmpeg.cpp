#include "engine/FFmpeg.h"

#include "support/EngineMedia.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using FFmpeg::Job;
using FFmpeg::Probe;
using FFmpeg::Stream;

namespace {

// Collects one job's callbacks and where they ran.
struct Recorder
{
    QList<double> progress;
    QList<std::optional<QString>> finished;
    bool offMainThread = false;

    Job::Progress onProgress()
    {
        return [this](double value) {
            offMainThread |= QThread::currentThread() != qApp->thread();
            progress << value;
        };
    }
    Job::Finished onFinished()
    {
        return [this](std::optional<QString> message) {
            offMainThread |= QThread::currentThread() != qApp->thread();
            finished << message;
        };
    }
};

QString maskAddresses(QString text)
{
    static const QRegularExpression address(QStringLiteral("0x[0-9a-f]+"));
    return text.replace(address, QStringLiteral("0x"));
}

std::optional<Probe> probeAndWait(const QString &path, bool *onMain = nullptr)
{
    QObject context;
    bool done = false;
    std::optional<Probe> result;
    FFmpeg::probe(path, &context, [&](std::optional<Probe> probe) {
        if (onMain)
            *onMain = QThread::currentThread() == qApp->thread();
        result = probe;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 60000))
        qWarning("probe never completed");
    return result;
}

// The test runs itself with another resources folder for the missing-tools case;
// the tool locations are fixed for a process's life.
int childMissingTools()
{
    QJsonObject out;
    out[QStringLiteral("available")] = FFmpeg::available();
    out[QStringLiteral("probeNow")] = FFmpeg::probeNow(QStringLiteral("/etc/hostname")).has_value();
    const auto probed = probeAndWait(QStringLiteral("/etc/hostname"));
    out[QStringLiteral("probe")] = probed.has_value();
    Recorder recorder;
    Job job({QStringLiteral("-version")}, 0, 0, recorder.onProgress(), recorder.onFinished());
    const auto error = job.start();
    out[QStringLiteral("startError")] = error.value_or(QString());
    QTest::qWait(300);  // a callback, were one wrongly sent, would arrive by now
    out[QStringLiteral("callbacks")] = int(recorder.progress.size() + recorder.finished.size());
    QTextStream(stdout) << QJsonDocument(out).toJson(QJsonDocument::Compact) << Qt::endl;
    return 0;
}

} // namespace

class TestFFmpeg : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_media;

    QStringList tenSecondsOfVideo(const QString &output) const
    {
        return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc2=size=160x120:rate=25:duration=10"), QStringLiteral("-c:v"),
                QStringLiteral("mpeg4"), output};
    }

private slots:
    void locations()
    {
        const QString resources = qEnvironmentVariable("ZENTROVA_MEDIA_RESOURCES");
        QVERIFY(!resources.isEmpty());
        QCOMPARE(FFmpeg::folder(), resources + QStringLiteral("/ffmpeg"));
        QCOMPARE(FFmpeg::ffmpeg(), resources + QStringLiteral("/ffmpeg/ffmpeg"));
        QCOMPARE(FFmpeg::ffprobe(), resources + QStringLiteral("/ffmpeg/ffprobe"));
        QVERIFY(FFmpeg::available());
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("streams");

        QTest::newRow("empty streams") << QByteArray(R"({"streams":[]})") << true << 0;
        QTest::newRow("streams and format")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":"video","codec_name":"h264","width":1920,)"
                          R"("height":1080,"avg_frame_rate":"25/1","disposition":{"default":1,"attached_pic":0},)"
                          R"("tags":{"language":"eng"}},{"index":1,"codec_type":"audio","channels":2,)"
                          R"("sample_rate":"48000"}],"format":{"format_name":"matroska,webm","duration":"12.5"}})")
            << true << 2;
        QTest::newRow("unknown members ignored")
            << QByteArray(R"({"streams":[{"index":0,"profile":"High","refs":1,"extra":{"a":[1,2]}}],"x":5})") << true << 1;
        QTest::newRow("optional members null")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":null,"width":null,"tags":null}],"format":null})")
            << true << 1;
        QTest::newRow("missing streams") << QByteArray(R"({"format":{"duration":"1.0"}})") << false << 0;
        QTest::newRow("ffprobe on text") << QByteArray("{\n\n}\n") << false << 0;
        QTest::newRow("streams not array") << QByteArray(R"({"streams":{}})") << false << 0;
        QTest::newRow("missing index") << QByteArray(R"({"streams":[{"codec_type":"video"}]})") << false << 0;
        QTest::newRow("index as text") << QByteArray(R"({"streams":[{"index":"0"}]})") << false << 0;
        QTest::newRow("fractional index") << QByteArray(R"({"streams":[{"index":1.5}]})") << false << 0;
        QTest::newRow("width as text") << QByteArray(R"({"streams":[{"index":0,"width":"1920"}]})") << false << 0;
        QTest::newRow("sample rate as number")
            << QByteArray(R"({"streams":[{"index":0,"sample_rate":48000}]})") << false << 0;
        QTest::newRow("tag value number") << QByteArray(R"({"streams":[{"index":0,"tags":{"track":3}}]})") << false << 0;
        QTest::newRow("disposition value text")
            << QByteArray(R"({"streams":[{"index":0,"disposition":{"attached_pic":"1"}}]})") << false << 0;
        QTest::newRow("format duration number")
            << QByteArray(R"({"streams":[],"format":{"duration":12.5}})") << false << 0;
        QTest::newRow("format not object") << QByteArray(R"({"streams":[],"format":"mkv"})") << false << 0;
        QTest::newRow("stream not object") << QByteArray(R"({"streams":[3]})") << false << 0;
        QTest::newRow("top level array") << QByteArray(R"([{"streams":[]}])") << false << 0;
        QTest::newRow("truncated") << QByteArray(R"({"streams":[{"index":0)") << false << 0;
        QTest::newRow("empty") << QByteArray() << false << 0;
    }

    void decode()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(int, streams);
        const auto probe = Probe::decode(json);
        QCOMPARE(probe.has_value(), valid);
        if (probe)
            QCOMPARE(probe->streams.size(), streams);
    }

    void decodeFields()
    {
        const auto probe = Probe::decode(
            R"({"streams":[{"index":0,"codec_type":"video","codec_name":"h264","width":1920,"height":1080,)"
            R"("channels":null,"avg_frame_rate":"30000/1001","disposition":{"default":1,"attached_pic":0},)"
            R"("tags":{"language":"eng","title":"Main","DURATION":"00:00:12"}},)"
            R"({"index":1,"codec_type":"audio","codec_name":"aac","channels":6,"sample_rate":"48000"}],)"
            R"("format":{"format_name":"matroska,webm","duration":"12.500000","tags":{"title":"Film"}}})");
        QVERIFY(probe);
        const Stream &v = probe->streams[0];
        QCOMPARE(v.index, 0);
        QCOMPARE(v.codecType, QStringLiteral("video"));
        QCOMPARE(v.codecName, QStringLiteral("h264"));
        QCOMPARE(v.width, 1920);
        QCOMPARE(v.height, 1080);
        QVERIFY(!v.channels);
        QCOMPARE(v.avgFrameRate, QStringLiteral("30000/1001"));
        QCOMPARE(v.disposition->value(QStringLiteral("default")), 1);
        QCOMPARE(v.tags->value(QStringLiteral("DURATION")), QStringLiteral("00:00:12"));
        const Stream &a = probe->streams[1];
        QCOMPARE(a.channels, 6);
        QCOMPARE(a.sampleRate, QStringLiteral("48000"));
        QVERIFY(!a.tags);
        QVERIFY(!a.disposition);
        QCOMPARE(probe->format->formatName, QStringLiteral("matroska,webm"));
        QCOMPARE(probe->format->tags->value(QStringLiteral("title")), QStringLiteral("Film"));
        QCOMPARE(probe->duration(), 12.5);
    }

    void fps_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<double>("fps");
        QTest::newRow("ntsc") << QStringLiteral("30000/1001") << 29.97;
        QTest::newRow("integer fraction") << QStringLiteral("25/1") << 25.0;
        QTest::newRow("zero over zero") << QStringLiteral("0/0") << 0.0;
        QTest::newRow("bare number") << QStringLiteral("25") << 0.0;
        QTest::newRow("absent") << QString() << 0.0;
        QTest::newRow("zero denominator") << QStringLiteral("24/0") << 0.0;
        QTest::newRow("empty pieces dropped") << QStringLiteral("/48//2/") << 24.0;
        QTest::newRow("non-number dropped") << QStringLiteral("x/50/2") << 25.0;
        QTest::newRow("three numbers") << QStringLiteral("1/2/3") << 0.0;
        QTest::newRow("decimal pieces") << QStringLiteral("59.94/1") << 59.94;
    }

    void fps()
    {
        QFETCH(QString, rate);
        QFETCH(double, fps);
        Stream s;
        if (!rate.isNull())
            s.avgFrameRate = rate;
        QCOMPARE(qRound(s.fps() * 100) / 100.0, fps);
    }

    void tagLookups_data()
    {
        QTest::addColumn<QByteArray>("tags");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::newRow("both") << QByteArray(R"({"language":"ger","title":"Deutsch"})") << "ger" << "Deutsch";
        QTest::newRow("language only") << QByteArray(R"({"language":"jpn"})") << "jpn" << QString();
        QTest::newRow("case kept exactly") << QByteArray(R"({"LANGUAGE":"eng","Title":"x"})") << QString() << QString();
        QTest::newRow("no tags") << QByteArray("null") << QString() << QString();
    }

    void tagLookups()
    {
        QFETCH(QByteArray, tags);
        QFETCH(QString, language);
        QFETCH(QString, title);
        const auto probe = Probe::decode(R"({"streams":[{"index":0,"tags":)" + tags + "}]}");
        QVERIFY(probe);
        const Stream &s = probe->streams[0];
        QCOMPARE(s.language().value_or(QString()), language);
        QCOMPARE(s.language().has_value(), !language.isNull());
        QCOMPARE(s.title().value_or(QString()), title);
        QCOMPARE(s.title().has_value(), !title.isNull());
    }

    void derived_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("video");  // index of Probe::video(), -1 when absent
        QTest::addColumn<QList<int>>("audio");
        QTest::addColumn<QList<int>>("subtitles");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("frames");

        QTest::newRow("cover then video")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":"video","disposition":{"attached_pic":1}},)"
                          R"({"index":1,"codec_type":"video","avg_frame_rate":"25/1","disposition":{"attached_pic":0}},)"
                          R"({"index":2,"codec_type":"audio"},{"index":3,"codec_type":"subtitle"},)"
                          R"({"index":4,"codec_type":"audio"}],"format":{"duration":"10.0"}})")
            << 1 << QList<int>{2, 4} << QList<int>{3} << true << 10.0 << 250.0;
        QTest::newRow("audio with cover only")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":"audio"},)"
                          R"({"index":1,"codec_type":"video","avg_frame_rate":"90000/1","disposition":{"attached_pic":1}}],)"
                          R"("format":{"duration":"3.5"}})")
            << -1 << QList<int>{0} << QList<int>{} << true << 3.5 << 0.0;
        QTest::newRow("attached_pic other than 1")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":"video","avg_frame_rate":"30/1",)"
                          R"("disposition":{"attached_pic":2}}],"format":{"duration":"2"}})")
            << 0 << QList<int>{} << QList<int>{} << false << 2.0 << 60.0;
        QTest::newRow("empty disposition")
            << QByteArray(R"({"streams":[{"index":7,"codec_type":"video","disposition":{}}]})") << 7 << QList<int>{}
            << QList<int>{} << false << 0.0 << 0.0;
        QTest::newRow("cover on data stream")
            << QByteArray(R"({"streams":[{"index":0,"codec_type":"data","disposition":{"attached_pic":1}}],)"
                          R"("format":{"duration":"N/A"}})")
            << -1 << QList<int>{} << QList<int>{} << true << 0.0 << 0.0;
        QTest::newRow("no format") << QByteArray(R"({"streams":[{"index":0,"codec_type":"video"}]})") << 0
                                   << QList<int>{} << QList<int>{} << false << 0.0 << 0.0;
        QTest::newRow("format without duration")
            << QByteArray(R"({"streams":[],"format":{"format_name":"mp3"}})") << -1 << QList<int>{} << QList<int>{}
            << false << 0.0 << 0.0;
    }

    void derived()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, video);
        QFETCH(QList<int>, audio);
        QFETCH(QList<int>, subtitles);
        QFETCH(bool, cover);
        QFETCH(double, duration);
        QFETCH(double, frames);
        const auto probe = Probe::decode(json);
        QVERIFY(probe);
        QCOMPARE(probe->video() ? probe->video()->index : -1, video);
        QList<int> a, s;
        for (const Stream &x : probe->audio())
            a << x.index;
        for (const Stream &x : probe->subtitles())
            s << x.index;
        QCOMPARE(a, audio);
        QCOMPARE(s, subtitles);
        QCOMPARE(probe->hasCoverArt(), cover);
        QCOMPARE(probe->duration(), duration);
        QCOMPARE(probe->frameCount(), frames);
    }

    void probeRealFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("videoCodec");  // empty: no main video
        QTest::addColumn<QString>("audioCodec");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<int>("subtitleCount");
        QTest::newRow("h264 aac mkv") << "mkv" << "h264" << "aac" << false << 1;
        QTest::newRow("hevc mkv") << "hevc" << "hevc" << "aac" << false << 0;
        QTest::newRow("mpeg4 mp3 avi") << "avi" << "mpeg4" << "mp3" << false << 0;
        QTest::newRow("vp9 opus webm") << "webm" << "vp9" << "opus" << false << 0;
        QTest::newRow("opus audio") << "opus" << QString() << "opus" << false << 0;
        QTest::newRow("mp3 with cover") << "mp3cover" << QString() << "mp3" << true << 0;
        QTest::newRow("mp4 with cover and video") << "mp4cover" << "h264" << "aac" << true << 0;
    }

    void probeRealFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        QFETCH(bool, cover);
        QFETCH(int, subtitleCount);
        const QString dir = m_media.path();
        const QString path = kind == "mkv"    ? EngineMedia::h264AacMkv(dir)
                             : kind == "hevc" ? EngineMedia::hevcMkv(dir)
                             : kind == "avi"  ? EngineMedia::mpeg4Mp3Avi(dir)
                             : kind == "webm" ? EngineMedia::vp9OpusWebm(dir)
                             : kind == "opus" ? EngineMedia::opusFile(dir)
                             : kind == "mp3cover" ? EngineMedia::coverArtMp3(dir)
                                                  : EngineMedia::coverArtMp4(dir);
        QVERIFY(!path.isEmpty());
        bool onMain = false;
        const auto probe = probeAndWait(path, &onMain);
        QVERIFY(probe);
        QVERIFY(onMain);
        QCOMPARE(probe->video().has_value(), !videoCodec.isEmpty());
        if (probe->video()) {
            QCOMPARE(probe->video()->codecName, videoCodec);
            QCOMPARE(probe->video()->width, 320);
            QCOMPARE(probe->video()->height, 240);
            QCOMPARE(probe->video()->fps(), 25.0);
            QVERIFY(qAbs(probe->frameCount() - 50) <= 2);
        } else {
            QCOMPARE(probe->frameCount(), 0.0);
        }
        QCOMPARE(probe->audio().size(), 1);
        QCOMPARE(probe->audio().first().codecName, audioCodec);
        QCOMPARE(probe->hasCoverArt(), cover);
        QCOMPARE(probe->subtitles().size(), subtitleCount);
        QVERIFY(qAbs(probe->duration() - 2.0) < 0.1);
        if (kind == "mkv") {
            QCOMPARE(probe->audio().first().language(), QStringLiteral("fra"));
            QCOMPARE(probe->audio().first().title(), QStringLiteral("Commentary"));
            QCOMPARE(probe->subtitles().first().language(), QStringLiteral("eng"));
        }
        // The synchronous form reads the same file the same way.
        QCOMPARE(FFmpeg::probeNow(path), probe);
    }

    void probeNonMedia_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text named mkv") << "text";
        QTest::newRow("missing file") << "missing";
        QTest::newRow("directory") << "dir";
    }

    void probeNonMedia()
    {
        QFETCH(QString, kind);
        const QString path = kind == "text"      ? EngineMedia::textNamedMkv(m_media.path())
                             : kind == "missing" ? m_media.filePath(QStringLiteral("nothing-here.mkv"))
                                                 : m_media.path();
        QVERIFY(!path.isEmpty());
        QVERIFY(!probeAndWait(path));
    }

    void probeDroppedWithContext()
    {
        const QString path = EngineMedia::h264AacMkv(m_media.path());
        auto context = std::make_unique<QObject>();
        int calls = 0;
        FFmpeg::probe(path, context.get(), [&](std::optional<Probe>) { ++calls; });
        context.reset();
        // A second probe of the same file, started later, finishes after the first.
        QVERIFY(probeAndWait(path));
        QTest::qWait(100);
        QCOMPARE(calls, 0);
    }

    void advance_data()
    {
        QTest::addColumn<double>("last");
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("frames");
        QTest::addColumn<double>("result");

        QTest::newRow("half by time") << 0.0 << QByteArray("out_time_us=5000000\n") << 10.0 << 0.0 << 0.5;
        QTest::newRow("N/A ignored") << 0.0 << QByteArray("out_time_us=N/A\nprogress=continue\n") << 10.0 << 0.0 << 0.0;
        QTest::newRow("smaller later value ignored") << 0.5 << QByteArray("out_time_us=2000000\n") << 10.0 << 0.0 << 0.5;
        QTest::newRow("capped at one") << 0.9 << QByteArray("frame=130\n") << 0.0 << 100.0 << 1.0;
        QTest::newRow("by frames") << 0.0 << QByteArray("frame=25\nfps=0.0\n") << 0.0 << 100.0 << 0.25;
        QTest::newRow("time unknown ignores time") << 0.0 << QByteArray("out_time_us=5000000\n") << 0.0 << 0.0 << 0.0;
        QTest::newRow("frames unknown ignores frames") << 0.0 << QByteArray("frame=50\n") << 10.0 << -1.0 << 0.0;
        QTest::newRow("largest of a chunk")
            << 0.0 << QByteArray("frame=10\nout_time_us=3000000\nframe=20\n") << 10.0 << 100.0 << 0.3;
        QTest::newRow("either record drives") << 0.3 << QByteArray("frame=40\n") << 10.0 << 100.0 << 0.4;
        QTest::newRow("other keys ignored")
            << 0.0 << QByteArray("out_time_ms=9000000\nout_time=00:00:09\ntotal_size=100\n") << 10.0 << 0.0 << 0.0;
        QTest::newRow("negative value ignored") << 0.1 << QByteArray("out_time_us=-40000\n") << 10.0 << 0.0 << 0.1;
        QTest::newRow("already at one") << 1.0 << QByteArray("frame=500\n") << 0.0 << 100.0 << 1.0;
    }

    void advance()
    {
        QFETCH(double, last);
        QFETCH(QByteArray, chunk);
        QFETCH(double, duration);
        QFETCH(double, frames);
        QFETCH(double, result);
        QCOMPARE(Job::advance(last, chunk, duration, frames), result);
    }

    void jobArguments()
    {
        Job job({QStringLiteral("-i"), QStringLiteral("in.mkv"), QStringLiteral("out.mp4")}, 0, 0, nullptr, nullptr);
        QCOMPARE(job.arguments(),
                 QStringList({"-hide_banner", "-nostdin", "-y", "-progress", "pipe:1", "-nostats", "-loglevel", "error",
                              "-i", "in.mkv", "out.mp4"}));
        QVERIFY(!job.isRunning());
        QVERIFY(!job.cancelled());
        job.cancel();  // never started: only the flag
        QVERIFY(job.cancelled());
        QVERIFY(!job.isRunning());
    }

    void jobSucceeds_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("frames");
        QTest::newRow("progress by time") << 10.0 << 0.0;
        QTest::newRow("progress by frames") << 0.0 << 250.0;
        QTest::newRow("frames underestimated") << 0.0 << 100.0;
    }

    void jobSucceeds()
    {
        QFETCH(double, duration);
        QFETCH(double, frames);
        const QString out = m_media.filePath(QStringLiteral("job-%1.mp4").arg(QTest::currentDataTag()));
        Recorder recorder;
        Job job(tenSecondsOfVideo(out), duration, frames, recorder.onProgress(), recorder.onFinished());
        QCOMPARE(job.start(), std::nullopt);
        QVERIFY(job.isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.finished.size(), 1, 120000);
        QCOMPARE(recorder.finished.first(), std::nullopt);
        QVERIFY(!recorder.offMainThread);
        QVERIFY(!recorder.progress.isEmpty());
        for (qsizetype i = 1; i < recorder.progress.size(); ++i)
            QVERIFY(recorder.progress[i] > recorder.progress[i - 1]);
        QVERIFY(recorder.progress.first() > 0);
        QVERIFY(recorder.progress.last() <= 1.0);
        QVERIFY(recorder.progress.count(1.0) <= 1);
        QVERIFY(recorder.progress.last() > 0.9);
        QVERIFY(QFileInfo(out).size() > 0);
        QVERIFY(!job.isRunning());
        QTest::qWait(50);
        QCOMPARE(recorder.finished.size(), 1);
    }

    void jobErrorTail()
    {
        // Two undecodable inputs make ffmpeg write about eleven error lines, then fail.
        const QString garbage = m_media.filePath(QStringLiteral("garbage.h264"));
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(EngineMedia::noise(200000, 7));
        file.close();
        const QStringList args{"-f", "h264", "-i", garbage, "-f",   "h264", "-i", garbage,
                               "-map", "0", "-map", "1", "-f", "null", "-"};

        QProcess direct;
        direct.start(FFmpeg::ffmpeg(), Job::prefix() + args);
        QVERIFY(direct.waitForFinished(60000));
        QCOMPARE(direct.exitCode(), 1);
        const QStringList all = QString::fromUtf8(direct.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(all.size() > 6, qPrintable(QString::number(all.size())));

        Recorder recorder;
        Job job(args, 0, 0, recorder.onProgress(), recorder.onFinished());
        QCOMPARE(job.start(), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.finished.size(), 1, 60000);
        QVERIFY(recorder.finished.first());
        const QStringList lines = recorder.finished.first()->split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(maskAddresses(lines.join('\n')), maskAddresses(all.mid(all.size() - 6).join('\n')));
        QCOMPARE(job.errorTail(), lines);
    }

    void jobExitCodeWithoutOutput()
    {
        Recorder recorder;
        Job job({"-loglevel", "quiet", "-i", m_media.filePath(QStringLiteral("absent.mkv")), "-f", "null", "-"}, 0, 0,
                recorder.onProgress(), recorder.onFinished());
        QCOMPARE(job.start(), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.finished.size(), 1, 60000);
        QCOMPARE(recorder.finished.first(), QStringLiteral("FFmpeg stopped with code 1."));
        QVERIFY(job.errorTail().isEmpty());
    }

    void jobCancel()
    {
        Recorder recorder;
        Job job({"-re", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-f", "null", "-"}, 3600, 0,
                recorder.onProgress(), recorder.onFinished());
        QCOMPARE(job.start(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.progress.isEmpty(), 30000);
        QVERIFY(job.isRunning());
        job.cancel();
        QVERIFY(job.cancelled());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.finished.size(), 1, 30000);
        QCOMPARE(recorder.finished.first(), QStringLiteral("Cancelled"));
        QVERIFY(!job.isRunning());
        job.cancel();  // ended: only the flag, no second report
        QTest::qWait(50);
        QCOMPARE(recorder.finished.size(), 1);
    }

    void jobReleasedBeforeReporting()
    {
        Recorder early;
        auto job = std::make_unique<Job>(
            QStringList{"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=0.2", "-f", "null", "-"}, 0.2, 0,
            early.onProgress(), early.onFinished());
        QCOMPARE(job->start(), std::nullopt);
        job.reset();

        // A second, longer job started afterwards ends after the first would have.
        Recorder later;
        Job next({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=1", "-f", "null", "-"}, 1, 0,
                 later.onProgress(), later.onFinished());
        QCOMPARE(next.start(), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(later.finished.size(), 1, 60000);
        QCOMPARE(early.finished.size(), 0);
        QCOMPARE(early.progress.size(), 0);
    }

    void jobDeletedInsideFinished()
    {
        // The owner lets go inside `finished`, as callers do.
        int calls = 0;
        std::optional<QString> message = QStringLiteral("unset");
        Job *job = nullptr;
        job = new Job({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=0.2", "-f", "null", "-"}, 0.2, 0,
                      nullptr, [&](std::optional<QString> m) {
                          ++calls;
                          message = m;
                          delete job;
                          job = nullptr;
                      });
        QPointer<Job> guard(job);
        QCOMPARE(job->start(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 60000);
        QTest::qWait(50);
        QCOMPARE(calls, 1);
        QCOMPARE(message, std::nullopt);
    }

    void jobDeletedInsideProgress()
    {
        int progressCalls = 0;
        int finishedCalls = 0;
        Job *job = nullptr;
        job = new Job({"-re", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-f", "null", "-"}, 3600, 0,
                      [&](double) {
                          ++progressCalls;
                          delete job;
                          job = nullptr;
                      },
                      [&](std::optional<QString>) { ++finishedCalls; });
        QPointer<Job> guard(job);
        QCOMPARE(job->start(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 30000);
        QTest::qWait(300);
        QCOMPARE(progressCalls, 1);
        QCOMPARE(finishedCalls, 0);
    }

    void missingTools()
    {
        QTemporaryDir empty;
        QVERIFY(QDir().mkpath(empty.filePath(QStringLiteral("ffmpeg"))));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZENTROVA_MEDIA_RESOURCES"), empty.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-missing-tools")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QJsonObject out = QJsonDocument::fromJson(child.readAllStandardOutput().trimmed()).object();
        QCOMPARE(out.value("available").toBool(true), false);
        QCOMPARE(out.value("probeNow").toBool(true), false);
        QCOMPARE(out.value("probe").toBool(true), false);
        QVERIFY(!out.value("startError").toString().isEmpty());
        QCOMPARE(out.value("callbacks").toInt(-1), 0);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--child-missing-tools") == 0)
        return childMissingTools();
    TestFFmpeg test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ffmpeg.moc"
