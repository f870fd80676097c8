#include "engine/PlaybackTranscoder.h"

#include "core/MediaApp.h"
#include "engine/FFmpeg.h"
#include "log/Log.h"
#include "support/EngineMedia.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

#include <sys/time.h>

using Ready = PlaybackTranscoder::Ready;

Q_DECLARE_METATYPE(EncoderSet)

namespace {

const QString appName = QStringLiteral("Zentrova Media");
const QString readError = QStringLiteral(" couldn't read this file. It may be damaged.");
const QString damagedError = QStringLiteral("This file looks damaged or isn't really a video or audio file.");

// Every report a transcoder made, in order.
struct Reports
{
    QList<PlaybackTranscoder::Result> results;

    PlaybackTranscoder::ReadyHandler handler()
    {
        return [this](const PlaybackTranscoder::Result &r) { results << r; };
    }
    const Ready *ready() const { return results.isEmpty() ? nullptr : std::get_if<Ready>(&results.first()); }
    QString error() const
    {
        const auto *e = results.isEmpty() ? nullptr : std::get_if<ConvertError>(&results.first());
        return e ? e->text : QString();
    }
};

bool setModified(const QString &path, qint64 seconds, long microseconds = 0)
{
    const timeval times[2] = {{seconds, microseconds}, {seconds, microseconds}};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

QString expectedKey(const QString &path, const QString &mtime, qint64 size)
{
    const QByteArray text = QStringLiteral("2|%1|%2|%3").arg(path, mtime).arg(size).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).left(12).toHex());
}

QMap<QString, QDateTime> listing(const QString &folder)
{
    QMap<QString, QDateTime> files;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        it.next();
        files.insert(it.fileName(), it.fileInfo().lastModified());
    }
    return files;
}

// Runs a transcoder to its report in a child process with another resources folder:
// the tool locations are fixed for a process's life.
int childStart(const QString &source, const QString &cache)
{
    PlaybackTranscoder transcoder(EncoderSet::software(), cache);
    Reports reports;
    transcoder.start(source, reports.handler());
    // The parent reads how many reports came; none means this wait ran out.
    (void)QTest::qWaitFor([&] { return !reports.results.isEmpty(); }, 60000);
    QJsonObject out;
    out[QStringLiteral("reports")] = int(reports.results.size());
    if (const Ready *r = reports.ready()) {
        out[QStringLiteral("converting")] = r->converting;
        out[QStringLiteral("playlist")] = r->playlist;
    }
    out[QStringLiteral("error")] = reports.error();
    out[QStringLiteral("arguments")] = int(transcoder.lastArguments().size());
    transcoder.stop();
    QTextStream(stdout) << QJsonDocument(out).toJson(QJsonDocument::Compact) << Qt::endl;
    return 0;
}

QJsonObject runChild(const QString &resources, const QString &source, const QString &cache)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENTROVA_MEDIA_RESOURCES"), resources);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-start"), source, cache});
    if (!child.waitForFinished(90000) || child.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(child.readAllStandardOutput().trimmed()).object();
}

} // namespace

class TestPlaybackTranscoder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
    std::unique_ptr<QTemporaryDir> m_media;
    QMap<QString, QString> m_files;

    QString media(const QString &kind)
    {
        if (m_files.contains(kind))
            return m_files.value(kind);
        const QString dir = m_media->path();
        QString path;
        if (kind == "mkv")
            path = EngineMedia::h264AacMkv(dir);
        else if (kind == "long-mkv")
            path = EngineMedia::h264AacMkv(dir, 20, QStringLiteral("320x240"), QStringLiteral("long.mkv"));
        else if (kind == "long-avi")
            path = EngineMedia::mpeg4Mp3Avi(dir, 30, QStringLiteral("long.avi"));
        else if (kind == "hevc")
            path = EngineMedia::hevcMkv(dir);
        else if (kind == "avi")
            path = EngineMedia::mpeg4Mp3Avi(dir);
        else if (kind == "webm")
            path = EngineMedia::vp9OpusWebm(dir);
        else if (kind == "long-webm")
            path = EngineMedia::vp9OpusWebm(dir, 8, QStringLiteral("320x240"), QStringLiteral("long.webm"));
        else if (kind == "opus")
            path = EngineMedia::opusFile(dir);
        else if (kind == "damaged")
            path = EngineMedia::damagedMkv(dir);
        else if (kind == "text")
            path = EngineMedia::textNamedMkv(dir);
        m_files.insert(kind, path);
        return path;
    }

    // A fresh scratch root per test so no conversion leaks into another.
    QString freshCache()
    {
        static int n = 0;
        const QString root = m_home->cache() + QStringLiteral("/scratch-%1").arg(++n);
        QDir().mkpath(root);
        return root;
    }

    static Reports runToReport(PlaybackTranscoder &transcoder, const QString &source)
    {
        Reports reports;
        transcoder.start(source, reports.handler());
        if (!QTest::qWaitFor([&] { return !reports.results.isEmpty(); }, 120000))
            qWarning("no report");
        return reports;
    }

