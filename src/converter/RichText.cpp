#include "converter/RichText.h"
#include "converter/LibreOffice.h"
#include "converter/OutputFile.h"

#include "engine/ConvertError.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextDocumentWriter>
#include <QTextFrame>

#include <memory>

namespace RichText {

namespace {

constexpr double kMarginPoints = 54.0;

// Escapes what would make a line a block (heading, quote, list item, rule, code
// fence, link definition) so that Markdown reads it as ordinary text, and leaves
// inline syntax at the start of a line ("**bold** words", "`code`") alone.
QString literalBlockStart(const QString &line)
{
    static const QRegularExpression ordered(QStringLiteral("^(\\d{1,9})([.)])(?=[ \\t]|$)"));
    static const QRegularExpression block(QStringLiteral(
        "^(?:[#>]|[-+*](?=[ \\t]|$)|```|~~~|([-*_])(?:[ \\t]*\\1){2,}[ \\t]*$|\\[[^\\]]+\\]:)"));
    const QRegularExpressionMatch number = ordered.match(line);
    if (number.hasMatch())
        return number.captured(1) + QLatin1Char('\\') + line.mid(number.capturedLength(1));
    if (block.match(line).hasMatch())
        return QLatin1Char('\\') + line;
    return line;
}

} // namespace

bool canLayOutText()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

ConvertError noTextLayout()
{
    return ConvertError::message(
        QStringLiteral("This conversion lays out text, which needs a graphical session or QT_QPA_PLATFORM=offscreen."));
}

void readPlainText(const QByteArray &bytes, QTextDocument &document)
{
    QString text;
    if (const std::optional<QStringConverter::Encoding> bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        text = decoder(bytes);
    } else {
        QStringDecoder utf8(QStringConverter::Utf8);
        text = utf8(bytes);
        if (utf8.hasError())
            text = QString::fromLatin1(bytes);
    }
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    document.setPlainText(text);
    useSystemFont(document);
}

bool readMarkdown(const QByteArray &bytes, QTextDocument &document)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return false;
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    // Line by line, so that no construct spans lines and every line break and
    // leading space stays where the writer put it.
    document.clear();
    QTextCursor cursor(&document);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        const QString &line = lines[i];
        qsizetype indent = 0;
        while (indent < line.size() && (line[indent] == QLatin1Char(' ') || line[indent] == QLatin1Char('\t')))
            ++indent;
        const QString rest = line.mid(indent);
        cursor.insertText(line.left(indent), QTextCharFormat());
        if (rest.isEmpty())
            continue;
        QTextDocument single;
        single.setMarkdown(literalBlockStart(rest), QTextDocument::MarkdownNoHTML);
        cursor.insertFragment(QTextDocumentFragment(&single));
    }
    useSystemFont(document);
    return true;
}

void useSystemFont(QTextDocument &document)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(12.0);
    document.setDefaultFont(font);
    // Parsed Markdown can carry its own sizes (inline code, for one); one size
    // over the whole text, as the reader expects from a plain document.
    QTextCursor all(&document);
    all.select(QTextCursor::Document);
    QTextCharFormat size;
    size.setFontPointSize(12.0);
    all.mergeCharFormat(size);
}

QPageSize defaultPaper()
{
    const QLocale locale;
    static const QList<QLocale::Territory> letter{QLocale::UnitedStates, QLocale::Canada, QLocale::Mexico,
                                                  QLocale::Chile, QLocale::Colombia, QLocale::Venezuela,
                                                  QLocale::Philippines, QLocale::PuertoRico};
    return QPageSize(letter.contains(locale.territory()) ? QPageSize::Letter : QPageSize::A4);
}

bool printToPDF(const QTextDocument &source, const QString &output)
{
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    CheckedWrites checked(file);
    QPdfWriter writer(&checked);
    writer.setPageLayout(QPageLayout(defaultPaper(), QPageLayout::Portrait,
                                     QMarginsF(kMarginPoints, kMarginPoints, kMarginPoints, kMarginPoints),
                                     QPageLayout::Point));
    const std::unique_ptr<QTextDocument> document(source.clone());
    document->documentLayout()->setPaintDevice(&writer);
    // The page body is the sheet inside the margins; the layout breaks the text
    // into pages of exactly that height.
    const QSizeF body = writer.pageLayout().paintRectPixels(writer.resolution()).size();
    QTextFrameFormat frame = document->rootFrame()->frameFormat();
    frame.setMargin(0);
    document->rootFrame()->setFrameFormat(frame);
    document->setPageSize(body);

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const int pages = document->pageCount();
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !writer.newPage())
            return false;
        painter.save();
        painter.translate(0, -page * body.height());
        // A line that starts exactly at the break belongs to the next page: the
        // layout would draw it here too if the clip reached the break itself.
        const QRectF clip(QPointF(0, page * body.height()), body - QSizeF(0, 1));
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.palette.setColor(QPalette::Text, Qt::black);
        document->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return painter.end() && !checked.failed() && commitOutput(file);
}

std::optional<ConvertError> save(const QTextDocument &document, const QString &output, const QString &ext)
{
    if (ext == QLatin1String("pdf")) {
        if (!printToPDF(document, output))
            return ConvertError::message(QStringLiteral("The PDF couldn't be made."));
        return std::nullopt;
    }
    if (ext == QLatin1String("txt"))
        return writePlainText(document.toPlainText(), output);
    if (ext == QLatin1String("html"))
        return writeBytes(document.toHtml().toUtf8(), output);
    if (ext == QLatin1String("odt")) {
        // Into memory first: the ODF writer closes its device, which a QSaveFile
        // must never be.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QTextDocumentWriter writer(&buffer, "odf");
        if (!writer.write(&document))
            return ConvertError::message(QStringLiteral("The OpenDocument file couldn't be written."));
        return writeBytes(bytes, output);
    }
    // Word and RTF: hand an OpenDocument copy to LibreOffice.
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/zentrova-text-XXXXXX"));
    const QString odt = work.filePath(QStringLiteral("document.odt"));
    QTextDocumentWriter writer(odt, "odf");
    if (!work.isValid() || !writer.write(&document))
        return ConvertError::message(writer.device() ? writer.device()->errorString() : work.errorString());
    const LibreOffice::Outcome outcome = LibreOffice::convert(odt, ext);
    if (!outcome.data)
        return ConvertError::message(outcome.error.isEmpty()
                                         ? QStringLiteral("LibreOffice couldn't write this document.")
                                         : outcome.error);
    return writeBytes(*outcome.data, output);
}

std::optional<ConvertError> writeBytes(const QByteArray &bytes, const QString &output)
{
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || !writeAll(file, bytes) || !commitOutput(file))
        return ConvertError::message(file.errorString());
    return std::nullopt;
}

std::optional<ConvertError> writePlainText(const QString &text, const QString &output)
{
    return writeBytes(text.toUtf8(), output);
}

} // namespace RichText
