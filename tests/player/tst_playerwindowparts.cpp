#include "core/Preferences.h"
#include "player/ControlBarPlacement.h"
#include "player/PlayerViewText.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

// The bar's stored place and the views' texts, without a screen.
class TestPlayerWindowParts : public QObject
{
    Q_OBJECT

private slots:
    void rateTexts_data();
    void rateTexts();
    void volumeTexts_data();
    void volumeTexts();
    void bandValue_data();
    void bandValue();
    void barStoredAndRestored();
    void barClampedAfterShrink();
    void barResetForgetsThePlace();
    void unreadableStoredPlace_data();
    void unreadableStoredPlace();
};

void TestPlayerWindowParts::rateTexts_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QString>("chip");
    QTest::newRow("half") << 0.5 << "0.5×" << "0.5× (slow motion)" << "0.5×";
    QTest::newRow("normal") << 1.0 << "1×" << "Normal" << "Normal";
    QTest::newRow("double") << 2.0 << "2×" << "2×" << "2×";
    QTest::newRow("one and a half") << 1.5 << "1.5×" << "1.5×" << "1.5×";
    QTest::newRow("tenth") << 0.1 << "0.1×" << "0.1× (slow motion)" << "0.1×";
}

void TestPlayerWindowParts::rateTexts()
{
    QFETCH(double, rate);
    QFETCH(QString, label);
    QFETCH(QString, menuItem);
    QFETCH(QString, chip);
    QCOMPARE(PlayerViewText::rateLabel(rate), label);
    QCOMPARE(PlayerViewText::rateMenuItem(rate), menuItem);
    QCOMPARE(PlayerViewText::rateChip(rate), chip);
}

void TestPlayerWindowParts::volumeTexts_data()
{
    QTest::addColumn<double>("volume");
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QString>("help");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("full") << 1.0 << false << "Volume 100 %" << "100 %" << "speaker.wave.2.fill";
    QTest::newRow("boosted") << 1.5 << false << "Volume 150 %" << "150 % boost" << "speaker.wave.3.fill";
    QTest::newRow("within the boost tolerance") << 1.0005 << false << "Volume 100 %" << "100 %" << "speaker.wave.2.fill";
    QTest::newRow("muted") << 0.8 << true << "Volume 80 %" << "80 %" << "speaker.slash.fill";
    QTest::newRow("silent") << 0.0 << false << "Volume 0 %" << "0 %" << "speaker.slash.fill";
}

void TestPlayerWindowParts::volumeTexts()
{
    QFETCH(double, volume);
    QFETCH(bool, muted);
    QFETCH(QString, help);
    QFETCH(QString, value);
    QFETCH(QString, symbol);
    QCOMPARE(PlayerViewText::volumeHelp(volume), help);
    QCOMPARE(PlayerViewText::volumeValue(volume), value);
    QCOMPARE(PlayerViewText::muteSymbol(muted, volume), symbol);
}

void TestPlayerWindowParts::bandValue_data()
{
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("gain");
    // Height 96: the middle is 48, travel 42.
    QTest::newRow("middle") << 48.0 << 0.0;
    QTest::newRow("top of travel") << 6.0 << 12.0;
    QTest::newRow("above the top") << -20.0 << 12.0;
    QTest::newRow("bottom of travel") << 90.0 << -12.0;
    QTest::newRow("half way up") << 27.0 << 6.0;
}

void TestPlayerWindowParts::bandValue()
{
    QFETCH(double, y);
    QFETCH(double, gain);
    QCOMPARE(PlayerViewText::bandValue(y, 96), gain);
}

void TestPlayerWindowParts::barStoredAndRestored()
{
    TestSupport::TempHome home;
    Preferences prefs(home.config() + QStringLiteral("/prefs.json"));
    const QSizeF root(1000, 800), bar(500, 40);
    ControlBarPlacement first(prefs);
    first.place(root, bar, false);
    QCOMPARE(first.x(), 0.0);
    QCOMPARE(first.bottom(), -16.0);

    QSignalSpy moved(&first, &ControlBarPlacement::placeChanged);
    first.dragBy(100, -200);
    first.dragBy(150, -300);  // translations since the drag began, not steps
    QCOMPARE(moved.count(), 2);
    first.place(root, bar, false);  // a layout pass during the drag changes nothing
    QCOMPARE(first.x(), 150.0);
    QCOMPARE(first.bottom(), -316.0);
    first.endDrag();
    QCOMPARE(prefs.array(ControlBarPlacement::key), QJsonArray({0.15, 0.375}));

    // The next window opens with the bar where it was left, scaled to its size.
    ControlBarPlacement next(prefs);
    next.place(QSizeF(2000, 800), bar, false);
    QCOMPARE(next.x(), 300.0);
    QCOMPARE(next.bottom(), -316.0);
    QSignalSpy unchanged(&next, &ControlBarPlacement::placeChanged);
    next.place(QSizeF(2000, 800), bar, false);
    QCOMPARE(unchanged.count(), 0);
}

void TestPlayerWindowParts::barClampedAfterShrink()
{
    TestSupport::TempHome home;
    Preferences prefs(home.config() + QStringLiteral("/prefs.json"));
    ControlBarPlacement bar(prefs);
    bar.place(QSizeF(1200, 800), QSizeF(500, 40), false);
    bar.dragBy(5000, -5000);  // into the top right corner
    bar.endDrag();
    QCOMPARE(bar.x(), 272.0);
    QCOMPARE(bar.bottom(), -726.0);
    bar.place(QSizeF(600, 300), QSizeF(500, 40), false);
    QCOMPARE(bar.x(), 10.0);
    QCOMPARE(bar.bottom(), -226.0);
}

void TestPlayerWindowParts::barResetForgetsThePlace()
{
    TestSupport::TempHome home;
    Preferences prefs(home.config() + QStringLiteral("/prefs.json"));
    ControlBarPlacement bar(prefs);
    bar.place(QSizeF(1000, 800), QSizeF(500, 40), false);
    bar.dragBy(-60, -100);
    bar.endDrag();
    QVERIFY(prefs.array(ControlBarPlacement::key).has_value());
    bar.reset();
    QVERIFY(!prefs.array(ControlBarPlacement::key).has_value());
    QCOMPARE(bar.x(), 0.0);
    QCOMPARE(bar.bottom(), -16.0);
}

void TestPlayerWindowParts::unreadableStoredPlace_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("bottom");
    QTest::newRow("not an array") << QJsonValue(QStringLiteral("left")) << 0.0 << -16.0;
    QTest::newRow("strings") << QJsonValue(QJsonArray({QStringLiteral("a"), 1})) << 0.0 << -16.0;
    QTest::newRow("one number") << QJsonValue(QJsonArray({0.1})) << 100.0 << -16.0;
}

void TestPlayerWindowParts::unreadableStoredPlace()
{
    QFETCH(QJsonValue, stored);
    QFETCH(double, x);
    QFETCH(double, bottom);
    TestSupport::TempHome home;
    Preferences prefs(home.config() + QStringLiteral("/prefs.json"));
    prefs.set(ControlBarPlacement::key, stored);
    ControlBarPlacement bar(prefs);
    bar.place(QSizeF(1000, 800), QSizeF(500, 40), false);
    QCOMPARE(bar.x(), x);
    QCOMPARE(bar.bottom(), bottom);
}

QTEST_GUILESS_MAIN(TestPlayerWindowParts)
#include "tst_playerwindowparts.moc"
