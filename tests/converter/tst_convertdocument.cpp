#include "support/ConverterFixtures.h"

#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"

#include <QtConcurrent>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <QtTest>

using namespace ConverterFixtures;

namespace {

const QString kUnreadable = QStringLiteral(
    "This document couldn't be read. Supported: Word (.docx, .doc), OpenDocument, RTF, HTML, Markdown and plain text.");

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The character data of an XML part, tags dropped.
QString xmlText(const QByteArray &xml)
{
    QString text;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isCharacters())
            text += reader.text();
        else if (reader.isEndElement() && (reader.name() == QLatin1String("p") || reader.name() == QLatin1String("h")))
            text += QLatin1Char('\n');
    }
    return reader.hasError() ? QString() : text;
}

// Whether the run holding `words` in a .docx is bold.
std::optional<bool> boldInDocx(const QString &docx, const QString &words)
{
    const QString xml = QString::fromUtf8(zipMember(docx, QStringLiteral("word/document.xml")));
    const QRegularExpression run(QStringLiteral("<w:r>(?:(?!</w:r>).)*?<w:t[^>]*>([^<]*)</w:t>"),
                                 QRegularExpression::DotMatchesEverythingOption);
    for (auto match = run.globalMatch(xml); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        if (m.captured(1).contains(words))
            return m.captured(0).contains(QStringLiteral("<w:b/>"))
                || m.captured(0).contains(QStringLiteral("<w:b w:val=\"true\"/>"));
    }
    return std::nullopt;
}

} // namespace

class TestConvertDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void converts_data();
    void converts();
    void markdownKeepsInlineFormattingOnly();
    void htmlCharsetIsHonoured();
    void textBecomesPDFOnTheDefaultPaper_data();
    void textBecomesPDFOnTheDefaultPaper();
    void unreadable_data();
    void unreadable();
    void unwritableOutput_data();
    void unwritableOutput();
    void fullDisk_data();
    void fullDisk();
    void twoConversionsAtOnce();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString input(const QString &ext) const { return m_dir.filePath(QStringLiteral("source.") + ext); }
    QTemporaryDir m_dir;
};

void TestConvertDocument::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty());
    writeFile(input(QStringLiteral("html")),
              "<html><head><meta charset=\"utf-8\"><title>t</title></head><body>"
              "<h1>Quarterly Notes</h1><p>Plain opening sentence. <b>Bold words here</b> and more.</p>"
              "<p>Second paragraph with caf\xC3\xA9 in it.</p></body></html>");
    // Word, OpenDocument, RTF and Word 97 made by LibreOffice from that page.
    const QString docx = office(input(QStringLiteral("html")), QStringLiteral("docx:MS Word 2007 XML"), m_dir.path(),
                                {QStringLiteral("--infilter=HTML (StarWriter)")});
    QCOMPARE(docx, input(QStringLiteral("docx")));
    QCOMPARE(office(docx, QStringLiteral("odt:writer8"), m_dir.path()), input(QStringLiteral("odt")));
    QCOMPARE(office(docx, QStringLiteral("rtf:Rich Text Format"), m_dir.path()), input(QStringLiteral("rtf")));
    QCOMPARE(office(docx, QStringLiteral("doc:MS Word 97"), m_dir.path()), input(QStringLiteral("doc")));
    writeFile(input(QStringLiteral("txt")),
              "Quarterly Notes\nPlain opening sentence. Bold words here and more.\nSecond paragraph with caf\xC3\xA9 in it.\n");
    writeFile(input(QStringLiteral("md")),
              "# Quarterly Notes\n\nPlain opening sentence. **Bold words here** and *more*.\n\n"
              "- Second paragraph with caf\xC3\xA9 in it.\n    indented line\n"
              "**Strong start** then `code` and 1. no list\n***\n2) not a list either\n");
}

void TestConvertDocument::converts_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("targetID");
    QTest::newRow("docx to pdf") << "docx" << "doc-pdf";
    QTest::newRow("docx to doc") << "docx" << "doc";
    QTest::newRow("docx to odt") << "docx" << "odt";
    QTest::newRow("docx to rtf") << "docx" << "rtf";
    QTest::newRow("docx to html") << "docx" << "html";
    QTest::newRow("docx to txt") << "docx" << "txt";
    QTest::newRow("doc to docx") << "doc" << "docx";
    QTest::newRow("odt to txt") << "odt" << "txt";
    QTest::newRow("rtf to docx") << "rtf" << "docx";
    QTest::newRow("html to docx") << "html" << "docx";
    QTest::newRow("html to pdf") << "html" << "doc-pdf";
    QTest::newRow("txt to pdf") << "txt" << "doc-pdf";
    QTest::newRow("txt to rtf") << "txt" << "rtf";
    QTest::newRow("md to html") << "md" << "html";
    QTest::newRow("md to odt") << "md" << "odt";
    QTest::newRow("md to doc") << "md" << "doc";
    QTest::newRow("md to pdf") << "md" << "doc-pdf";
}

