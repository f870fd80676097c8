#include "converter/ConverterEngine.h"

#include "engine/ConvertTypes.h"
#include "engine/EncoderSet.h"
#include "engine/FFmpeg.h"

namespace ConverterEngine {

namespace {

QString byQuality(ConvertQuality quality, const char *best, const char *balanced, const char *small)
{
    switch (quality) {
    case ConvertQuality::best:
        return QString::fromLatin1(best);
    case ConvertQuality::balanced:
        break;
    case ConvertQuality::small:
        return QString::fromLatin1(small);
    }
    return QString::fromLatin1(balanced);
}

// The pieces every row draws on, derived once from the request.
struct Request
{
    const ConvertOptions &options;
    const EncoderSet &encoders;
    bool cover = false;

    QString scale() const
    {
        if (options.maxSize < 1)
            return {};
        return QStringLiteral("scale=-2:'min(%1,ih)'").arg(options.maxSize);
    }
    QString aacRate() const { return byQuality(options.quality, "256k", "192k", "128k"); }
    int qv() const { return byQuality(options.quality, "75", "60", "45").toInt(); }
    QString mq() const { return byQuality(options.quality, "2", "4", "7"); }

    // "-vf" with the scale first, then `base`; nothing when both are absent.
    // `hardware` lets the encoder set adapt the chain to its encoder.
    QStringList vf(const QString &base, bool hardware = false) const
    {
        QStringList pieces;
        if (const QString s = scale(); !s.isEmpty())
            pieces << s;
        if (!base.isEmpty())
            pieces << base;
        if (pieces.isEmpty())
            return {};
        const QString chain = pieces.join(QLatin1Char(','));
        return {QStringLiteral("-vf"), hardware ? encoders.videoFilter(chain) : chain};
    }
};

const QStringList mapVideo{QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-map"),
                           QStringLiteral("0:a?"), QStringLiteral("-sn")};
const QStringList keepCover{QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-c:v"),
                            QStringLiteral("copy"), QStringLiteral("-disposition:v:0"), QStringLiteral("attached_pic")};
const QStringList faststart{QStringLiteral("-movflags"), QStringLiteral("+faststart")};
const QStringList firstAudio{QStringLiteral("-map"), QStringLiteral("0:a:0")};
const QString noVideo = QStringLiteral("-vn");

QStringList h264Video(const Request &r)
{
    QStringList args = r.encoders.videoEncoder(EncoderSet::Codec::h264, r.qv());
    args << QStringLiteral("-profile:v") << QStringLiteral("high") << r.vf(QStringLiteral("format=yuv420p"), true);
    return args << r.encoders.audioEncoder(r.aacRate());
}

QStringList gifFilter(const Request &r)
{
    const int fps = byQuality(r.options.quality, "15", "12", "10").toInt();
    const int width = r.options.maxSize >= 1 ? r.options.maxSize
                                             : byQuality(r.options.quality, "640", "480", "320").toInt();
    return {QStringLiteral("-an"), QStringLiteral("-vf"),
            QStringLiteral("fps=%1,scale=%2:-2:flags=lanczos,split[a][b];[a]palettegen=stats_mode=diff[p];"
                           "[b][p]paletteuse=dither=sierra2_4a")
                .arg(fps)
                .arg(width),
            QStringLiteral("-loop"), QStringLiteral("0")};
}

// The options of one target; empty for ids that are no video or audio target.
QStringList targetOptions(const QString &id, const Request &r, const std::optional<FFmpeg::Probe> &probe)
{
    const QString cv = QStringLiteral("-c:v");
    const QString ca = QStringLiteral("-c:a");
    const QString ba = QStringLiteral("-b:a");
    if (id == QLatin1String("mp4"))
        return mapVideo + h264Video(r) + faststart;
    if (id == QLatin1String("mkv")) {
        return QStringList{QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-map"),
                           QStringLiteral("0:a?"), QStringLiteral("-map"), QStringLiteral("0:s?"),
                           QStringLiteral("-c:s"), QStringLiteral("copy")}
            + h264Video(r);
    }
    if (id == QLatin1String("mp4-hevc")) {
        return mapVideo + r.encoders.videoEncoder(EncoderSet::Codec::hevc, r.qv())
            + QStringList{QStringLiteral("-tag:v"), QStringLiteral("hvc1")}
            + r.vf(QStringLiteral("format=yuv420p"), true) + r.encoders.audioEncoder(r.aacRate()) + faststart;
    }
    if (id == QLatin1String("mp4-copy")) {
        QStringList args = mapVideo + QStringList{QStringLiteral("-c"), QStringLiteral("copy")} + faststart;
        const auto video = probe ? probe->video() : std::nullopt;
        if (video && video->codecName == QStringLiteral("hevc"))
            args << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
        return args;
    }
    if (id == QLatin1String("mov-prores")) {
        return mapVideo
            + QStringList{cv, QStringLiteral("prores_ks"), QStringLiteral("-profile:v"),
                          byQuality(r.options.quality, "3", "2", "1")}
            + r.vf(QStringLiteral("format=yuv422p10le")) + QStringList{ca, QStringLiteral("pcm_s16le")};
    }
    if (id == QLatin1String("webm")) {
        return mapVideo
            + QStringList{cv, QStringLiteral("libvpx-vp9"), QStringLiteral("-crf"),
                          byQuality(r.options.quality, "24", "32", "40"), QStringLiteral("-b:v"), QStringLiteral("0"),
                          QStringLiteral("-row-mt"), QStringLiteral("1"), QStringLiteral("-deadline"),
                          QStringLiteral("good"), QStringLiteral("-cpu-used"), QStringLiteral("4")}
            + r.vf({}) + QStringList{ca, QStringLiteral("libopus"), ba, byQuality(r.options.quality, "128k", "128k", "96k")};
    }
    if (id == QLatin1String("mp4-part2")) {
        return mapVideo
            + QStringList{cv, QStringLiteral("mpeg4"), QStringLiteral("-tag:v"), QStringLiteral("mp4v"),
                          QStringLiteral("-q:v"), r.mq()}
            + r.vf(QStringLiteral("format=yuv420p")) + r.encoders.audioEncoder(r.aacRate()) + faststart;
    }
    if (id == QLatin1String("avi")) {
        return mapVideo
            + QStringList{cv, QStringLiteral("mpeg4"), QStringLiteral("-vtag"), QStringLiteral("xvid"),
                          QStringLiteral("-q:v"), r.mq()}
            + r.vf({}) + QStringList{ca, QStringLiteral("libmp3lame"), ba, QStringLiteral("192k")};
    }
    if (id == QLatin1String("gif"))
        return gifFilter(r);
    if (id == QLatin1String("mp3")) {
        const QStringList picture = r.cover ? keepCover + QStringList{QStringLiteral("-id3v2_version"), QStringLiteral("3")}
                                            : QStringList{noVideo};
        return firstAudio + picture
            + QStringList{ca, QStringLiteral("libmp3lame"), ba, byQuality(r.options.quality, "320k", "192k", "128k")};
    }
    const QStringList pictureOrNone = r.cover ? keepCover : QStringList{noVideo};
    if (id == QLatin1String("m4a"))
        return firstAudio + pictureOrNone + r.encoders.audioEncoder(r.aacRate());
    if (id == QLatin1String("alac"))
        return firstAudio + pictureOrNone + QStringList{ca, QStringLiteral("alac")};
    if (id == QLatin1String("flac"))
        return firstAudio + pictureOrNone + QStringList{ca, QStringLiteral("flac")};
    if (id == QLatin1String("wav"))
        return firstAudio + QStringList{noVideo, ca, QStringLiteral("pcm_s16le")};
    if (id == QLatin1String("aiff"))
        return firstAudio + QStringList{noVideo, ca, QStringLiteral("pcm_s16be")};
    if (id == QLatin1String("opus")) {
        return firstAudio
            + QStringList{noVideo, ca, QStringLiteral("libopus"), ba, byQuality(r.options.quality, "192k", "128k", "96k")};
    }
    return {};
}

bool usesDeviceEncoder(const QString &id)
{
    return id == QLatin1String("mp4") || id == QLatin1String("mkv") || id == QLatin1String("mp4-hevc");
}

} // namespace

QStringList ffmpegArguments(const QString &input, const QString &output, const ConvertTarget &target,
                            ConvertKind kind, const std::optional<FFmpeg::Probe> &probe,
                            const ConvertOptions &options, const EncoderSet &encoders)
{
    Request request{options, encoders};
    request.cover = kind == ConvertKind::audio && probe && probe->hasCoverArt();
    QStringList args;
    if (usesDeviceEncoder(target.id))
        args << encoders.inputOptions();
    args << QStringLiteral("-i") << input << targetOptions(target.id, request, probe) << output;
    return args;
}

QStringList ffmpegArguments(const QString &input, const QString &output, const ConvertTarget &target,
                            ConvertKind kind, const std::optional<FFmpeg::Probe> &probe,
                            const ConvertOptions &options)
{
    return ffmpegArguments(input, output, target, kind, probe, options, EncoderSet::current());
}

} // namespace ConverterEngine
