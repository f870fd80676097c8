#pragma once

#include <QString>

#include <optional>

class QByteArray;
class QPageSize;
class QTextDocument;
struct ConvertError;

// Text documents held in a QTextDocument: reading plain text and Markdown, and
// writing PDF (our own page layout), plain text, HTML, OpenDocument and, through
// LibreOffice, the Word and RTF formats. Needs a QGuiApplication; any thread.
namespace RichText {

// Text layout needs a QGuiApplication (any platform, "offscreen" included); a
// plain QCoreApplication would abort on the first font it touched.
bool canLayOutText();
// The error given instead when it cannot.
ConvertError noTextLayout();

// Plain text in the encoding its byte-order mark names, else UTF-8, else Latin-1.
void readPlainText(const QByteArray &bytes, QTextDocument &document);
// Markdown's inline syntax only (emphasis, code, links); block syntax such as
// headings and lists stays as the text lines it is written as. False when the
// bytes are not UTF-8.
bool readMarkdown(const QByteArray &bytes, QTextDocument &document);
// The system font at 12 points over the whole text.
void useSystemFont(QTextDocument &document);

// The locale's paper: US Letter where that is the custom, A4 elsewhere.
QPageSize defaultPaper();
// Lays the text out on the default paper with 54 pt margins and writes a PDF.
bool printToPDF(const QTextDocument &document, const QString &output);

// Writes the document as `ext`: "pdf", "txt", "html", "odt", "docx", "doc" or "rtf".
std::optional<ConvertError> save(const QTextDocument &document, const QString &output, const QString &ext);

// Atomic writes: the output appears whole or not at all.
std::optional<ConvertError> writeBytes(const QByteArray &bytes, const QString &output);
std::optional<ConvertError> writePlainText(const QString &text, const QString &output);

} // namespace RichText
