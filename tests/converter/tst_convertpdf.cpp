#include "support/ConverterFixtures.h"

#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"

#include <QtTest>

using namespace ConverterFixtures;

namespace {

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

} // namespace

class TestConvertPDF : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesToPictures_data();
    void pagesToPictures();
    void onePageIsNamedPage();
    void plainText();
    void wordDocumentKeepsTextAndHeadings();
    void passwordProtected_data();
    void passwordProtected();
    void notAPDF_data();
    void notAPDF();
    void pageFolderThatCannotBeMade();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QString m_threePages;
    QString m_onePage;
};

void TestConvertPDF::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_threePages = makePDF(path(QStringLiteral("three.pdf")),
                           {{QSizeF(300, 200), QStringLiteral("#Alpha heading\nopening page words")},
                            {QSizeF(300, 200), QStringLiteral("second page words")},
                            {QSizeF(200, 300), QStringLiteral("third page words")}});
    m_onePage = makePDF(path(QStringLiteral("one.pdf")), {{QSizeF(250, 150), QStringLiteral("only page")}});
    QVERIFY(!m_threePages.isEmpty());
    QVERIFY(!m_onePage.isEmpty());
}

void TestConvertPDF::pagesToPictures_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<int>("quality");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("loader");
    QTest::newRow("png, balanced: twice the points") << "pdf-png" << int(ConvertQuality::balanced) << 2.0 << "pngload";
    QTest::newRow("png, best: three times") << "pdf-png" << int(ConvertQuality::best) << 3.0 << "pngload";
    QTest::newRow("jpeg, small: 1.25 times") << "pdf-jpeg" << int(ConvertQuality::small) << 1.25 << "jpegload";
}

void TestConvertPDF::pagesToPictures()
{
    QFETCH(QString, targetID);
    QFETCH(int, quality);
    QFETCH(double, scale);
    QFETCH(QString, loader);
    const QByteArray before = sha256(m_threePages);
    const ConvertTarget t = target(targetID);
    const QString folder = path(QStringLiteral("pages %1/nested").arg(QTest::currentDataTag()));

    // maxSize does not apply to page pictures.
    QCOMPARE(messageOf(ConverterEngine::convertPDF(m_threePages, folder, t,
                                                   options(480, ConvertQuality::Value(quality)))),
             QString());

    const QString ext = QLatin1Char('.') + t.ext;
    QCOMPARE(entries(folder), QStringList({"Page 1" + ext, "Page 2" + ext, "Page 3" + ext}));
    const QList<QSizeF> points{{300, 200}, {300, 200}, {200, 300}};
    for (int page = 0; page < 3; ++page) {
        const QString picture = QDir(folder).filePath(QStringLiteral("Page %1").arg(page + 1) + ext);
        const std::optional<PictureInfo> info = readPicture(picture);
        QVERIFY(info);
        QCOMPARE(info->loader, loader);
        QVERIFY2(qAbs(info->width - points[page].width() * scale) <= 1, qPrintable(QString::number(info->width)));
        QVERIFY2(qAbs(info->height - points[page].height() * scale) <= 1, qPrintable(QString::number(info->height)));
        // White paper around the text.
        QVERIFY(near(*pixel(picture, 2, 2), Qt::white));
    }
    QCOMPARE(sha256(m_threePages), before);
}

void TestConvertPDF::onePageIsNamedPage()
{
    const QString folder = path(QStringLiteral("one pages"));
    QCOMPARE(messageOf(ConverterEngine::convertPDF(m_onePage, folder, target(QStringLiteral("pdf-png")),
                                                   options(0))),
             QString());
    QCOMPARE(entries(folder), QStringList{QStringLiteral("Page.png")});
    const std::optional<PictureInfo> info = readPicture(QDir(folder).filePath(QStringLiteral("Page.png")));
    QVERIFY(info);
    QCOMPARE(QSize(info->width, info->height), QSize(500, 300));
}

void TestConvertPDF::plainText()
{
    const QString output = path(QStringLiteral("three.txt"));
    QCOMPARE(messageOf(ConverterEngine::convertPDF(m_threePages, output, target(QStringLiteral("pdf-txt")),
                                                   options(0))),
             QString());
    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const qsizetype first = text.indexOf(QStringLiteral("opening page words"));
    const qsizetype second = text.indexOf(QStringLiteral("second page words"));
    const qsizetype third = text.indexOf(QStringLiteral("third page words"));
    QVERIFY(first >= 0);
    QVERIFY(second > first);
    QVERIFY(third > second);
    QVERIFY(text.contains(QStringLiteral("Alpha heading")));
}

