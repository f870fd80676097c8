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