void TestConvertDocument::converts()
{
    QFETCH(QString, from);
    QFETCH(QString, targetID);
    const QString source = input(from);
    const QByteArray before = sha256(source);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("out %1.%2").arg(QTest::currentDataTag(), t.ext));

    QCOMPARE(messageOf(ConverterEngine::convertDocument(source, output, t)), QString());

    QString text;
    if (t.ext == QLatin1String("pdf")) {
        QVERIFY(openPDF(output));
        text = pdfText(output);
    } else if (t.ext == QLatin1String("txt")) {
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        text = QString::fromUtf8(bytes);
    } else if (t.ext == QLatin1String("docx") || t.ext == QLatin1String("odt")) {
        // The container opens and its text part holds the words.
        const QString part = t.ext == QLatin1String("docx") ? QStringLiteral("word/document.xml")
                                                           : QStringLiteral("content.xml");
        text = xmlText(zipMember(output, part));
    } else if (t.ext == QLatin1String("html")) {
        QTextDocument html;
        html.setHtml(readText(output));
        text = html.toPlainText();
    } else {
        text = officeText(output);  // Word 97 and RTF: LibreOffice reads what we wrote
    }
    const QString flat = text.simplified();
    QVERIFY2(flat.contains(QStringLiteral("Quarterly Notes")), qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("Bold words here")), qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("caf\u00e9")), qPrintable(flat));
    QCOMPARE(sha256(source), before);
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".*.part"), QStringLiteral("*.tmp")}, QDir::Hidden | QDir::Files),
             QStringList());
}

void TestConvertDocument::markdownKeepsInlineFormattingOnly()
{
    const QString docx = path(QStringLiteral("markdown.docx"));
    QCOMPARE(messageOf(ConverterEngine::convertDocument(input(QStringLiteral("md")), docx,
                                                        target(QStringLiteral("docx")))),
             QString());
    QCOMPARE(boldInDocx(docx, QStringLiteral("Bold words here")), std::optional<bool>(true));
    QCOMPARE(boldInDocx(docx, QStringLiteral("Plain opening sentence")), std::optional<bool>(false));

    const QString txt = path(QStringLiteral("markdown.txt"));
    QCOMPARE(messageOf(ConverterEngine::convertDocument(input(QStringLiteral("md")), txt,
                                                        target(QStringLiteral("txt")))),
             QString());
    // Block syntax stays as written; inline markers are consumed.
    const QStringList lines = readText(txt).split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("# Quarterly Notes"));
    QCOMPARE(lines.value(1), QString());
    QCOMPARE(lines.value(2), QStringLiteral("Plain opening sentence. Bold words here and more."));
    QCOMPARE(lines.value(4), QStringLiteral("- Second paragraph with caf\u00e9 in it."));
    QCOMPARE(lines.value(5), QStringLiteral("    indented line"));
    QCOMPARE(lines.value(6), QStringLiteral("Strong start then code and 1. no list"));
    QCOMPARE(lines.value(7), QStringLiteral("***"));
    QCOMPARE(lines.value(8), QStringLiteral("2) not a list either"));
    QCOMPARE(boldInDocx(docx, QStringLiteral("Strong start")), std::optional<bool>(true));

    const QString broken = writeFile(path(QStringLiteral("latin1.md")), "caf\xE9 **bold**\n");
    QCOMPARE(messageOf(ConverterEngine::convertDocument(broken, path(QStringLiteral("latin1.docx")),
                                                        target(QStringLiteral("docx")))),
             kUnreadable);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("latin1.docx"))));
}

void TestConvertDocument::htmlCharsetIsHonoured()
{
    const QString html = writeFile(path(QStringLiteral("latin1.html")),
                                   "<html><head><meta charset=\"iso-8859-1\"></head><body><p>caf\xE9 cr\xE8me</p></body></html>");
    const QString pdf = path(QStringLiteral("latin1.pdf"));
    QCOMPARE(messageOf(ConverterEngine::convertDocument(html, pdf, target(QStringLiteral("doc-pdf")))), QString());
    QVERIFY2(pdfText(pdf).contains(QStringLiteral("caf\u00e9 cr\u00e8me")), qPrintable(pdfText(pdf)));
}

