#include "engine/EncoderSet.h"

#include "engine/FFmpeg.h"

#include <QDir>
#include <QProcess>

#include <cmath>

namespace {

// Runs ffmpeg with `args`; true when it exits with status 0 within the time limit.
bool runs(const QString &ffmpeg, const QStringList &args, QByteArray *output = nullptr)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ffmpeg, args);
    if (!process.waitForStarted(5000))
        return false;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool lists(const QByteArray &encoders, const char *name)
{
    // Lines look like " V....D h264_vaapi           H.264/AVC (VAAPI) ..."
    for (const QByteArray &line : encoders.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && fields[1] == name)
            return true;
    }
    return false;
}

} // namespace

EncoderSet::EncoderSet(Kind kind, QString h264, QString hevc, QString aac, QString renderNode)
    : m_kind(kind)
    , m_h264(std::move(h264))
    , m_hevc(std::move(hevc))
    , m_aac(std::move(aac))
    , m_renderNode(std::move(renderNode))
{
}

EncoderSet EncoderSet::macOS()
{
    return {Kind::macOS, QStringLiteral("h264_videotoolbox"), QStringLiteral("hevc_videotoolbox"),
            QStringLiteral("aac_at")};
}

EncoderSet EncoderSet::software()
{
    return {Kind::software, QStringLiteral("libx264"), QStringLiteral("libx265"), QStringLiteral("aac")};
}

EncoderSet EncoderSet::vaapi(const QString &renderNode)
{
    return {Kind::vaapi, QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi"), QStringLiteral("aac"),
            renderNode};
}

QString EncoderSet::findRenderNode()
{
    const QDir dri(QStringLiteral("/dev/dri"));
    const QStringList nodes = dri.entryList({QStringLiteral("renderD*")}, QDir::System, QDir::Name);
    return nodes.isEmpty() ? QString() : dri.filePath(nodes.first());
}

EncoderSet EncoderSet::detect(const QString &ffmpeg, const QString &renderNode)
{
    if (renderNode.isEmpty())
        return software();
    QByteArray encoders;
    if (!runs(ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")}, &encoders))
        return software();
    if (!lists(encoders, "h264_vaapi") || !lists(encoders, "hevc_vaapi"))
        return software();
    // Drivers list encoders they cannot run; one real frame settles it.
    const EncoderSet candidate = vaapi(renderNode);
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error")};
    args << candidate.inputOptions()
         << QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("testsrc=size=256x144:rate=25:duration=0.04"), QStringLiteral("-frames:v"),
                        QStringLiteral("1"), QStringLiteral("-vf"), candidate.videoFilter(QStringLiteral("format=yuv420p"))}
         << candidate.videoEncoder(Codec::h264, 60) << QStringList{QStringLiteral("-f"), QStringLiteral("null"),
                                                                   QStringLiteral("-")};
    return runs(ffmpeg, args) ? candidate : software();
}

const EncoderSet &EncoderSet::current()
{
    static const EncoderSet set = detect(FFmpeg::ffmpeg(), findRenderNode());
    return set;
}

QStringList EncoderSet::inputOptions() const
{
    if (m_kind == Kind::vaapi)
        return {QStringLiteral("-vaapi_device"), m_renderNode};
    return {};
}

int EncoderSet::crf(Codec codec, int quality)
{
    // x264's CRF for the hardware scale: 75 -> 20, 60 -> 23, 45 -> 28, steeper below
    // the middle where the hardware scale loses detail faster. x265 reaches the same
    // look about 5 higher.
    const double q = std::clamp(quality, 0, 100);
    const double value = q >= 60 ? 23 - (q - 60) / 5.0 : 23 + (60 - q) / 3.0;
    const int x264 = std::clamp(int(std::lround(value)), 0, 51);
    return codec == Codec::h264 ? x264 : std::min(x264 + 5, 51);
}

QStringList EncoderSet::videoEncoder(Codec codec, int quality) const
{
    switch (m_kind) {
    case Kind::macOS:
        return {QStringLiteral("-c:v"), name(codec), QStringLiteral("-q:v"), QString::number(quality)};
    case Kind::vaapi:
        return {QStringLiteral("-c:v"), name(codec), QStringLiteral("-qp"),
                QString::number(crf(Codec::h264, quality))};
    case Kind::software:
        break;
    }
    return {QStringLiteral("-c:v"), name(codec), QStringLiteral("-preset"), QStringLiteral("veryfast"),
            QStringLiteral("-crf"), QString::number(crf(codec, quality))};
}

QString EncoderSet::videoFilter(const QString &chain) const
{
    if (m_kind != Kind::vaapi)
        return chain;
    QStringList filters = chain.split(QLatin1Char(','), Qt::SkipEmptyParts);
    bool formatted = false;
    for (QString &f : filters) {
        if (f.startsWith(QLatin1String("format="))) {
            f = QStringLiteral("format=nv12");
            formatted = true;
        }
    }
    if (!formatted)
        filters << QStringLiteral("format=nv12");
    filters << QStringLiteral("hwupload");
    return filters.join(QLatin1Char(','));
}

QStringList EncoderSet::audioEncoder(const QString &bitrate) const
{
    return {QStringLiteral("-c:a"), m_aac, QStringLiteral("-b:a"), bitrate};
}
