#include "player/SymbolIcons.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTest>

// Every symbol the windows name is drawn from a bundled file, in the colour asked.
class TestSymbolIcons : public QObject
{
    Q_OBJECT

private slots:
    void everyNameHasItsFile();
    void lookup_data();
    void lookup();
    void drawnInTheAskedColour_data();
    void drawnInTheAskedColour();
};

void TestSymbolIcons::everyNameHasItsFile()
{
    const QStringList names = SymbolIcons::names();
    QVERIFY(names.size() >= 40);
    for (const QString &name : names) {
        const QString path = SymbolIcons::path(name);
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(name + QStringLiteral(" -> ") + path));
    }
    QVERIFY(QFileInfo(QFileInfo(SymbolIcons::path(QStringLiteral("play.fill"))).dir(),
                      QStringLiteral("LICENSE")).isFile());
}

void TestSymbolIcons::lookup_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("file");
    QTest::newRow("play") << "play.fill" << "media-playback-start-symbolic.svg";
    QTest::newRow("numbered skip back") << "gobackward.10" << "media-seek-backward-symbolic.svg";
    QTest::newRow("numbered skip forward") << "goforward.90" << "media-seek-forward-symbolic.svg";
    QTest::newRow("plain skip") << "goforward" << "media-seek-forward-symbolic.svg";
    QTest::newRow("warning") << "exclamationmark.triangle.fill" << "dialog-warning-symbolic.svg";
    QTest::newRow("unknown") << "no.such.symbol" << "";
    QTest::newRow("unknown numbered") << "nothing.5" << "";
}

void TestSymbolIcons::lookup()
{
    QFETCH(QString, symbol);
    QFETCH(QString, file);
    QCOMPARE(SymbolIcons::fileName(symbol), file);
}

void TestSymbolIcons::drawnInTheAskedColour_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("color");
    QTest::newRow("white play") << "play.fill" << "#ffffff";
    QTest::newRow("yellow warning") << "exclamationmark.triangle.fill" << "#ffcc00";
    QTest::newRow("red speaker") << "speaker.wave.2.fill" << "#ff0000";
}

void TestSymbolIcons::drawnInTheAskedColour()
{
    QFETCH(QString, symbol);
    QFETCH(QString, color);
    SymbolIcons icons;
    const QUrl url = icons.source(symbol, color);
    QCOMPARE(url.scheme(), QStringLiteral("image"));
    QCOMPARE(url.host(), QStringLiteral("symbol"));

    SymbolImageProvider provider;
    QSize size;
    const QImage image = provider.requestImage(url.path().mid(1), &size, QSize(32, 32));
    QCOMPARE(size, QSize(32, 32));
    QVERIFY(!image.isNull());
    const QColor want(color);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor px = image.pixelColor(x, y);
            if (px.alpha() < 250)
                continue;  // edges blend into transparency
            ++inked;
            QCOMPARE(px.rgb(), want.rgb());
        }
    }
    QVERIFY2(inked > 40, "the icon drew almost nothing");
}

QTEST_MAIN(TestSymbolIcons)
#include "tst_symbolicons.moc"