void TestConvertDocument::textBecomesPDFOnTheDefaultPaper_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QSizeF>("paper");
    QTest::addColumn<QString>("ext");
    QTest::newRow("A4 in the UK, plain text") << QLocale(QLocale::English, QLocale::UnitedKingdom)
                                             << QPageSize(QPageSize::A4).size(QPageSize::Point) << "txt";
    QTest::newRow("Letter in the US, Markdown") << QLocale(QLocale::English, QLocale::UnitedStates)
                                               << QPageSize(QPageSize::Letter).size(QPageSize::Point) << "md";
    QTest::newRow("A4 in Germany, HTML") << QLocale(QLocale::German, QLocale::Germany)
                                        << QPageSize(QPageSize::A4).size(QPageSize::Point) << "html";
}

void TestConvertDocument::textBecomesPDFOnTheDefaultPaper()
{
    QFETCH(QLocale, locale);
    QFETCH(QSizeF, paper);
    QFETCH(QString, ext);
    QLocale::setDefault(locale);
    QStringList lines;
    for (int line = 1; line <= 150; ++line)
        lines << QStringLiteral("Line number %1 of a long text that runs over several pages.").arg(line);
    const QString body = ext == QLatin1String("html")
        ? QStringLiteral("<html><body><p>") + lines.join(QStringLiteral("</p><p>")) + QStringLiteral("</p></body></html>")
        : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    const QString source = writeFile(path(QStringLiteral("long.") + ext), body.toUtf8());
    const QString output = path(QStringLiteral("long-%1.pdf").arg(ext));

    QCOMPARE(messageOf(ConverterEngine::convertDocument(source, output, target(QStringLiteral("doc-pdf")))),
             QString());

    const std::unique_ptr<Poppler::Document> document = openPDF(output);
    QVERIFY(document);
    QVERIFY(document->numPages() >= 3);
    QString all;
    for (int page = 0; page < document->numPages(); ++page) {
        const std::unique_ptr<Poppler::Page> p = document->page(page);
        const QSizeF size = p->pageSizeF();
        QVERIFY2(qAbs(size.width() - paper.width()) < 1 && qAbs(size.height() - paper.height()) < 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        QRectF used;
        for (const auto &word : p->textList())
            used |= word->boundingBox();
        // 54 pt margins: text starts at the left and top margins and stays inside all four.
        QVERIFY2(qAbs(used.left() - 54) < 3, qPrintable(QStringLiteral("page %1 of %2: %3").arg(page).arg(document->numPages()).arg(used.left())));
        QVERIFY2(used.top() >= 54 - 1 && used.top() < 54 + 14, qPrintable(QString::number(used.top())));
        QVERIFY2(used.right() <= paper.width() - 54 + 1, qPrintable(QString::number(used.right())));
        QVERIFY2(used.bottom() <= paper.height() - 54 + 1,
                 qPrintable(QStringLiteral("page %1: %2").arg(page).arg(used.bottom())));
        all += p->text(QRectF());
    }
    // Every line made it, once, across the page breaks.
    for (int line : {1, 49, 50, 51, 99, 100, 150})
        QCOMPARE(all.count(QStringLiteral("Line number %1 of").arg(line)), 1);
}

void TestConvertDocument::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("targetID");
    QTest::newRow("Pages document to docx") << "Report.pages" << "docx";
    QTest::newRow("Pages document to pdf") << "Report.pages" << "doc-pdf";
    QTest::newRow("zip named .docx") << "fake.docx" << "txt";
    QTest::newRow("zip named .odt") << "fake.odt" << "doc-pdf";
    QTest::newRow("random bytes named .doc") << "noise.doc" << "odt";
    QTest::newRow("missing file") << "absent.rtf" << "txt";
    QTest::newRow("rtfd folder without its text") << "Empty.rtfd" << "txt";
    QTest::newRow("web archive") << "page.webarchive" << "txt";
}

