#include "support/EngineMedia.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>

namespace EngineMedia {

namespace {

QString at(const QString &dir, const QString &name) { return dir + QLatin1Char('/') + name; }

QString secondsText(double seconds) { return QString::number(seconds); }

QStringList testVideo(double seconds, const QString &size = QStringLiteral("320x240"))
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=size=%1:rate=25:duration=%2").arg(size, secondsText(seconds))};
}

QStringList testAudio(double seconds)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(secondsText(seconds))};
}

QStringList coverPicture()
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("color=c=red:size=64x64:duration=0.04")};
}

} // namespace

QString h264AacMkv(const QString &dir, double seconds, const QString &size, const QString &name)
{
    const QString srt = at(dir, name + QStringLiteral(".srt"));
    QFile file(srt);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("1\n00:00:00,000 --> 00:00:01,000\nHello\n\n");
    file.close();
    QStringList args = testVideo(seconds, size) + testAudio(seconds);
    args << QStringLiteral("-i") << srt << QStringLiteral("-map") << QStringLiteral("0") << QStringLiteral("-map")
         << QStringLiteral("1") << QStringLiteral("-map") << QStringLiteral("2") << QStringLiteral("-c:v")
         << QStringLiteral("libx264") << QStringLiteral("-preset") << QStringLiteral("ultrafast")
         << QStringLiteral("-g") << QStringLiteral("50") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
         << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-c:s") << QStringLiteral("srt") << QStringLiteral("-metadata:s:s:0")
         << QStringLiteral("language=eng") << QStringLiteral("-metadata:s:a:0") << QStringLiteral("language=fra")
         << QStringLiteral("-metadata:s:a:0") << QStringLiteral("title=Commentary");
    return TestSupport::makeMedia(at(dir, name), args);
}

QString hevcMkv(const QString &dir, double seconds)
{
    QStringList args = testVideo(seconds) + testAudio(seconds);
    args << QStringLiteral("-c:v") << QStringLiteral("libx265") << QStringLiteral("-preset")
         << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
         << QStringLiteral("-x265-params") << QStringLiteral("log-level=error") << QStringLiteral("-c:a")
         << QStringLiteral("aac");
    return TestSupport::makeMedia(at(dir, QStringLiteral("hevc.mkv")), args);
}

QString mpeg4Mp3Avi(const QString &dir, double seconds, const QString &name)
{
    QStringList args = testVideo(seconds) + testAudio(seconds);
    args << QStringLiteral("-c:v") << QStringLiteral("mpeg4") << QStringLiteral("-c:a") << QStringLiteral("libmp3lame");
    return TestSupport::makeMedia(at(dir, name), args);
}

QString vp9OpusWebm(const QString &dir, double seconds, const QString &size, const QString &name)
{
    QStringList args = testVideo(seconds, size) + testAudio(seconds);
    args << QStringLiteral("-c:v") << QStringLiteral("libvpx-vp9") << QStringLiteral("-deadline")
         << QStringLiteral("realtime") << QStringLiteral("-cpu-used") << QStringLiteral("8") << QStringLiteral("-row-mt")
         << QStringLiteral("1") << QStringLiteral("-b:v") << QStringLiteral("2M") << QStringLiteral("-c:a")
         << QStringLiteral("libopus");
    return TestSupport::makeMedia(at(dir, name), args);
}

QString opusFile(const QString &dir, double seconds)
{
    QStringList args = testAudio(seconds);
    args << QStringLiteral("-c:a") << QStringLiteral("libopus");
    return TestSupport::makeMedia(at(dir, QStringLiteral("voice.opus")), args);
}

QString coverArtMp3(const QString &dir)
{
    QStringList args = testAudio(2) + coverPicture();
    args << QStringLiteral("-map") << QStringLiteral("0") << QStringLiteral("-map") << QStringLiteral("1")
         << QStringLiteral("-c:a") << QStringLiteral("libmp3lame") << QStringLiteral("-c:v") << QStringLiteral("mjpeg")
         << QStringLiteral("-disposition:v") << QStringLiteral("attached_pic");
    return TestSupport::makeMedia(at(dir, QStringLiteral("song.mp3")), args);
}

QString coverArtMp4(const QString &dir)
{
    QStringList args = testVideo(2) + testAudio(2) + coverPicture();
    args << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a")
         << QStringLiteral("-map") << QStringLiteral("2:v") << QStringLiteral("-c:v:0") << QStringLiteral("libx264")
         << QStringLiteral("-preset") << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt")
         << QStringLiteral("yuv420p") << QStringLiteral("-c:v:1") << QStringLiteral("mjpeg")
         << QStringLiteral("-disposition:v:1") << QStringLiteral("attached_pic") << QStringLiteral("-c:a")
         << QStringLiteral("aac");
    return TestSupport::makeMedia(at(dir, QStringLiteral("covered.mp4")), args);
}

QString damagedMkv(const QString &dir)
{
    QStringList args = testVideo(4) + testAudio(4);
    args << QStringLiteral("-c:v") << QStringLiteral("mpeg4") << QStringLiteral("-c:a") << QStringLiteral("libmp3lame");
    const QString good = TestSupport::makeMedia(at(dir, QStringLiteral("intact.mkv")), args);
    if (good.isEmpty())
        return {};
    QFile in(good);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = in.readAll();
    if (bytes.size() <= 800)
        return {};
    bytes.replace(800, bytes.size() - 800, noise(bytes.size() - 800));
    const QString path = at(dir, QStringLiteral("damaged.mkv"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return {};
    return path;
}

QString textNamedMkv(const QString &dir)
{
    const QString path = at(dir, QStringLiteral("notes.mkv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("These are meeting notes, not a film.\nSecond line.\n");
    return path;
}

QByteArray noise(qsizetype count, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

} // namespace EngineMedia
