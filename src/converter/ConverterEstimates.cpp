#include "converter/ConverterEngine.h"

#include "engine/ConvertTypes.h"
#include "engine/FFmpeg.h"

#include <algorithm>

namespace ConverterEngine {

namespace {

double byQuality(ConvertQuality quality, double best, double balanced, double small)
{
    switch (quality) {
    case ConvertQuality::best:
        return best;
    case ConvertQuality::balanced:
        break;
    case ConvertQuality::small:
        return small;
    }
    return balanced;
}

double audioKilobits(const QString &id, const FFmpeg::Stream &stream, ConvertQuality quality)
{
    const int channels = std::max(1, stream.channels.value_or(2));
    bool ok = false;
    const double parsed = stream.sampleRate.value_or(QString()).toDouble(&ok);
    const double rate = ok ? parsed : 44100.0;
    const double pcm = channels * rate * 16 / 1000;
    if (id == QLatin1String("mp3"))
        return byQuality(quality, 320, 192, 128);
    if (id == QLatin1String("opus"))
        return byQuality(quality, 192, 128, 96);
    if (id == QLatin1String("wav") || id == QLatin1String("aiff"))
        return pcm;
    if (id == QLatin1String("alac") || id == QLatin1String("flac"))
        return pcm * 0.6;
    return byQuality(quality, 256, 192, 128);
}

} // namespace

bool needsSample(const ConvertTarget &target)
{
    return (target.output == ConvertKind::video && target.id != QLatin1String("mp4-copy"))
        || target.id == QLatin1String("gif");
}

std::optional<qint64> calculatedSize(const ConvertTarget &target, const std::optional<FFmpeg::Probe> &probe,
                                     qint64 sourceSize, const ConvertOptions &options)
{
    if (target.id == QLatin1String("mp4-copy"))
        return sourceSize;
    if (target.output != ConvertKind::audio || !probe || probe->duration() <= 0)
        return std::nullopt;
    const QList<FFmpeg::Stream> audio = probe->audio();
    if (audio.isEmpty())
        return std::nullopt;
    const double kilobits = audioKilobits(target.id, audio.first(), options.quality);
    return static_cast<qint64>(probe->duration() * kilobits * 1000 * 0.125);
}

} // namespace ConverterEngine
