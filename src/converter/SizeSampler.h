#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct ConvertTarget;
struct ConvertOptions;
namespace FFmpeg {
struct Probe;
}

// Measures the output size of a re-encoding target by converting short slices of
// the source with the real conversion's arguments and extrapolating.
namespace SizeSampler {

inline constexpr double sliceSeconds = 5.0;
inline constexpr double keyframeCorrection = 0.88;
inline constexpr double wholeFileUpTo = 22.0;

// Start times of the slices: empty for a whole-file sample (duration <= 22 s),
// otherwise three starts centred on 20, 50 and 80 % of the source.
QList<double> sliceStarts(double duration);

// The ffmpeg command line (without the program) of one slice; `start` < 0 for
// the whole file.
QStringList sliceArguments(const QString &input, const QString &output, double start, const ConvertTarget &target,
                           const std::optional<FFmpeg::Probe> &probe, const ConvertOptions &options);

// The estimate in bytes, absent on any failure. Blocks while ffmpeg runs: call it
// on a worker thread.
std::optional<qint64> measure(const QString &input, double duration, const ConvertTarget &target,
                              const std::optional<FFmpeg::Probe> &probe, const ConvertOptions &options);

} // namespace SizeSampler