void TestConvertPDF::wordDocumentKeepsTextAndHeadings()
{
    const QString output = path(QStringLiteral("three.docx"));
    QCOMPARE(messageOf(ConverterEngine::convertPDF(m_threePages, output, target(QStringLiteral("pdf-docx")),
                                                   options(0))),
             QString());

    // LibreOffice reads the words back in order.
    const QString text = officeText(output);
    QVERIFY2(text.indexOf(QStringLiteral("opening page words")) > text.indexOf(QStringLiteral("Alpha heading")),
             qPrintable(text));
    QVERIFY(text.indexOf(QStringLiteral("third page words")) > text.indexOf(QStringLiteral("second page words")));

    // The larger type comes out bold and larger; the body text does not.
    const QString xml = QString::fromUtf8(zipMember(output, QStringLiteral("word/document.xml")));
    QVERIFY(!xml.isEmpty());
    const QRegularExpression run(QStringLiteral("<w:r>(?:(?!</w:r>).)*?<w:t[^>]*>([^<]*)</w:t>"),
                                 QRegularExpression::DotMatchesEverythingOption);
    bool headingBold = false, bodyBold = false;
    for (auto match = run.globalMatch(xml); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        const bool bold = m.captured(0).contains(QStringLiteral("<w:b/>"))
            || m.captured(0).contains(QStringLiteral("<w:b w:val=\"true\"/>"));
        if (m.captured(1).contains(QStringLiteral("Alpha heading")))
            headingBold = bold;
        if (m.captured(1).contains(QStringLiteral("second page words")))
            bodyBold = bold;
    }
    QVERIFY2(headingBold, qPrintable(xml.left(3000)));
    QVERIFY(!bodyBold);
}

void TestConvertPDF::passwordProtected_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::newRow("pdf-png") << "pdf-png";
    QTest::newRow("pdf-txt") << "pdf-txt";
    QTest::newRow("pdf-docx") << "pdf-docx";
}

void TestConvertPDF::passwordProtected()
{
    QFETCH(QString, targetID);
    const QString locked = encryptPDF(m_onePage, path(QStringLiteral("locked.pdf")));
    QVERIFY(!locked.isEmpty());
    QVERIFY(!openPDF(locked));  // the fixture is really locked
    const QByteArray before = sha256(locked);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("locked-out.") + t.ext);

    QCOMPARE(messageOf(ConverterEngine::convertPDF(locked, output, t, options(0))),
             QStringLiteral("This PDF is password-protected."));
    QVERIFY(!QFileInfo::exists(output));
    QCOMPARE(sha256(locked), before);
}

void TestConvertPDF::notAPDF_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text named .pdf") << QByteArray("just some words, no PDF here\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("truncated header") << QByteArray("%PDF-1.4\n1 0 obj\n<<");
}

void TestConvertPDF::notAPDF()
{
    QFETCH(QByteArray, content);
    const QString input = writeFile(path(QStringLiteral("fake.pdf")), content);
    const QString output = path(QStringLiteral("fake pages"));
    QCOMPARE(messageOf(ConverterEngine::convertPDF(input, output, target(QStringLiteral("pdf-png")),
                                                   options(0))),
             QStringLiteral("This PDF couldn't be opened."));
    QVERIFY(!QFileInfo::exists(output));
}

void TestConvertPDF::pageFolderThatCannotBeMade()
{
    ReadOnlyFolder locked(path(QStringLiteral("read-only")));
    if (!locked.usable())
        QSKIP("cannot make a read-only folder here");
    const QString output = locked.path() + QStringLiteral("/three pages");
    const std::optional<ConvertError> error = ConverterEngine::convertPDF(
        m_threePages, output, target(QStringLiteral("pdf-png")), options(0));
    QVERIFY(error);
    // The system's own words, e.g. "Read-only file system" or "Permission denied".
    QVERIFY2(error->description().contains(QStringLiteral("Read-only file system"))
                 || error->description().contains(QStringLiteral("Permission denied")),
             qPrintable(error->description()));
    QVERIFY(!QFileInfo::exists(output));

    const QString text = locked.path() + QStringLiteral("/three.txt");
    const std::optional<ConvertError> textError = ConverterEngine::convertPDF(
        m_threePages, text, target(QStringLiteral("pdf-txt")), options(0));
    QVERIFY(textError);
    QVERIFY(!textError->description().isEmpty());
    QVERIFY(!QFileInfo::exists(text));
}

QTEST_MAIN(TestConvertPDF)
#include "tst_convertpdf.moc"