void TestConvertDocument::unreadable()
{
    QFETCH(QString, name);
    QFETCH(QString, targetID);
    const QString source = path(name);
    if (name.endsWith(QLatin1String(".rtfd"))) {
        QDir().mkpath(source);
    } else if (name == QLatin1String("noise.doc")) {
        QByteArray bytes;
        for (int i = 0; i < 8192; ++i)
            bytes.append(char((i * 7919 + 13) % 251));
        bytes[0] = char(0xD0);  // looks like the start of an OLE file, and is not one
        bytes[1] = char(0xCF);
        writeFile(source, bytes);
    } else if (name != QLatin1String("absent.rtf")) {
        const QString inside = writeFile(path(QStringLiteral("index.xml")), "<?xml version=\"1.0\"?><x/>");
        QFile::remove(source);
        QCOMPARE(TestSupport::run(QStringLiteral("zip"), {QStringLiteral("-qj"), source, inside}), 0);
    }
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("unreadable-out.") + t.ext);
    QCOMPARE(messageOf(ConverterEngine::convertDocument(source, output, t)), kUnreadable);
    QVERIFY(!QFileInfo::exists(output));
}

void TestConvertDocument::unwritableOutput_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<QString>("message");  // empty: the system's own description
    QTest::newRow("txt to pdf") << "txt" << "doc-pdf" << "The PDF couldn't be made.";
    QTest::newRow("docx to pdf") << "docx" << "doc-pdf" << "The PDF couldn't be made.";
    QTest::newRow("docx to odt") << "docx" << "odt" << QString();
    QTest::newRow("md to txt") << "md" << "txt" << QString();
}

void TestConvertDocument::unwritableOutput()
{
    QFETCH(QString, from);
    QFETCH(QString, targetID);
    QFETCH(QString, message);
    ReadOnlyFolder locked(path(QStringLiteral("locked")));
    if (!locked.usable())
        QSKIP("cannot make a read-only folder here");
    const ConvertTarget t = target(targetID);
    const QString output = locked.path() + QStringLiteral("/out.") + t.ext;
    const std::optional<ConvertError> error = ConverterEngine::convertDocument(input(from), output, t);
    QVERIFY(error);
    if (message.isEmpty())
        QVERIFY2(error->description().contains(QStringLiteral("Read-only file system"))
                     || error->description().contains(QStringLiteral("Permission denied")),
                 qPrintable(error->description()));
    else
        QCOMPARE(error->description(), message);
    QVERIFY(!QFileInfo::exists(output));
}

void TestConvertDocument::fullDisk_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<QString>("message");
    QTest::newRow("text to pdf") << "doc-pdf" << "The PDF couldn't be made.";
    QTest::newRow("text to text") << "txt" << "No space left on device";
}

void TestConvertDocument::fullDisk()
{
    QFETCH(QString, targetID);
    QFETCH(QString, message);
    SmallDisk disk(path(QStringLiteral("small-disk")), 16);
    if (!disk.usable())
        QSKIP("mounting a small tmpfs needs root");
    QByteArray text;
    for (int line = 0; line < 3000; ++line)
        text += "A line of text that fills the little disk long before its end, line " + QByteArray::number(line) + "\n";
    const QString source = writeFile(path(QStringLiteral("filler.txt")), text);
    const ConvertTarget t = target(targetID);
    const QString output = disk.path() + QStringLiteral("/filler.") + t.ext;
    QCOMPARE(messageOf(ConverterEngine::convertDocument(source, output, t)), message);
    QCOMPARE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestConvertDocument::twoConversionsAtOnce()
{
    // Each LibreOffice run has its own profile, so two can run side by side.
    const QList<QString> ids{QStringLiteral("odt"), QStringLiteral("rtf")};
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    const QList<QString> results = QtConcurrent::blockingMapped(&pool, ids, [this](const QString &id) {
        const ConvertTarget t = target(id);
        const QString output = path(QStringLiteral("parallel.") + t.ext);
        const QString error = messageOf(ConverterEngine::convertDocument(input(QStringLiteral("docx")), output, t));
        return error.isEmpty() ? output : QStringLiteral("failed: ") + error;
    });
    QCOMPARE(results.size(), 2);
    for (const QString &output : results)
        QVERIFY2(QFileInfo::exists(output), qPrintable(output));
    QVERIFY(xmlText(zipMember(results[0], QStringLiteral("content.xml"))).contains(QStringLiteral("Bold words here")));
    QVERIFY(readText(results[1]).startsWith(QStringLiteral("{\\rtf")));
    QVERIFY(readText(results[1]).contains(QStringLiteral("Bold words here")));
}

QTEST_MAIN(TestConvertDocument)
#include "tst_convertdocument.moc"
