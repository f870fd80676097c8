#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"
#include "engine/EncoderSet.h"
#include "engine/FFmpeg.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {

const QString in = QStringLiteral("/m/in put.mkv");
const QString out = QStringLiteral("/o/out file.ext");

// Probes of the shapes the builder looks at, as ffprobe would write them.
std::optional<FFmpeg::Probe> probeNamed(const QString &name)
{
    QByteArray json;
    if (name == QLatin1String("h264"))
        json = R"({"streams":[{"index":0,"codec_type":"video","codec_name":"h264","avg_frame_rate":"25/1"},
                   {"index":1,"codec_type":"audio","codec_name":"aac","channels":2,"sample_rate":"48000"}],
                   "format":{"duration":"10.0"}})";
    else if (name == QLatin1String("hevc"))
        json = R"({"streams":[{"index":0,"codec_type":"video","codec_name":"hevc","avg_frame_rate":"25/1"}],
                   "format":{"duration":"10.0"}})";
    else if (name == QLatin1String("cover"))
        json = R"({"streams":[{"index":0,"codec_type":"audio","codec_name":"mp3"},
                   {"index":1,"codec_type":"video","codec_name":"mjpeg","disposition":{"attached_pic":1}}],
                   "format":{"duration":"180.0"}})";
    else if (name == QLatin1String("song"))
        json = R"({"streams":[{"index":0,"codec_type":"audio","codec_name":"mp3"}],"format":{"duration":"180.0"}})";
    else
        return std::nullopt;
    auto probe = FFmpeg::Probe::decode(json);
    if (!probe)
        qFatal("fixture probe %s does not decode", qPrintable(name));
    return probe;
}

// Expected lists are written as words; IN and OUT stand for the two paths.
QStringList words(const QString &text)
{
    QStringList list = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &w : list) {
        if (w == QLatin1String("IN"))
            w = in;
        else if (w == QLatin1String("OUT"))
            w = out;
    }
    return list;
}

EncoderSet setNamed(const QString &name)
{
    if (name == QLatin1String("linux"))
        return EncoderSet::software();
    if (name == QLatin1String("vaapi"))
        return EncoderSet::vaapi(QStringLiteral("/dev/dri/renderD128"));
    return EncoderSet::macOS();
}

const QString gifChain = QStringLiteral(
    ":-2:flags=lanczos,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=sierra2_4a");

} // namespace

class TestConverterArguments : public QObject
{
    Q_OBJECT

private slots:
    void table_data();
    void table();
    void defaultSetIsThisRunsSet();
    void realConversion_data();
    void realConversion();

private:
    QTemporaryDir m_dir;
};

