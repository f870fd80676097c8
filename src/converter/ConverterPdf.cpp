#include "converter/ConverterEngine.h"
#include "converter/OutputFile.h"
#include "converter/RichText.h"

#include "engine/ConvertError.h"
#include "engine/ConvertOptions.h"
#include "engine/ConvertTarget.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>

#include <poppler/qt6/poppler-qt6.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

namespace ConverterEngine {

namespace {

double scaleFor(ConvertQuality quality)
{
    switch (quality.value()) {
    case ConvertQuality::best:
        return 3.0;
    case ConvertQuality::balanced:
        return 2.0;
    case ConvertQuality::small:
        return 1.25;
    }
    return 2.0;
}

QByteArray encodePage(const QImage &image, bool jpeg)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, jpeg ? "jpeg" : "png");
    if (jpeg)
        writer.setQuality(85);
    if (!writer.write(jpeg ? image.convertToFormat(QImage::Format_RGB32) : image))
        return {};
    return bytes;
}

// Writes every page as a picture into the folder `output`. On failure the pages
// written so far, and the folder when this call made it, are removed again.
std::optional<ConvertError> pagesToPictures(Poppler::Document &document, const QString &output,
                                            const ConvertTarget &target, double scale)
{
    const std::filesystem::path folder(QFile::encodeName(output).toStdString());
    std::error_code ec;
    const bool existed = std::filesystem::is_directory(folder, ec);
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return ConvertError::message(QString::fromLocal8Bit(ec.message().c_str()));

    const bool jpeg = target.id == QLatin1String("pdf-jpeg");
    const int count = document.numPages();
    QStringList written;
    auto undo = [&] {
        for (const QString &page : std::as_const(written))
            QFile::remove(page);
        if (!existed)
            QDir().rmdir(output);
    };
    for (int index = 0; index < count; ++index) {
        const std::unique_ptr<Poppler::Page> page = document.page(index);
        if (!page)
            continue;
        const QImage image = page->renderToImage(72.0 * scale, 72.0 * scale);
        if (image.isNull())
            continue;
        const QByteArray bytes = encodePage(image, jpeg);
        if (bytes.isEmpty())
            continue;
        const QString name = count == 1 ? QStringLiteral("Page") : QStringLiteral("Page %1").arg(index + 1);
        const QString path = QDir(output).filePath(name + QLatin1Char('.') + target.ext);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !writeAll(file, bytes) || !commitOutput(file)) {
            const QString error = file.errorString();
            undo();
            return ConvertError::message(error);
        }
        written << path;
    }
    if (written.isEmpty()) {
        undo();
        return ConvertError::message(QStringLiteral("None of this PDF's pages could be made into pictures."));
    }
    return std::nullopt;
}

struct Line
{
    QString text;
    QRectF box;
};

// Words grouped into the lines Poppler found, in reading order.
QList<Line> linesOf(const Poppler::Page &page)
{
    QList<Line> lines;
    const auto words = page.textList();
    const Poppler::TextBox *previous = nullptr;
    for (const auto &word : words) {
        if (lines.isEmpty() || !previous || previous->nextWord() != word.get())
            lines.append(Line{});
        else if (previous->hasSpaceAfter())
            lines.last().text += QLatin1Char(' ');
        lines.last().text += word->text();
        lines.last().box |= word->boundingBox();
        previous = word.get();
    }
    return lines;
}

// The line height most of the text is set in.
double bodyHeight(const QList<QList<Line>> &pages)
{
    std::map<int, qsizetype> characters;
    for (const auto &lines : pages)
        for (const Line &line : lines)
            characters[qRound(line.box.height() * 2)] += line.text.size();
    const auto most = std::max_element(characters.begin(), characters.end(),
                                       [](const auto &a, const auto &b) { return a.second < b.second; });
    return most == characters.end() || most->first == 0 ? 12.0 : most->first / 2.0;
}

// The PDF's words with what formatting survives the trip: paragraphs rejoined
// from lines, and larger type set larger and bold, as headings usually are.
void fillRichText(Poppler::Document &document, QTextDocument &rich)
{
    QList<QList<Line>> pages;
    for (int index = 0; index < document.numPages(); ++index) {
        const std::unique_ptr<Poppler::Page> page = document.page(index);
        pages.append(page ? linesOf(*page) : QList<Line>());
    }
    const double body = bodyHeight(pages);
    constexpr double bodyPoints = 12.0;
    QTextCursor cursor(&rich);
    bool first = true;
    for (const auto &lines : pages) {
        const Line *previous = nullptr;
        for (const Line &line : lines) {
            const double ratio = line.box.height() / body;
            const bool heading = ratio >= 1.25;
            const bool sameParagraph = previous && !heading
                && std::abs(previous->box.height() - line.box.height()) < 0.15 * body
                && line.box.top() >= previous->box.top()
                && line.box.top() - previous->box.bottom() < 0.6 * body;
            if (sameParagraph) {
                cursor.insertText(QStringLiteral(" "));
            } else if (!first) {
                cursor.insertBlock();
            }
            QTextCharFormat format;
            format.setFontPointSize(heading ? std::round(bodyPoints * ratio) : bodyPoints);
            format.setFontWeight(heading ? QFont::Bold : QFont::Normal);
            cursor.insertText(line.text, format);
            first = false;
            previous = heading ? nullptr : &line;
        }
        // Each page ends with "\n\n", as an empty paragraph after it.
        cursor.insertBlock();
        cursor.insertBlock();
        first = true;
    }
}

QString plainText(Poppler::Document &document)
{
    QStringList pages;
    for (int index = 0; index < document.numPages(); ++index) {
        const std::unique_ptr<Poppler::Page> page = document.page(index);
        pages << (page ? page->text(QRectF()) : QString());
    }
    return pages.join(QLatin1Char('\n'));
}

} // namespace

std::optional<ConvertError> convertPDF(const QString &input, const QString &output,
                                       const ConvertTarget &target, const ConvertOptions &options)
{
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(input);
    if (!document)
        return ConvertError::message(QStringLiteral("This PDF couldn't be opened."));
    if (document->isLocked())
        return ConvertError::message(QStringLiteral("This PDF is password-protected."));
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);

    if (target.id == QLatin1String("pdf-png") || target.id == QLatin1String("pdf-jpeg"))
        return pagesToPictures(*document, output, target, scaleFor(options.quality));
    if (target.id == QLatin1String("pdf-docx")) {
        if (!RichText::canLayOutText())
            return RichText::noTextLayout();
        QTextDocument rich;
        fillRichText(*document, rich);
        return RichText::save(rich, output, QStringLiteral("docx"));
    }
    return RichText::writePlainText(plainText(*document), output);
}

} // namespace ConverterEngine
