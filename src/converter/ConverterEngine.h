#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct ConvertTarget;
struct ConvertOptions;
struct ConvertError;

// Conversions that need no FFmpeg: pictures (libvips), PDFs (Poppler) and text
// documents (LibreOffice, QTextDocument). Each call blocks until its output is
// written and is safe on a worker thread; two may run at once. The result is empty
// on success, otherwise the error whose message the queue shows. A failed call
// leaves no partial output behind.
namespace ConverterEngine {

// One picture to one picture, or to a one-page PDF (target "pdf").
std::optional<ConvertError> convertImage(const QString &input, const QString &output,
                                         const ConvertTarget &target,
                                         const ConvertOptions &options);

// Several pictures to one PDF, one page each; unreadable pictures are skipped.
std::optional<ConvertError> picturesToPDF(const QStringList &pictures, const QString &output,
                                          const ConvertOptions &options);

// A PDF to a folder of page pictures ("pdf-png", "pdf-jpeg"), a .docx or plain text.
std::optional<ConvertError> convertPDF(const QString &input, const QString &output,
                                       const ConvertTarget &target,
                                       const ConvertOptions &options);

// A text document to PDF, .docx, .doc, .odt, .rtf, .html or plain text.
std::optional<ConvertError> convertDocument(const QString &input, const QString &output,
                                            const ConvertTarget &target);

} // namespace ConverterEngine

// ---- FFmpeg conversions and output names ----------------------------------------

class ConvertKind;
class EncoderSet;
namespace FFmpeg {
struct Probe;
}

namespace ConverterEngine {

// The ffmpeg arguments (after the runner's fixed prefix) that convert one video or
// audio file: "-i", input, the target's options, output. Pure: no file access. The
// H.264/HEVC/AAC encoder names come from `encoders`; the VAAPI set adds its device
// options before "-i". An id that is no video or audio target gives only the input
// and the output.
QStringList ffmpegArguments(const QString &input, const QString &output, const ConvertTarget &target,
                            ConvertKind kind, const std::optional<FFmpeg::Probe> &probe,
                            const ConvertOptions &options, const EncoderSet &encoders);
// The same with this run's encoder set.
QStringList ffmpegArguments(const QString &input, const QString &output, const ConvertTarget &target,
                            ConvertKind kind, const std::optional<FFmpeg::Probe> &probe,
                            const ConvertOptions &options);

// A free output path for `source` converted to `target`: in `folder` (the source's
// folder when empty), "name.ext", "name (converted).ext", "name (converted 2).ext"...
// or "name pages" for a folder of page pictures. Never an existing file, never the
// source, never a name handed out and not yet released (process-wide, any thread).
QString outputURL(const QString &source, const ConvertTarget &target, const QString &folder, bool isFolder);
void release(const QString &output);

// `path` when nothing exists there, else "name 2.ext", "name 3.ext"... in its folder.
QString uniqueURL(const QString &path);

// Whether an estimate of `target`'s size must be measured by converting samples.
bool needsSample(const ConvertTarget &target);

// The computed size estimate in bytes (rewraps and audio outputs), absent otherwise.
std::optional<qint64> calculatedSize(const ConvertTarget &target, const std::optional<FFmpeg::Probe> &probe,
                                     qint64 sourceSize, const ConvertOptions &options);

} // namespace ConverterEngine