void TestConverterArguments::table_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("quality");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QString>("expected");

    const QString gifB = QStringLiteral("fps=12,scale=480") + gifChain;
    const QString gif720 = QStringLiteral("fps=12,scale=720") + gifChain;
    const QString gifBest = QStringLiteral("fps=15,scale=640") + gifChain;
    const QString gifSmall = QStringLiteral("fps=10,scale=320") + gifChain;

    struct Row { const char *name, *set, *target, *kind, *quality; int maxSize; const char *probe; QString expected; };
    const Row rows[] = {
        // As first written, with the original hardware encoders.
        {"mac mp4 balanced", "mac", "mp4", "video", "balanced", 0, "h264",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v h264_videotoolbox -q:v 60 -profile:v high -vf format=yuv420p "
         "-c:a aac_at -b:a 192k -movflags +faststart OUT"},
        {"mac mp4 best 720", "mac", "mp4", "video", "best", 720, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v h264_videotoolbox -q:v 75 -profile:v high "
         "-vf scale=-2:'min(720,ih)',format=yuv420p -c:a aac_at -b:a 256k -movflags +faststart OUT"},
        {"mac mkv small", "mac", "mkv", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -map 0:s? -c:s copy -c:v h264_videotoolbox -q:v 45 -profile:v high "
         "-vf format=yuv420p -c:a aac_at -b:a 128k OUT"},
        {"mac mp4-hevc balanced 1080", "mac", "mp4-hevc", "video", "balanced", 1080, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v hevc_videotoolbox -q:v 60 -tag:v hvc1 "
         "-vf scale=-2:'min(1080,ih)',format=yuv420p -c:a aac_at -b:a 192k -movflags +faststart OUT"},
        {"mac mp4-copy hevc source", "mac", "mp4-copy", "video", "balanced", 720, "hevc",
         "-i IN -map 0:v:0 -map 0:a? -sn -c copy -movflags +faststart -tag:v hvc1 OUT"},
        {"mac mp4-copy h264 source", "mac", "mp4-copy", "video", "balanced", 0, "h264",
         "-i IN -map 0:v:0 -map 0:a? -sn -c copy -movflags +faststart OUT"},
        {"mac mp4-copy no probe", "mac", "mp4-copy", "video", "best", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c copy -movflags +faststart OUT"},
        {"mac mov-prores small", "mac", "mov-prores", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v prores_ks -profile:v 1 -vf format=yuv422p10le -c:a pcm_s16le OUT"},
        {"mac mov-prores best 480", "mac", "mov-prores", "video", "best", 480, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v prores_ks -profile:v 3 -vf scale=-2:'min(480,ih)',format=yuv422p10le "
         "-c:a pcm_s16le OUT"},
        {"mac webm best 1080", "mac", "webm", "video", "best", 1080, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libvpx-vp9 -crf 24 -b:v 0 -row-mt 1 -deadline good -cpu-used 4 "
         "-vf scale=-2:'min(1080,ih)' -c:a libopus -b:a 128k OUT"},
        {"mac webm small", "mac", "webm", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libvpx-vp9 -crf 40 -b:v 0 -row-mt 1 -deadline good -cpu-used 4 "
         "-c:a libopus -b:a 96k OUT"},
        {"mac webm balanced", "mac", "webm", "video", "balanced", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libvpx-vp9 -crf 32 -b:v 0 -row-mt 1 -deadline good -cpu-used 4 "
         "-c:a libopus -b:a 128k OUT"},
        {"mac mp4-part2 balanced", "mac", "mp4-part2", "video", "balanced", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v mpeg4 -tag:v mp4v -q:v 4 -vf format=yuv420p -c:a aac_at -b:a 192k "
         "-movflags +faststart OUT"},
        {"mac avi best", "mac", "avi", "video", "best", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v mpeg4 -vtag xvid -q:v 2 -c:a libmp3lame -b:a 192k OUT"},
        {"mac avi small 720", "mac", "avi", "video", "small", 720, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v mpeg4 -vtag xvid -q:v 7 -vf scale=-2:'min(720,ih)' -c:a libmp3lame "
         "-b:a 192k OUT"},
        {"mac gif balanced", "mac", "gif", "video", "balanced", 0, "", "-i IN -an -vf " + gifB + " -loop 0 OUT"},
        {"mac gif balanced 720", "mac", "gif", "video", "balanced", 720, "", "-i IN -an -vf " + gif720 + " -loop 0 OUT"},
        {"mac gif best", "mac", "gif", "video", "best", 0, "", "-i IN -an -vf " + gifBest + " -loop 0 OUT"},
        {"mac gif small", "mac", "gif", "video", "small", 0, "", "-i IN -an -vf " + gifSmall + " -loop 0 OUT"},
        {"mac mp3 song with cover", "mac", "mp3", "audio", "balanced", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -id3v2_version 3 -c:a libmp3lame "
         "-b:a 192k OUT"},
        {"mac mp3 from video with cover", "mac", "mp3", "video", "best", 0, "cover",
         "-i IN -map 0:a:0 -vn -c:a libmp3lame -b:a 320k OUT"},
        {"mac mp3 small no probe", "mac", "mp3", "audio", "small", 0, "",
         "-i IN -map 0:a:0 -vn -c:a libmp3lame -b:a 128k OUT"},
        {"mac m4a song without cover", "mac", "m4a", "audio", "balanced", 0, "song",
         "-i IN -map 0:a:0 -vn -c:a aac_at -b:a 192k OUT"},
        {"mac m4a song with cover", "mac", "m4a", "audio", "best", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -c:a aac_at -b:a 256k OUT"},
        {"mac alac with cover", "mac", "alac", "audio", "balanced", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -c:a alac OUT"},
        {"mac alac without cover", "mac", "alac", "audio", "balanced", 0, "song", "-i IN -map 0:a:0 -vn -c:a alac OUT"},
        {"mac flac with cover", "mac", "flac", "audio", "small", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -c:a flac OUT"},
        {"mac flac from video", "mac", "flac", "video", "small", 0, "h264", "-i IN -map 0:a:0 -vn -c:a flac OUT"},
        {"mac wav with cover", "mac", "wav", "audio", "best", 0, "cover", "-i IN -map 0:a:0 -vn -c:a pcm_s16le OUT"},
        {"mac aiff", "mac", "aiff", "audio", "balanced", 0, "song", "-i IN -map 0:a:0 -vn -c:a pcm_s16be OUT"},
        {"mac opus best", "mac", "opus", "audio", "best", 0, "", "-i IN -map 0:a:0 -vn -c:a libopus -b:a 192k OUT"},
        {"mac opus balanced", "mac", "opus", "audio", "balanced", 0, "", "-i IN -map 0:a:0 -vn -c:a libopus -b:a 128k OUT"},
        {"mac opus small", "mac", "opus", "audio", "small", 0, "", "-i IN -map 0:a:0 -vn -c:a libopus -b:a 96k OUT"},
        {"mac picture target", "mac", "jpeg", "image", "balanced", 1080, "", "-i IN OUT"},
        {"mac document target", "mac", "doc-pdf", "document", "best", 0, "", "-i IN OUT"},

        // This system's software set: x264/x265 with a CRF, ffmpeg's own AAC encoder.
        {"linux mp4 balanced", "linux", "mp4", "video", "balanced", 0, "h264",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libx264 -preset veryfast -crf 23 -profile:v high -vf format=yuv420p "
         "-c:a aac -b:a 192k -movflags +faststart OUT"},
        {"linux mp4 best 720", "linux", "mp4", "video", "best", 720, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libx264 -preset veryfast -crf 20 -profile:v high "
         "-vf scale=-2:'min(720,ih)',format=yuv420p -c:a aac -b:a 256k -movflags +faststart OUT"},
        {"linux mkv small", "linux", "mkv", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -map 0:s? -c:s copy -c:v libx264 -preset veryfast -crf 28 -profile:v high "
         "-vf format=yuv420p -c:a aac -b:a 128k OUT"},
        {"linux mp4-hevc balanced 1080", "linux", "mp4-hevc", "video", "balanced", 1080, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libx265 -preset veryfast -crf 28 -tag:v hvc1 "
         "-vf scale=-2:'min(1080,ih)',format=yuv420p -c:a aac -b:a 192k -movflags +faststart OUT"},
        {"linux mp4-copy hevc source", "linux", "mp4-copy", "video", "balanced", 0, "hevc",
         "-i IN -map 0:v:0 -map 0:a? -sn -c copy -movflags +faststart -tag:v hvc1 OUT"},
        {"linux mov-prores balanced", "linux", "mov-prores", "video", "balanced", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v prores_ks -profile:v 2 -vf format=yuv422p10le -c:a pcm_s16le OUT"},
        {"linux webm best 1080", "linux", "webm", "video", "best", 1080, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libvpx-vp9 -crf 24 -b:v 0 -row-mt 1 -deadline good -cpu-used 4 "
         "-vf scale=-2:'min(1080,ih)' -c:a libopus -b:a 128k OUT"},
        {"linux mp4-part2 small", "linux", "mp4-part2", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v mpeg4 -tag:v mp4v -q:v 7 -vf format=yuv420p -c:a aac -b:a 128k "
         "-movflags +faststart OUT"},
        {"linux avi balanced", "linux", "avi", "video", "balanced", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v mpeg4 -vtag xvid -q:v 4 -c:a libmp3lame -b:a 192k OUT"},
        {"linux gif balanced", "linux", "gif", "video", "balanced", 0, "", "-i IN -an -vf " + gifB + " -loop 0 OUT"},
        {"linux mp3 with cover", "linux", "mp3", "audio", "balanced", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -id3v2_version 3 -c:a libmp3lame "
         "-b:a 192k OUT"},
        {"linux m4a without cover", "linux", "m4a", "audio", "small", 0, "song",
         "-i IN -map 0:a:0 -vn -c:a aac -b:a 128k OUT"},
        {"linux m4a with cover", "linux", "m4a", "audio", "best", 0, "cover",
         "-i IN -map 0:a:0 -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -c:a aac -b:a 256k OUT"},
        {"linux m4a from video", "linux", "m4a", "video", "balanced", 0, "h264",
         "-i IN -map 0:a:0 -vn -c:a aac -b:a 192k OUT"},
        {"linux alac", "linux", "alac", "audio", "balanced", 0, "song", "-i IN -map 0:a:0 -vn -c:a alac OUT"},
        {"linux flac", "linux", "flac", "audio", "balanced", 0, "", "-i IN -map 0:a:0 -vn -c:a flac OUT"},
        {"linux wav", "linux", "wav", "video", "balanced", 0, "h264", "-i IN -map 0:a:0 -vn -c:a pcm_s16le OUT"},
        {"linux aiff", "linux", "aiff", "audio", "balanced", 0, "", "-i IN -map 0:a:0 -vn -c:a pcm_s16be OUT"},
        {"linux opus", "linux", "opus", "audio", "small", 0, "", "-i IN -map 0:a:0 -vn -c:a libopus -b:a 96k OUT"},
        {"linux pdf target", "linux", "pdf-png", "pdf", "balanced", 0, "", "-i IN OUT"},

        // VAAPI: the device goes before the input, frames are uploaded as NV12.
        {"vaapi mp4 balanced 720", "vaapi", "mp4", "video", "balanced", 720, "",
         "-vaapi_device /dev/dri/renderD128 -i IN -map 0:v:0 -map 0:a? -sn -c:v h264_vaapi -qp 23 -profile:v high "
         "-vf scale=-2:'min(720,ih)',format=nv12,hwupload -c:a aac -b:a 192k -movflags +faststart OUT"},
        {"vaapi mp4-hevc best", "vaapi", "mp4-hevc", "video", "best", 0, "",
         "-vaapi_device /dev/dri/renderD128 -i IN -map 0:v:0 -map 0:a? -sn -c:v hevc_vaapi -qp 20 -tag:v hvc1 "
         "-vf format=nv12,hwupload -c:a aac -b:a 256k -movflags +faststart OUT"},
        {"vaapi webm needs no device", "vaapi", "webm", "video", "small", 0, "",
         "-i IN -map 0:v:0 -map 0:a? -sn -c:v libvpx-vp9 -crf 40 -b:v 0 -row-mt 1 -deadline good -cpu-used 4 "
         "-c:a libopus -b:a 96k OUT"},
        {"vaapi m4a", "vaapi", "m4a", "audio", "balanced", 0, "", "-i IN -map 0:a:0 -vn -c:a aac -b:a 192k OUT"},
    };
    for (const Row &r : rows) {
        QTest::newRow(r.name) << QString::fromLatin1(r.set) << QString::fromLatin1(r.target)
                              << QString::fromLatin1(r.kind) << QString::fromLatin1(r.quality) << r.maxSize
                              << QString::fromLatin1(r.probe) << r.expected;
    }
}

void TestConverterArguments::table()
{
    QFETCH(QString, set);
    QFETCH(QString, target);
    QFETCH(QString, kind);
    QFETCH(QString, quality);
    QFETCH(int, maxSize);
    QFETCH(QString, probe);
    QFETCH(QString, expected);
    const auto t = ConvertTarget::byID(target);
    QVERIFY(t);
    const ConvertOptions options{*ConvertQuality::fromRawValue(quality), maxSize};
    const QStringList args = ConverterEngine::ffmpegArguments(in, out, *t, *ConvertKind::fromRawValue(kind),
                                                              probeNamed(probe), options, setNamed(set));
    QCOMPARE(args, words(expected));
}

void TestConverterArguments::defaultSetIsThisRunsSet()
{
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    QCOMPARE(ConverterEngine::ffmpegArguments(in, out, mp4, ConvertKind::video, std::nullopt, {}),
             ConverterEngine::ffmpegArguments(in, out, mp4, ConvertKind::video, std::nullopt, {},
                                              EncoderSet::current()));
    QVERIFY(EncoderSet::current().kind() != EncoderSet::Kind::macOS);
}

// Each video and audio target really converts with this system's encoders: the
// output decodes and carries the codecs the target promises.
void TestConverterArguments::realConversion_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<QString>("audioCodec");
    QTest::addColumn<int>("height");
    QTest::newRow("mp4") << "mp4" << "clip.mkv" << 0 << "h264" << "aac" << 240;
    QTest::newRow("mp4 at 120 lines") << "mp4" << "clip.mkv" << 120 << "h264" << "aac" << 120;
    QTest::newRow("mp4-hevc") << "mp4-hevc" << "clip.mkv" << 0 << "hevc" << "aac" << 240;
    QTest::newRow("mp4-copy") << "mp4-copy" << "clip.mkv" << 0 << "h264" << "aac" << 240;
    QTest::newRow("mov-prores") << "mov-prores" << "clip.mkv" << 0 << "prores" << "pcm_s16le" << 240;
    QTest::newRow("mkv") << "mkv" << "clip.mkv" << 0 << "h264" << "aac" << 240;
    QTest::newRow("webm") << "webm" << "clip.mkv" << 0 << "vp9" << "opus" << 240;
    QTest::newRow("mp4-part2") << "mp4-part2" << "clip.mkv" << 0 << "mpeg4" << "aac" << 240;
    QTest::newRow("avi") << "avi" << "clip.mkv" << 0 << "mpeg4" << "mp3" << 240;
    QTest::newRow("gif") << "gif" << "clip.mkv" << 160 << "gif" << "" << 120;
    QTest::newRow("mp3 from video") << "mp3" << "clip.mkv" << 0 << "" << "mp3" << 0;
    QTest::newRow("m4a from video") << "m4a" << "clip.mkv" << 0 << "" << "aac" << 0;
    QTest::newRow("flac from video") << "flac" << "clip.mkv" << 0 << "" << "flac" << 0;
    QTest::newRow("wav from video") << "wav" << "clip.mkv" << 0 << "" << "pcm_s16le" << 0;
    QTest::newRow("mp3 keeps cover") << "mp3" << "song.mp3" << 0 << "mjpeg" << "mp3" << 64;
    QTest::newRow("m4a keeps cover") << "m4a" << "song.mp3" << 0 << "mjpeg" << "aac" << 64;
    QTest::newRow("alac") << "alac" << "song.mp3" << 0 << "mjpeg" << "alac" << 64;
    QTest::newRow("flac keeps cover") << "flac" << "song.mp3" << 0 << "mjpeg" << "flac" << 64;
    QTest::newRow("aiff") << "aiff" << "song.mp3" << 0 << "" << "pcm_s16be" << 0;
    QTest::newRow("opus") << "opus" << "song.mp3" << 0 << "" << "opus" << 0;
}

void TestConverterArguments::realConversion()
{
    QFETCH(QString, target);
    QFETCH(QString, source);
    QFETCH(int, maxSize);
    QFETCH(QString, videoCodec);
    QFETCH(QString, audioCodec);
    QFETCH(int, height);
    QVERIFY(m_dir.isValid());
    const QString clip = m_dir.filePath(QStringLiteral("clip.mkv"));
    const QString song = m_dir.filePath(QStringLiteral("song.mp3"));
    if (!QFile::exists(clip)) {
        QVERIFY(!makeMedia(clip, {"-f", "lavfi", "-i", "testsrc=d=1:s=320x240:r=25", "-f", "lavfi", "-i",
                                  "sine=d=1", "-c:v", "libx264", "-c:a", "aac", "-shortest"})
                     .isEmpty());
        QVERIFY(!makeMedia(m_dir.filePath(QStringLiteral("cover.jpg")),
                           {"-f", "lavfi", "-i", "color=blue:s=64x64", "-frames:v", "1"})
                     .isEmpty());
        QVERIFY(!makeMedia(song, {"-f", "lavfi", "-i", "sine=d=1", "-i", m_dir.filePath(QStringLiteral("cover.jpg")),
                                  "-map", "0:a", "-map", "1:v", "-c:a", "libmp3lame", "-c:v", "copy",
                                  "-disposition:v:0", "attached_pic", "-id3v2_version", "3"})
                     .isEmpty());
    }
    const QString input = m_dir.filePath(source);
    const std::optional<FFmpeg::Probe> probe = FFmpeg::probeNow(input);
    QVERIFY(probe);
    const ConvertTarget t = *ConvertTarget::byID(target);
    const ConvertKind kind = *ConvertKind::of(input);
    const QString output = m_dir.filePath(QStringLiteral("out-") + QString::fromLatin1(QTest::currentDataTag())
                                              .replace(QLatin1Char(' '), QLatin1Char('-'))
                                          + QLatin1Char('.') + t.ext);
    const QStringList args = FFmpeg::Job::prefix()
        + ConverterEngine::ffmpegArguments(input, output, t, kind, probe, ConvertOptions{ConvertQuality::small, maxSize});
    QByteArray log;
    QCOMPARE(run(FFmpeg::ffmpeg(), args, &log), 0);

    const auto result = FFmpeg::probeNow(output);
    QVERIFY2(result, log.constData());
    const auto video = result->video();
    const QList<FFmpeg::Stream> audio = result->audio();
    QString gotVideo = video ? video->codecName.value_or(QString()) : QString();
    int gotHeight = video ? video->height.value_or(0) : 0;
    for (const FFmpeg::Stream &s : result->streams) {  // kept artwork is an attached picture
        if (s.isAttachedPicture()) {
            gotVideo = s.codecName.value_or(QString());
            gotHeight = s.height.value_or(0);
        }
    }
    QCOMPARE(gotVideo, videoCodec);
    QCOMPARE(gotHeight, height);
    QCOMPARE(audio.isEmpty() ? QString() : audio.first().codecName.value_or(QString()), audioCodec);
    QVERIFY(result->duration() > 0.5);
}

QTEST_GUILESS_MAIN(TestConverterArguments)
#include "tst_converterarguments.moc"
