#include "core/Legal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLegal : public QObject
{
    Q_OBJECT

private slots:
    void page_data();
    void page();
    void shippedPages_data();
    void shippedPages();
    void support();
    void acknowledgementsNameEveryComponent_data();
    void acknowledgementsNameEveryComponent();
};

void TestLegal::page_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("present");

    QTest::newRow("terms present") << "terms" << true;
    QTest::newRow("terms missing") << "terms" << false;
    QTest::newRow("privacy present") << "privacy" << true;
    QTest::newRow("open source missing") << "open-source" << false;
}

void TestLegal::page()
{
    QFETCH(QString, name);
    QFETCH(bool, present);

    QTemporaryDir resources;
    QDir(resources.path()).mkpath(QStringLiteral("Legal"));
    const QString file = resources.filePath(QStringLiteral("Legal/") + name + QStringLiteral(".html"));
    if (present) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("<html></html>");
    }
    const QUrl url = Legal::page(name, resources.path());
    if (present) {
        QVERIFY(url.isLocalFile());
        QCOMPARE(url.toLocalFile(), file);
    } else {
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QVERIFY(url.toString().endsWith(QStringLiteral("/") + name + QStringLiteral(".html")));
        QVERIFY(url.isValid());
    }
}

void TestLegal::shippedPages_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("privacy") << Legal::privacy() << "privacy.html";
    QTest::newRow("terms") << Legal::terms() << "terms.html";
    QTest::newRow("open source") << Legal::openSource() << "open-source.html";
}

// The build's resources folder carries the pages, so the links open them offline.
void TestLegal::shippedPages()
{
    QFETCH(QUrl, url);
    QFETCH(QString, fileName);
    QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
    QCOMPARE(url.fileName(), fileName);
    QFile page(url.toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(page.readAll().contains("</html>"));
}

void TestLegal::support()
{
    QCOMPARE(Legal::support().scheme(), QStringLiteral("mailto"));
    QCOMPARE(Legal::support().path(), QString::fromLatin1(Legal::supportEmail));
}

void TestLegal::acknowledgementsNameEveryComponent_data()
{
    QTest::addColumn<QString>("text");
    for (const char *name : {"Qt 6", "GStreamer", "FFmpeg", "libvips", "Poppler", "LibreOffice", "QtKeychain",
                             "Avahi", "GLib", "Linux-PAM", "OpenSSH"})
        QTest::newRow(name) << QString::fromUtf8(name);
    // The licence texts themselves, not only their names.
    QTest::newRow("LGPL 2.1 text") << "GNU LESSER GENERAL PUBLIC LICENSE\n                       Version 2.1";
    QTest::newRow("LGPL 3 text") << "GNU LESSER GENERAL PUBLIC LICENSE\n                       Version 3";
    QTest::newRow("GPL 2 text") << "GNU GENERAL PUBLIC LICENSE\n                       Version 2";
    QTest::newRow("MPL 2.0 text") << "Mozilla Public License Version 2.0";
}

void TestLegal::acknowledgementsNameEveryComponent()
{
    QFETCH(QString, text);
    QFile page(Legal::openSource().toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(page.readAll()).contains(text));
}

QTEST_GUILESS_MAIN(TestLegal)
#include "tst_legal.moc"
