#include "core/Preferences.h"
#include "core/WindowsSettings.h"
#include "player/MediaPlayerSettings.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <memory>

namespace S = MediaPlayerSettings;

class TestMediaPlayerSettings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
    Preferences &prefs() { return Preferences::media(); }
    WindowsSettings &windows() { return WindowsSettings::shared(); }

    QJsonObject dictionary(const QString &key) { return prefs().object(key).value_or(QJsonObject()); }

private slots:
    void initTestCase() { m_home = std::make_unique<TestSupport::TempHome>(); }
    void cleanupTestCase() { m_home.reset(); }

    void init()
    {
        for (const char *name : {"player.endAction", "player.longSkip", "player.resume", "player.slideSeconds"})
            windows().remove(QString::fromLatin1(name));
        for (const char *key : {"fx.player.eqOn", "fx.player.eqBands", "fx.player.eqPreset", "fx.player.keepPitch",
                                "fx.player.resume", "fx.player.rotation", "fx.player.barPosition"})
            prefs().remove(QString::fromLatin1(key));
    }

    // One row per window setting: what is stored (undefined = nothing) and what reads back.
    void userSettings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QJsonValue>("expected");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("endAction default") << "player.endAction" << none << QJsonValue("next");
        QTest::newRow("endAction stop") << "player.endAction" << QJsonValue("stop") << QJsonValue("stop");
        QTest::newRow("endAction wrong type") << "player.endAction" << QJsonValue(3) << QJsonValue("");
        QTest::newRow("longSkip default") << "player.longSkip" << none << QJsonValue(10);
        QTest::newRow("longSkip 3 is 5") << "player.longSkip" << QJsonValue(3) << QJsonValue(5);
        QTest::newRow("longSkip 20") << "player.longSkip" << QJsonValue(20) << QJsonValue(20);
        QTest::newRow("longSkip string is 5") << "player.longSkip" << QJsonValue("30") << QJsonValue(5);
        QTest::newRow("resume default") << "player.resume" << none << QJsonValue(true);
        QTest::newRow("resume off") << "player.resume" << QJsonValue(false) << QJsonValue(false);
        QTest::newRow("resume wrong type") << "player.resume" << QJsonValue(1) << QJsonValue(false);
        QTest::newRow("slideSeconds default") << "player.slideSeconds" << none << QJsonValue(4);
        QTest::newRow("slideSeconds 0.5 is 1") << "player.slideSeconds" << QJsonValue(0.5) << QJsonValue(1);
        QTest::newRow("slideSeconds 6") << "player.slideSeconds" << QJsonValue(6) << QJsonValue(6);
    }

    void userSettings()
    {
        QFETCH(QString, name);
        QFETCH(QJsonValue, stored);
        QFETCH(QJsonValue, expected);
        windows().set(name, stored);
        if (!stored.isUndefined())
            QCOMPARE(prefs().value(QStringLiteral("wx.") + name), stored);
        QJsonValue actual;
        if (name == QLatin1String("player.endAction"))
            actual = S::endAction();
        else if (name == QLatin1String("player.longSkip"))
            actual = S::longSkip();
        else if (name == QLatin1String("player.resume"))
            actual = S::resume();
        else
            actual = S::slideSeconds();
        QCOMPARE(actual, expected);
    }

    void skipSymbols_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("back");
        QTest::addColumn<QString>("forward");
        QTest::addColumn<QString>("help");
        QTest::newRow("3 acts as 5") << 3.0 << "gobackward.5" << "goforward.5" << "5 seconds";
        QTest::newRow("10") << 10.0 << "gobackward.10" << "goforward.10" << "10 seconds";
        QTest::newRow("45 has a symbol") << 45.0 << "gobackward.45" << "goforward.45" << "45 seconds";
        QTest::newRow("20 plain") << 20.0 << "gobackward" << "goforward" << "20 seconds";
        QTest::newRow("12.5 plain") << 12.5 << "gobackward" << "goforward" << "12 seconds";
    }

    void skipSymbols()
    {
        QFETCH(double, stored);
        QFETCH(QString, back);
        QFETCH(QString, forward);
        QFETCH(QString, help);
        windows().set(QStringLiteral("player.longSkip"), stored);
        QCOMPARE(S::skipSymbol(false), back);
        QCOMPARE(S::skipSymbol(true), forward);
        QCOMPARE(S::skipHelp(), help);
    }

    // Each row saves over an older position of 30 s, so "removed" is visible.
    void saveResume_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QJsonValue>("stored");
        const QJsonValue removed(QJsonValue::Undefined);
        QTest::newRow("119 s video never kept") << 119.0 << 60.0 << removed;
        QTest::newRow("120 s video at 60 kept") << 120.0 << 60.0 << QJsonValue(60.0);
        QTest::newRow("120 s video at 106 removed") << 120.0 << 106.0 << removed;
        QTest::newRow("10 min at 7 kept") << 600.0 << 7.0 << QJsonValue(7.0);
        QTest::newRow("10 min at 9:50 removed") << 600.0 << 590.0 << removed;
        QTest::newRow("10 min at 5 removed") << 600.0 << 5.0 << removed;
        QTest::newRow("10 min at 584.9 kept") << 600.0 << 584.9 << QJsonValue(584.9);
    }

    void saveResume()
    {
        QFETCH(double, duration);
        QFETCH(double, seconds);
        QFETCH(QJsonValue, stored);
        const QString key = QStringLiteral("/videos/a.mp4");
        S::saveResume(key, 30, 600);
        QCOMPARE(S::resumePosition(key), std::optional<double>(30));
        S::saveResume(key, seconds, duration);
        QCOMPARE(dictionary(QStringLiteral("fx.player.resume")).value(key), stored);
    }

    void resumePosition_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<double>("expected");  // -1: none
        QTest::newRow("exactly 5 ignored") << QJsonValue(5) << -1.0;
        QTest::newRow("5.5 read") << QJsonValue(5.5) << 5.5;
        QTest::newRow("string ignored") << QJsonValue("100") << -1.0;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << -1.0;
    }

    void resumePosition()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(double, expected);
        QJsonObject positions;
        if (!stored.isUndefined())
            positions.insert(QStringLiteral("k"), stored);
        prefs().set(QStringLiteral("fx.player.resume"), positions);
        const auto position = S::resumePosition(QStringLiteral("k"));
        QCOMPARE(position.value_or(-1), expected);
    }

    void dictionariesCapped_data()
    {
        QTest::addColumn<bool>("rotation");
        QTest::newRow("resume") << false;
        QTest::newRow("rotation") << true;
    }

    void dictionariesCapped()
    {
        QFETCH(bool, rotation);
        const QString prefKey = rotation ? QStringLiteral("fx.player.rotation") : QStringLiteral("fx.player.resume");
        QJsonObject full;
        for (int i = 0; i < 300; ++i)
            full.insert(QStringLiteral("/a/%1.mp4").arg(i, 3, 10, QLatin1Char('0')), rotation ? 90 : 100.0);
        prefs().set(prefKey, full);
        const QString last = QStringLiteral("/a/000-new.mp4");  // sorts among the first
        if (rotation)
            S::saveRotation(last, 180);
        else
            S::saveResume(last, 50, 600);
        const QJsonObject stored = dictionary(prefKey);
        QCOMPARE(stored.size(), 300);
        QVERIFY(stored.contains(last));
        if (rotation)
            QCOMPARE(S::rotation(last), 180);
        else
            QCOMPARE(S::resumePosition(last), std::optional<double>(50));
    }

    void forgetResume()
    {
        S::saveResume(QStringLiteral("a"), 50, 600);
        S::saveResume(QStringLiteral("b"), 60, 600);
        S::forgetResume(QSet<QString>{QStringLiteral("a")});
        QVERIFY(!S::resumePosition(QStringLiteral("a")));
        QCOMPARE(S::resumePosition(QStringLiteral("b")), std::optional<double>(60));
        S::forgetResume(std::nullopt);
        QVERIFY(!prefs().contains(QStringLiteral("fx.player.resume")));
    }

    void rotations_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("90") << QJsonValue(90) << 90;
        QTest::newRow("fraction reads 0") << QJsonValue(90.5) << 0;
        QTest::newRow("string reads 0") << QJsonValue("90") << 0;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 0;
    }

    void rotations()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(int, expected);
        QJsonObject rotations;
        if (!stored.isUndefined())
            rotations.insert(QStringLiteral("k"), stored);
        prefs().set(QStringLiteral("fx.player.rotation"), rotations);
        QCOMPARE(S::rotation(QStringLiteral("k")), expected);
    }

    void rotationBackToZeroRemoves()
    {
        S::saveRotation(QStringLiteral("k"), 270);
        QCOMPARE(dictionary(QStringLiteral("fx.player.rotation")).value(QStringLiteral("k")), QJsonValue(270));
        S::saveRotation(QStringLiteral("k"), 0);
        QVERIFY(!dictionary(QStringLiteral("fx.player.rotation")).contains(QStringLiteral("k")));
    }

    void eqBands_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<float>("third");  // band 2 as read
        QTest::newRow("ten numbers") << QJsonValue(QJsonArray{0, 0, 4.5, 0, 0, 0, 0, 0, 0, 1}) << 4.5f;
        QTest::newRow("nine numbers are flat") << QJsonValue(QJsonArray{0, 0, 4.5, 0, 0, 0, 0, 0, 0}) << 0.f;
        QTest::newRow("a string is flat") << QJsonValue(QJsonArray{0, 0, 4.5, 0, 0, "x", 0, 0, 0, 1}) << 0.f;
        QTest::newRow("not an array") << QJsonValue(3) << 0.f;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 0.f;
    }

    void eqBands()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(float, third);
        prefs().set(QStringLiteral("fx.player.eqBands"), stored);
        const auto bands = S::eqBands();
        QCOMPARE(bands[2], third);
        if (third == 0.f)
            QCOMPARE(bands, S::Bands{});
    }

    void audioKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QJsonValue>("expected");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("eqOn default") << "fx.player.eqOn" << none << QJsonValue(false);
        QTest::newRow("eqOn on") << "fx.player.eqOn" << QJsonValue(true) << QJsonValue(true);
        QTest::newRow("eqOn wrong type") << "fx.player.eqOn" << QJsonValue("yes") << QJsonValue(false);
        QTest::newRow("eqPreset default") << "fx.player.eqPreset" << none << QJsonValue("Flat");
        QTest::newRow("eqPreset Rock") << "fx.player.eqPreset" << QJsonValue("Rock") << QJsonValue("Rock");
        QTest::newRow("keepPitch default") << "fx.player.keepPitch" << none << QJsonValue(true);
        QTest::newRow("keepPitch off") << "fx.player.keepPitch" << QJsonValue(false) << QJsonValue(false);
        QTest::newRow("keepPitch wrong type") << "fx.player.keepPitch" << QJsonValue(0) << QJsonValue(true);
    }

    void audioKeys()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);
        QFETCH(QJsonValue, expected);
        prefs().set(key, stored);
        QJsonValue actual;
        if (key.endsWith(QLatin1String("eqOn")))
            actual = S::eqOn();
        else if (key.endsWith(QLatin1String("eqPreset")))
            actual = S::eqPreset();
        else
            actual = S::keepPitch();
        QCOMPARE(actual, expected);
    }

    void audioWritesRoundTrip()
    {
        S::setEqOn(true);
        S::setKeepPitch(false);
        S::setEqPreset(QStringLiteral("Custom"));
        S::Bands bands{};
        bands[3] = 7.5f;
        bands[9] = -12.f;
        S::setEqBands(bands);
        QCOMPARE(prefs().value(QStringLiteral("fx.player.eqOn")), QJsonValue(true));
        QCOMPARE(prefs().value(QStringLiteral("fx.player.keepPitch")), QJsonValue(false));
        QCOMPARE(prefs().array(QStringLiteral("fx.player.eqBands"))->size(), 10);
        QCOMPARE(S::eqBands(), bands);
        QCOMPARE(S::eqPreset(), QStringLiteral("Custom"));
    }

    void barPosition()
    {
        QVERIFY(!S::barPosition());
        S::setBarPosition(QPointF(12, 340));
        QCOMPARE(S::barPosition(), std::optional<QPointF>(QPointF(12, 340)));
        prefs().set(QStringLiteral("fx.player.barPosition"), QJsonArray{1});
        QVERIFY(!S::barPosition());
    }

    void rateLabels_data()
    {
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("label");
        QTest::newRow("1") << 1.f << QStringLiteral("1×");
        QTest::newRow("1.5") << 1.5f << QStringLiteral("1.5×");
        QTest::newRow("0.25") << 0.25f << QStringLiteral("0.25×");
        QTest::newRow("1.234 rounds") << 1.234f << QStringLiteral("1.23×");
        QTest::newRow("0.1") << 0.1f << QStringLiteral("0.1×");
    }

    void rateLabels()
    {
        QFETCH(float, rate);
        QFETCH(QString, label);
        QCOMPARE(S::rateLabel(rate), label);
    }

    void fixedTables()
    {
        QCOMPARE(S::rates(), (QList<float>{0.1f, 0.25f, 0.5f, 0.75f, 1.f, 1.25f, 1.5f, 1.75f, 2.f, 2.5f, 3.f, 4.f}));
        QCOMPARE(S::skipLengths(), (QList<int>{5, 10, 15, 30, 60}));
        QCOMPARE(S::slideIntervals(), (QList<int>{2, 3, 4, 6, 10}));
    }
};

QTEST_GUILESS_MAIN(TestMediaPlayerSettings)
#include "tst_mediaplayersettings.moc"