private slots:
    void initTestCase()
    {
        // Before anything reads the cache and state folders.
        m_home = std::make_unique<TestSupport::TempHome>();
        m_media = std::make_unique<QTemporaryDir>();
        QVERIFY(FFmpeg::available());
    }

    void unsupportedSet()
    {
        const QStringList expected{"mkv", "webm", "avi", "wmv", "flv", "f4v",  "ogv", "rm",  "rmvb", "asf",
                                   "divx", "vob", "ts",  "m2ts", "mts", "mxf", "opus", "ogg", "oga", "wma",
                                   "ape", "wv",  "dsf", "dff", "mka", "dts", "mpc", "tta"};
        QCOMPARE(PlaybackTranscoder::unsupported(), expected);
    }

    void needsConversion_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("needs");
        QTest::newRow("mkv") << "/v/film.mkv" << true;
        QTest::newRow("upper case") << "/v/FILM.MKV" << true;
        QTest::newRow("mixed case webm") << "/v/clip.WebM" << true;
        QTest::newRow("opus") << "/m/voice.opus" << true;
        QTest::newRow("mp4") << "/v/film.mp4" << false;
        QTest::newRow("mov") << "/v/film.mov" << false;
        QTest::newRow("no extension") << "/v/mkv" << false;
        QTest::newRow("dot file") << "/v/.mkv" << true;
        QTest::newRow("double extension") << "/v/archive.mkv.part" << false;
        QTest::newRow("last extension counts") << "/v/show.mp4.ts" << true;
    }

    void needsConversion()
    {
        QFETCH(QString, path);
        QFETCH(bool, needs);
        QCOMPARE(PlaybackTranscoder::needsConversion(path), needs);
        QCOMPARE(PlaybackTranscoder::needsConversion(QUrl::fromLocalFile(path)), needs);
    }

    void cacheFolder()
    {
        QCOMPARE(PlaybackTranscoder::cache(), m_home->cache() + QStringLiteral("/Moxtrel/Playback"));
    }

    void timeText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0.0";
        QTest::newRow("whole") << 1700000000.0 << "1700000000.0";
        QTest::newRow("quarter") << 1700000000.25 << "1700000000.25";
        QTest::newRow("tenth, shortest form") << 0.1 << "0.1";
        QTest::newRow("microseconds") << 1234.000001 << "1234.000001";
    }

    void timeText()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(PlaybackTranscoder::timeText(seconds), text);
        QCOMPARE(text.toDouble(), seconds);
    }

    void key()
    {
        const QString path = m_media->filePath(QStringLiteral("key file.mkv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1234, 'x'));
        file.close();
        QVERIFY(setModified(path, 1700000000, 250000));
        const QString key = PlaybackTranscoder::key(path);
        QCOMPARE(key, expectedKey(path, QStringLiteral("1700000000.25"), 1234));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{24}$")).match(key).hasMatch());
        QCOMPARE(PlaybackTranscoder::key(path), key);  // unchanged file, same folder

        QVERIFY(setModified(path, 1700000100));
        QCOMPARE(PlaybackTranscoder::key(path), expectedKey(path, QStringLiteral("1700000100.0"), 1234));
        QVERIFY(PlaybackTranscoder::key(path) != key);

        const QString missing = m_media->filePath(QStringLiteral("gone.mkv"));
        QCOMPARE(PlaybackTranscoder::key(missing), expectedKey(missing, QStringLiteral("0.0"), 0));
    }

    void available_data()
    {
        QTest::addColumn<QByteArray>("playlist");  // "-" for no file
        QTest::addColumn<double>("seconds");
        const QByteArray head = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:4\n#EXT-X-MAP:URI=\"init.mp4\"\n";
        QTest::newRow("three segments")
            << head + "#EXTINF:4.000000,\nseg00000.m4s\n#EXTINF:4.000000,\nseg00001.m4s\n#EXTINF:2.500000,\nseg00002.m4s\n"
            << 10.5;
        QTest::newRow("complete")
            << head + "#EXTINF:4.000000,\nseg00000.m4s\n#EXT-X-ENDLIST\n" << qInf();
        QTest::newRow("no playlist") << QByteArray("-") << 0.0;
        QTest::newRow("empty playlist") << QByteArray() << 0.0;
        QTest::newRow("header only") << head << 0.0;
        QTest::newRow("unreadable value adds nothing")
            << head + "#EXTINF:abc,\nseg00000.m4s\n#EXTINF:3.5,\nseg00001.m4s\n" << 3.5;
        QTest::newRow("value without comma") << head + "#EXTINF:2.25\nseg00000.m4s\n" << 2.25;
        QTest::newRow("title after comma") << head + "#EXTINF:1.5,Intro, take 1\nseg00000.m4s\n" << 1.5;
        QTest::newRow("blank lines") << head + "\n\n#EXTINF:4,\n\nseg00000.m4s\n\n" << 4.0;
    }

    void available()
    {
        QFETCH(QByteArray, playlist);
        QFETCH(double, seconds);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("index.m3u8"));
        if (playlist != "-") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(playlist);
        }
        QCOMPARE(PlaybackTranscoder::available(path), seconds);
    }

    void readyToPlay_data()
    {
        QTest::addColumn<QByteArray>("playlist");
        QTest::addColumn<bool>("ready");
        const QByteArray head = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-PLAYLIST-TYPE:EVENT\n#EXT-X-MAP:URI=\"init.mp4\"\n";
        const QByteArray segment = "#EXTINF:4.000000,\nseg00000.m4s\n";
        QTest::newRow("nothing yet") << QByteArray() << false;
        QTest::newRow("header only") << head << false;
        QTest::newRow("one segment") << head + segment << false;
        QTest::newRow("two segments") << head + segment + segment << false;
        QTest::newRow("three segments") << head + segment + segment + segment << true;
        QTest::newRow("five segments") << head + segment.repeated(5) << true;
        QTest::newRow("one segment, complete") << head + segment + "#EXT-X-ENDLIST\n" << true;
        QTest::newRow("complete, no segments") << head + "#EXT-X-ENDLIST\n" << true;
    }

    void readyToPlay()
    {
        QFETCH(QByteArray, playlist);
        QFETCH(bool, ready);
        QCOMPARE(PlaybackTranscoder::readyToPlay(QString::fromUtf8(playlist)), ready);
    }

    void arguments_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<EncoderSet>("encoders");
        QTest::addColumn<QStringList>("streams");  // expected middle part, between the input and "-sn"
        QTest::addColumn<bool>("converting");

        const QStringList h264Copy{"-map", "0:v:0", "-c:v", "copy"};
        const QStringList aacCopy{"-map", "0:a:0", "-c:a", "copy"};
        const QStringList macVideo{"-map", "0:v:0", "-c:v", "h264_videotoolbox", "-q:v", "65",
                                   "-vf", "format=yuv420p", "-g", "120"};
        const QStringList macAudio{"-map", "0:a:0", "-c:a", "aac_at", "-b:a", "192k", "-ac", "2"};
        const QStringList swVideo{"-map", "0:v:0", "-c:v",           "libx264", "-preset", "veryfast", "-crf", "22",
                                  "-vf",  "format=yuv420p", "-g", "120"};
        const QStringList swAudio{"-map", "0:a:0", "-c:a", "aac", "-b:a", "192k", "-ac", "2"};
        const QStringList vaVideo{"-map", "0:v:0", "-c:v", "h264_vaapi", "-qp", "22",
                                  "-vf", "format=nv12,hwupload", "-g", "120"};

        const auto mac = EncoderSet::macOS();
        const auto sw = EncoderSet::software();
        const auto va = EncoderSet::vaapi(QStringLiteral("/dev/dri/renderD128"));
        for (const auto &[name, set] : {std::pair{"macOS", mac}, std::pair{"software", sw}, std::pair{"vaapi", va}}) {
            const QString n = QString::fromLatin1(name);
            QTest::newRow(qPrintable(n + " h264 aac mkv")) << "mkv" << set << h264Copy + aacCopy << false;
            QTest::newRow(qPrintable(n + " hevc mkv"))
                << "hevc" << set << h264Copy + QStringList{"-tag:v", "hvc1"} + aacCopy << false;
        }
        QTest::newRow("macOS mpeg4 mp3 avi") << "avi" << mac << macVideo + macAudio << true;
        QTest::newRow("macOS vp9 opus webm") << "webm" << mac << macVideo + macAudio << true;
        QTest::newRow("macOS opus") << "opus" << mac << macAudio << true;
        QTest::newRow("software mpeg4 mp3 avi") << "avi" << sw << swVideo + swAudio << true;
        QTest::newRow("software vp9 opus webm") << "webm" << sw << swVideo + swAudio << true;
        QTest::newRow("software opus") << "opus" << sw << swAudio << true;
        QTest::newRow("vaapi mpeg4 mp3 avi")
            << "avi" << va << QStringList{"-vaapi_device", "/dev/dri/renderD128"} + vaVideo + swAudio << true;
        QTest::newRow("vaapi opus") << "opus" << va << swAudio << true;
    }

    void arguments()
    {
        QFETCH(QString, kind);
        QFETCH(EncoderSet, encoders);
        QFETCH(QStringList, streams);
        QFETCH(bool, converting);
        const QString source = media(kind);
        QVERIFY(!source.isEmpty());
        const auto probe = FFmpeg::probeNow(source);
        QVERIFY(probe);
        const auto plan = PlaybackTranscoder::plan(*probe);
        QCOMPARE(plan.converting(), converting);
        const QString folder = QStringLiteral("/cache/abc");
        QStringList expected;
        // VAAPI's device goes before the input.
        if (streams.startsWith(QStringLiteral("-vaapi_device")))
            expected << streams.takeFirst() << streams.takeFirst();
        expected << "-i" << source << streams
                 << QStringList{"-sn",  "-dn",   "-f",    "hls",   "-hls_time", "4", "-hls_playlist_type", "event",
                                "-hls_segment_type", "fmp4", "-hls_fmp4_init_filename", "init.mp4",
                                "-hls_segment_filename", "/cache/abc/seg%05d.m4s", "-hls_flags",
                                "independent_segments+temp_file", "/cache/abc/index.m3u8"};
        QCOMPARE(PlaybackTranscoder::arguments(plan, source, folder, encoders), expected);
    }

    void percentInFolder()
    {
        // ffmpeg would expand "%" in the folder part of the segment pattern.
        const auto probe = FFmpeg::probeNow(media("mkv"));
        QVERIFY(probe);
        const QStringList args = PlaybackTranscoder::arguments(PlaybackTranscoder::plan(*probe), media("mkv"),
                                                               "/home/a%dx/.cache/k", EncoderSet::software());
        const qsizetype i = args.indexOf("-hls_segment_filename");
        QVERIFY(i > 0);
        QCOMPARE(args.at(i + 1), QStringLiteral("seg%05d.m4s"));
        QCOMPARE(args.last(), QStringLiteral("/home/a%dx/.cache/k/index.m3u8"));

        const QString cache = freshCache() + QStringLiteral("/50%d off");
        PlaybackTranscoder transcoder(EncoderSet::software(), cache);
        Reports reports = runToReport(transcoder, media("long-mkv"));
        QVERIFY2(reports.ready(), qPrintable(reports.error()));
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.complete(), 60000);
        const QString folder = QFileInfo(reports.ready()->playlist).path();
        QVERIFY(QFileInfo(folder + QStringLiteral("/seg00003.m4s")).size() > 0);
        QVERIFY(PlaybackTranscoder::available(reports.ready()->playlist) == qInf());
    }

    void failure_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("error");  // null: nothing reported
        QTest::newRow("cancelled") << "Cancelled" << QString();
        QTest::newRow("invalid data")
            << "[mkv] x\nError while decoding stream #0:0: Invalid data found when processing input" << damagedError;
        QTest::newRow("invalid data in capitals") << "INVALID DATA here" << damagedError;
        QTest::newRow("last non-empty line")
            << "first\nUnknown encoder 'h264_videotoolbox'\n\n" << appName + " couldn't play this file. Unknown encoder 'h264_videotoolbox'";
        QTest::newRow("exit code message")
            << "FFmpeg stopped with code 1." << appName + " couldn't play this file. FFmpeg stopped with code 1.";
        QTest::newRow("empty") << "" << appName + " couldn't play this file. ";
    }

    void failure()
    {
        QFETCH(QString, message);
        QFETCH(QString, error);
        const auto result = PlaybackTranscoder::failure(message);
        QCOMPARE(result.has_value(), !error.isNull());
        if (result)
            QCOMPARE(result->text, error);
    }

    void startReports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("converting");
        QTest::addColumn<bool>("hasSize");
        QTest::addColumn<QString>("logWord");
        QTest::newRow("h264 aac mkv rewrapped") << "mkv" << false << true << "rewrapping";
        QTest::newRow("hevc mkv rewrapped") << "hevc" << false << true << "rewrapping";
        QTest::newRow("mpeg4 mp3 avi converted") << "avi" << true << true << "converting";
        QTest::newRow("vp9 opus webm converted") << "webm" << true << true << "converting";
        QTest::newRow("opus audio converted") << "opus" << true << false << "rewrapping";
    }

    void startReports()
    {
        QFETCH(QString, kind);
        QFETCH(bool, converting);
        QFETCH(bool, hasSize);
        QFETCH(QString, logWord);
        const QString source = media(kind);
        QVERIFY(!source.isEmpty());
        const QString cache = freshCache();
        PlaybackTranscoder transcoder(EncoderSet::software(), cache);
        Reports reports = runToReport(transcoder, source);
        QVERIFY2(reports.ready(), qPrintable(reports.error()));
        const Ready ready = *reports.ready();
        QCOMPARE(ready.converting, converting);
        QCOMPARE(ready.size.has_value(), hasSize);
        if (hasSize)
            QCOMPARE(*ready.size, QSizeF(320, 240));
        QVERIFY(qAbs(ready.duration - 2.0) < 0.1);
        const QString folder = cache + QLatin1Char('/') + PlaybackTranscoder::key(source);
        QCOMPARE(transcoder.folder(), folder);
        QCOMPARE(ready.playlist, folder + QStringLiteral("/index.m3u8"));
        QCOMPARE(transcoder.lastArguments(),
                 PlaybackTranscoder::arguments(PlaybackTranscoder::plan(*FFmpeg::probeNow(source)), source, folder,
                                               EncoderSet::software()));

        // A two-second clip has one segment: ready comes from the end of the list or
        // ffmpeg's success, once, and the conversion completes.
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.complete(), 60000);
        QTest::qWait(600);
        QCOMPARE(reports.results.size(), 1);
        QCOMPARE(PlaybackTranscoder::available(ready.playlist), qInf());
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/init.mp4")));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/seg00000.m4s")));
        QVERIFY(Log::tail(50).join('\n').contains(
            QStringLiteral("Player: %1 a %2 file for playback").arg(logWord, QFileInfo(source).suffix())));

        // Complete conversions outlive stop().
        transcoder.stop();
        QVERIFY(QFileInfo::exists(ready.playlist));
        QVERIFY(transcoder.folder().isEmpty());
    }

    void readyAfterThreeSegments()
    {
        const QString source = media("long-mkv");
        QVERIFY(!source.isEmpty());
        PlaybackTranscoder transcoder(EncoderSet::software(), freshCache());
        Reports reports = runToReport(transcoder, source);
        QVERIFY2(reports.ready(), qPrintable(reports.error()));
        QCOMPARE(reports.ready()->converting, false);
        const double seen = PlaybackTranscoder::available(reports.ready()->playlist);
        QVERIFY(seen >= 12.0 - 0.5);  // three four-second segments, or all of it
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.complete(), 60000);
        QTest::qWait(300);
        QCOMPARE(reports.results.size(), 1);
    }

    void reuseFinishedConversion()
    {
        const QString source = media("avi");
        const QString cache = freshCache();
        QString playlist;
        {
            PlaybackTranscoder first(EncoderSet::software(), cache);
            Reports reports = runToReport(first, source);
            QVERIFY(reports.ready());
            QTRY_VERIFY_WITH_TIMEOUT(first.complete(), 60000);
            playlist = reports.ready()->playlist;
            first.stop();
        }
        const QString folder = QFileInfo(playlist).path();
        const auto before = listing(folder);
        QVERIFY(before.contains(QStringLiteral("index.m3u8")));

        PlaybackTranscoder second(EncoderSet::software(), cache);
        Reports reports = runToReport(second, source);
        QVERIFY(reports.ready());
        QCOMPARE(reports.ready()->converting, false);
        QCOMPARE(reports.ready()->playlist, playlist);
        QCOMPARE(*reports.ready()->size, QSizeF(320, 240));
        QVERIFY(second.complete());
        QVERIFY(!second.isRunning());
        QVERIFY(second.lastArguments().isEmpty());  // no ffmpeg was built or run
        QCOMPARE(listing(folder), before);
        QTest::qWait(300);
        QCOMPARE(reports.results.size(), 1);
    }

    void reuseWithoutFFmpeg()
    {
        // Finish a conversion here, then open the same file where only ffprobe exists.
        const QString source = media("mkv");
        const QString cache = freshCache();
        {
            PlaybackTranscoder first(EncoderSet::software(), cache);
            Reports reports = runToReport(first, source);
            QVERIFY(reports.ready());
            QTRY_VERIFY_WITH_TIMEOUT(first.complete(), 60000);
        }
        QTemporaryDir resources;
        QVERIFY(QDir().mkpath(resources.filePath(QStringLiteral("ffmpeg"))));
        QVERIFY(QFile::link(FFmpeg::ffprobe(), resources.filePath(QStringLiteral("ffmpeg/ffprobe"))));

        const QJsonObject cached = runChild(resources.path(), source, cache);
        QCOMPARE(cached.value("reports").toInt(), 1);
        QCOMPARE(cached.value("converting").toBool(true), false);
        QCOMPARE(cached.value("playlist").toString(),
                 cache + QLatin1Char('/') + PlaybackTranscoder::key(source) + QStringLiteral("/index.m3u8"));
        QCOMPARE(cached.value("error").toString(), QString());

        // Without a finished conversion the missing ffmpeg is a launch error.
        const QJsonObject fresh = runChild(resources.path(), source, freshCache());
        QCOMPARE(fresh.value("reports").toInt(), 1);
        QVERIFY(!fresh.value("error").toString().isEmpty());
        QVERIFY(fresh.value("arguments").toInt() > 0);
    }

    void missingFFprobe()
    {
        QTemporaryDir resources;
        QVERIFY(QDir().mkpath(resources.filePath(QStringLiteral("ffmpeg"))));
        QVERIFY(QFile::link(FFmpeg::ffmpeg(), resources.filePath(QStringLiteral("ffmpeg/ffmpeg"))));
        const QJsonObject out = runChild(resources.path(), media("mkv"), freshCache());
        QCOMPARE(out.value("reports").toInt(), 1);
        QCOMPARE(out.value("error").toString(), appName + readError);
        QCOMPARE(out.value("arguments").toInt(-1), 0);
    }

    void touchedFileConvertsAgain()
    {
        const QString source = m_media->filePath(QStringLiteral("touched.mkv"));
        QVERIFY(QFile::copy(media("mkv"), source));
        const QString cache = freshCache();
        QString firstFolder;
        {
            PlaybackTranscoder first(EncoderSet::software(), cache);
            QVERIFY(runToReport(first, source).ready());
            QTRY_VERIFY_WITH_TIMEOUT(first.complete(), 60000);
            firstFolder = first.folder();
        }
        QVERIFY(setModified(source, QDateTime::currentSecsSinceEpoch() + 5));
        PlaybackTranscoder second(EncoderSet::software(), cache);
        Reports reports = runToReport(second, source);
        QVERIFY(reports.ready());
        QVERIFY(second.folder() != firstFolder);
        QVERIFY(!second.lastArguments().isEmpty());  // a fresh conversion
        QVERIFY(QFileInfo::exists(firstFolder + QStringLiteral("/index.m3u8")));
    }

    void incompleteFolderIsRedone()
    {
        // A folder left by an interrupted run (no end list) is cleared and converted again.
        const QString source = media("mkv");
        const QString cache = freshCache();
        const QString folder = cache + QLatin1Char('/') + PlaybackTranscoder::key(source);
        QVERIFY(QDir().mkpath(folder));
        QFile stale(folder + QStringLiteral("/index.m3u8"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("#EXTM3U\n#EXTINF:4.0,\nseg00000.m4s\n");
        stale.close();
        QFile leftover(folder + QStringLiteral("/seg00099.m4s"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();

        PlaybackTranscoder transcoder(EncoderSet::software(), cache);
        Reports reports = runToReport(transcoder, source);
        QVERIFY(reports.ready());
        QVERIFY(!transcoder.lastArguments().isEmpty());
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/seg00099.m4s")));
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.complete(), 60000);
    }

    void stopDuringConversion()
    {
        const QString source = media("long-avi");
        PlaybackTranscoder transcoder(EncoderSet::software(), freshCache());
        Reports reports;
        transcoder.start(source, reports.handler());
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.isRunning(), 60000);
        const QString folder = transcoder.folder();
        QVERIFY(QFileInfo(folder).isDir());
        transcoder.stop();
        QVERIFY(!transcoder.isRunning());
        QVERIFY(!QFileInfo::exists(folder));
        QTest::qWait(800);
        QCOMPARE(reports.results.size(), 0);
    }

    void stopWhileProbing()
    {
        const QString cache = freshCache();
        PlaybackTranscoder transcoder(EncoderSet::software(), cache);
        Reports reports;
        transcoder.start(media("mkv"), reports.handler());
        transcoder.stop();
        QTest::qWait(1500);
        QCOMPARE(reports.results.size(), 0);
        QVERIFY(!transcoder.isRunning());
        QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void releasedTranscoderNeverReports()
    {
        Reports reports;
        auto transcoder = std::make_unique<PlaybackTranscoder>(EncoderSet::software(), freshCache());
        transcoder->start(media("long-avi"), reports.handler());
        QTRY_VERIFY_WITH_TIMEOUT(transcoder->isRunning(), 60000);
        const QString folder = transcoder->folder();
        transcoder.reset();
        QVERIFY(!QFileInfo::exists(folder));
        QTest::qWait(800);
        QCOMPARE(reports.results.size(), 0);
    }

    void deletedInsideReady()
    {
        auto *transcoder = new PlaybackTranscoder(EncoderSet::software(), freshCache());
        QPointer<PlaybackTranscoder> guard(transcoder);
        int calls = 0;
        transcoder->start(media("avi"), [&](const PlaybackTranscoder::Result &) {
            ++calls;
            delete transcoder;
        });
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 60000);
        QTest::qWait(300);
        QCOMPARE(calls, 1);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text named mkv") << "text";
        QTest::newRow("missing file") << "missing";
        QTest::newRow("damaged mkv") << "damaged";
        QTest::newRow("unwritable cache") << "unwritable";
    }

    void errors()
    {
        QFETCH(QString, kind);
        QString source = kind == "missing" ? m_media->filePath(QStringLiteral("absent.webm"))
                         : kind == "unwritable" ? media("avi")
                                                : media(kind);
        QVERIFY(!source.isEmpty());
        QString cache = freshCache();
        if (kind == "unwritable") {
            // A file where the scratch root's parent should be: nothing can be created.
            QFile blocker(cache + QStringLiteral("/blocked"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
            cache = blocker.fileName() + QStringLiteral("/Playback");
        }
        PlaybackTranscoder transcoder(EncoderSet::software(), cache);
        Reports reports = runToReport(transcoder, source);
        QCOMPARE(reports.results.size(), 1);
        const QString error = reports.error();
        if (kind == "text" || kind == "missing") {
            QCOMPARE(error, appName + readError);
            QVERIFY(transcoder.lastArguments().isEmpty());
            return;
        }
        // ffmpeg itself failed: the message names its last error line, or the damage.
        QVERIFY(!transcoder.lastArguments().isEmpty());
        QProcess direct;
        QStringList args = transcoder.lastArguments();
        QTemporaryDir other;
        args.replaceInStrings(transcoder.folder(), other.path());
        direct.start(FFmpeg::ffmpeg(), FFmpeg::Job::prefix() + args);
        QVERIFY(direct.waitForFinished(60000));
        QVERIFY(direct.exitCode() != 0 || kind == "unwritable");
        if (kind == "damaged") {
            QStringList tail = QString::fromUtf8(direct.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
            tail = tail.mid(qMax(0, tail.size() - 6));
            QCOMPARE(error, PlaybackTranscoder::failure(tail.join('\n'))->text);
            QVERIFY(error == damagedError || error.startsWith(appName + QStringLiteral(" couldn't play this file. ")));
        } else {
            QVERIFY2(error.startsWith(appName + QStringLiteral(" couldn't play this file. ")), qPrintable(error));
            QVERIFY(error.size() > (appName + QStringLiteral(" couldn't play this file. ")).size());
        }
        QVERIFY(!transcoder.complete());
    }

    void prune()
    {
        const QString root = freshCache();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QList<std::pair<QString, qint64>> entries{
            {"old", 25 * 3600}, {"recent", 3600}, {"just-inside", 86400 - 120}, {"ancient-file", 30 * 86400}};
        for (const auto &[name, age] : entries) {
            const QString path = root + QLatin1Char('/') + name;
            if (name.endsWith(QLatin1String("file"))) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
            } else {
                QVERIFY(QDir().mkpath(path + QStringLiteral("/inner")));
                QFile seg(path + QStringLiteral("/seg00000.m4s"));
                QVERIFY(seg.open(QIODevice::WriteOnly));
                seg.close();
            }
            QVERIFY(setModified(path, now.toSecsSinceEpoch() - age));
        }
        // A link whose target is gone has no readable date.
        QVERIFY(QFile::link(root + QStringLiteral("/nowhere"), root + QStringLiteral("/dangling")));

        PlaybackTranscoder::prune(root, now).waitForFinished();
        QStringList left = QDir(root).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left, QStringList({"just-inside", "recent"}));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/recent/seg00000.m4s")));

        // A scratch root that does not exist is left alone.
        PlaybackTranscoder::prune(root + QStringLiteral("/none"), now).waitForFinished();
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/none")));
    }

    void playedToTheEndByPlaybin3_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("rewrapped h264 mkv") << "long-mkv";
        // Several segments: with a one-segment list GStreamer 1.22's HLS reader can
        // reach the end before it exposes its pad, and then reports a download error.
        QTest::newRow("converted vp9 webm") << "long-webm";
    }

    void playedToTheEndByPlaybin3()
    {
        QFETCH(QString, kind);
        const QString source = media(kind);
        PlaybackTranscoder transcoder;  // the run's encoders and the served scratch root
        Reports reports = runToReport(transcoder, source);
        QVERIFY2(reports.ready(), qPrintable(reports.error()));
        QVERIFY(reports.ready()->playlist.startsWith(PlaybackTranscoder::cache() + QLatin1Char('/')));
        const auto url = reports.ready()->stream();
        QVERIFY(url);
        QCOMPARE(url->host(), QStringLiteral("127.0.0.1"));
        QVERIFY(url->path().endsWith(PlaybackTranscoder::key(source) + QStringLiteral("/index.m3u8")));

        QProcess gst;
        gst.setProcessChannelMode(QProcess::MergedChannels);
        gst.start(QStringLiteral("gst-launch-1.0"),
                  {QStringLiteral("playbin3"), QStringLiteral("uri=") + url->toString(),
                   QStringLiteral("video-sink=fakesink"), QStringLiteral("audio-sink=fakesink")});
        QVERIFY(gst.waitForStarted());
        QVERIFY(gst.waitForFinished(120000));
        const QString output = QString::fromUtf8(gst.readAll());
        QVERIFY2(gst.exitCode() == 0 && output.contains(QStringLiteral("Got EOS")), qPrintable(output));
        QTRY_VERIFY_WITH_TIMEOUT(transcoder.complete(), 60000);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--child-start") == 0)
        return childStart(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestPlaybackTranscoder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playbacktranscoder.moc"
