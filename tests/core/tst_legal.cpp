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

QTEST_GUILESS_MAIN(TestLegal)
#include "tst_legal.moc"
