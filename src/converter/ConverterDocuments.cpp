#include "converter/ConverterEngine.h"
#include "converter/LibreOffice.h"
#include "converter/RichText.h"

#include "engine/ConvertError.h"
#include "engine/ConvertTarget.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>

namespace ConverterEngine {

namespace {

ConvertError unreadable()
{
    return ConvertError::message(QStringLiteral(
        "This document couldn't be read. Supported: Word (.docx, .doc), OpenDocument, RTF, HTML, Markdown and plain text."));
}

enum class Reader { plainText, markdown, html, office, none };

Reader readerFor(const QString &ext)
{
    static const QStringList plain{QStringLiteral("txt"), QStringLiteral("text")};
    static const QStringList markdown{QStringLiteral("md"), QStringLiteral("markdown")};
    static const QStringList html{QStringLiteral("html"), QStringLiteral("htm")};
    static const QStringList office{QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("odt"),
                                    QStringLiteral("rtf"), QStringLiteral("wordml")};
    if (plain.contains(ext))
        return Reader::plainText;
    if (markdown.contains(ext))
        return Reader::markdown;
    if (html.contains(ext))
        return Reader::html;
    if (office.contains(ext))
        return Reader::office;
    return Reader::none;
}

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// LibreOffice reads almost anything as plain text as a last resort, so bytes that
// are no known kind of file at all are refused before it sees them.
bool looksLikeADocument(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    return type.isValid() && !type.isDefault();
}

// Text we lay out ourselves: plain text, Markdown, and HTML on its way to PDF.
std::optional<ConvertError> convertText(const QString &input, Reader reader, const QString &output,
                                        const QString &ext)
{
    const std::optional<QByteArray> bytes = readAll(input);
    if (!bytes)
        return unreadable();
    if (!RichText::canLayOutText())
        return RichText::noTextLayout();
    QTextDocument document;
    if (reader == Reader::markdown) {
        if (!RichText::readMarkdown(*bytes, document))
            return unreadable();
    } else if (reader == Reader::html) {
        document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()));
        QStringDecoder decoder(QStringConverter::encodingForHtml(*bytes).value_or(QStringConverter::Utf8));
        document.setHtml(decoder(*bytes));
    } else {
        RichText::readPlainText(*bytes, document);
    }
    return RichText::save(document, output, ext);
}

// Documents that carry their own layout go through LibreOffice, which keeps it.
std::optional<ConvertError> convertOffice(const QString &input, bool html, const QString &output,
                                          const QString &ext)
{
    if (!QFileInfo(input).isFile() || !looksLikeADocument(input))
        return unreadable();
    LibreOffice::Outcome outcome = LibreOffice::convert(input, ext, html);
    if (outcome.unreadable)
        return unreadable();
    if (!outcome.data) {
        if (ext == QLatin1String("pdf"))
            return ConvertError::message(QStringLiteral("The PDF couldn't be made."));
        return ConvertError::message(outcome.error);
    }
    if (ext == QLatin1String("txt")) {
        // LibreOffice starts UTF-8 text with a byte-order mark; plain text has none.
        if (outcome.data->startsWith("\xEF\xBB\xBF"))
            outcome.data->remove(0, 3);
    }
    std::optional<ConvertError> error = RichText::writeBytes(*outcome.data, output);
    if (error && ext == QLatin1String("pdf"))
        return ConvertError::message(QStringLiteral("The PDF couldn't be made."));
    return error;
}

} // namespace

std::optional<ConvertError> convertDocument(const QString &input, const QString &output,
                                            const ConvertTarget &target)
{
    QString path = input;
    QString ext = QFileInfo(input).suffix().toLower();
    if (ext == QLatin1String("rtfd")) {
        // An RTFD package is a folder whose text lives in TXT.rtf.
        path = input + QStringLiteral("/TXT.rtf");
        ext = QStringLiteral("rtf");
    }
    const QString outExt = target.id == QLatin1String("doc-pdf") ? QStringLiteral("pdf") : target.ext;
    const Reader reader = readerFor(ext);
    switch (reader) {
    case Reader::plainText:
    case Reader::markdown:
        return convertText(path, reader, output, outExt);
    case Reader::html:
        if (outExt == QLatin1String("pdf"))
            return convertText(path, reader, output, outExt);
        return convertOffice(path, true, output, outExt);
    case Reader::office:
        return convertOffice(path, false, output, outExt);
    case Reader::none:
        break;
    }
    return unreadable();
}

} // namespace ConverterEngine
