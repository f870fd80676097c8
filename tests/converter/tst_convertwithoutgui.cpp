#include "support/ConverterFixtures.h"

#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"

#include <QtTest>

using namespace ConverterFixtures;

// The command-line converter may run with a plain QCoreApplication (over SSH, no
// display): what needs no text layout must work there, and what does must fail
// with a message instead of aborting the process.
class TestConvertWithoutGUI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    }
    void picturesAndPagesWork_data();
    void picturesAndPagesWork();
    void textLayoutIsRefused_data();
    void textLayoutIsRefused();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestConvertWithoutGUI::picturesAndPagesWork_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::newRow("picture to jpeg") << "jpeg";
    QTest::newRow("picture to pdf") << "pdf";
    QTest::newRow("pdf to png pages") << "pdf-png";
    QTest::newRow("pdf to text") << "pdf-txt";
}

void TestConvertWithoutGUI::picturesAndPagesWork()
{
    QFETCH(QString, targetID);
    const ConvertTarget target = *ConvertTarget::byID(targetID);
    const QString output = path(QStringLiteral("out-") + targetID + QLatin1Char('.') + target.ext);
    std::optional<ConvertError> error;
    if (targetID.startsWith(QLatin1String("pdf-"))) {
        // A PDF made by libvips' picture path, as QPdfWriter's text needs fonts.
        const QString picture = makePicture(path(QStringLiteral("page.png")), 200, 100, Qt::red);
        const QString pdf = path(QStringLiteral("page.pdf"));
        QVERIFY(!ConverterEngine::convertImage(picture, pdf, *ConvertTarget::byID(QStringLiteral("pdf")), {}));
        error = ConverterEngine::convertPDF(pdf, output, target, {});
    } else {
        const QString picture = makePicture(path(QStringLiteral("in.png")), 300, 200, Qt::blue);
        error = ConverterEngine::convertImage(picture, output, target, {});
    }
    QCOMPARE(error ? error->description() : QString(), QString());
    QVERIFY(QFileInfo::exists(output));
}

void TestConvertWithoutGUI::textLayoutIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("targetID");
    QTest::newRow("text to pdf") << "note.txt" << "doc-pdf";
    QTest::newRow("markdown to docx") << "note.md" << "docx";
}

void TestConvertWithoutGUI::textLayoutIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, targetID);
    const QString input = writeFile(path(name), "Some *words*.\n");
    const ConvertTarget target = *ConvertTarget::byID(targetID);
    const QString output = path(QStringLiteral("refused.") + target.ext);
    const std::optional<ConvertError> error = ConverterEngine::convertDocument(input, output, target);
    QVERIFY(error);
    QCOMPARE(error->description(),
             QStringLiteral("This conversion lays out text, which needs a graphical session or QT_QPA_PLATFORM=offscreen."));
    QVERIFY(!QFileInfo::exists(output));
}

QTEST_GUILESS_MAIN(TestConvertWithoutGUI)
#include "tst_convertwithoutgui.moc"
