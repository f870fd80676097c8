#include "core/Preferences.h"
#include "core/WindowsSettings.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestWindowsSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void freshValues_data();
    void freshValues();
    void typedReads_data();
    void typedReads();
    void setThenRemoveReturnsToDefault();
    void storedUnderPrefixedKey();
    void everyWriteRaisesRevision();
    void otherProcessWriteRaisesRevision();
    void binding_data();
    void binding();
    void bindingWritesAndNotifiesOnlyOnChange();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<WindowsSettings> m_settings;
};

void TestWindowsSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_prefs = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("preferences.json")));
    m_settings = std::make_unique<WindowsSettings>(*m_prefs);
}

void TestWindowsSettings::cleanup()
{
    m_settings.reset();
    m_prefs.reset();
    m_dir.reset();
}

void TestWindowsSettings::freshValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("end action") << "player.endAction" << QJsonValue(QStringLiteral("next"));
    QTest::newRow("long skip") << "player.longSkip" << QJsonValue(10);
    QTest::newRow("resume") << "player.resume" << QJsonValue(true);
    QTest::newRow("slide seconds") << "player.slideSeconds" << QJsonValue(4);
    QTest::newRow("no default") << "player.unknown" << QJsonValue(QJsonValue::Undefined);
}

void TestWindowsSettings::freshValues()
{
    QFETCH(QString, name);
    QFETCH(QJsonValue, expected);
    QCOMPARE(m_settings->value(name), expected);
}

void TestWindowsSettings::typedReads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("stored");  // undefined: nothing stored
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<double>("asNumber");
    QTest::addColumn<QString>("asString");

    const QJsonValue none(QJsonValue::Undefined);
    QTest::newRow("default number") << "player.longSkip" << none << false << 10.0 << "";
    QTest::newRow("default string") << "player.endAction" << none << false << 0.0 << "next";
    QTest::newRow("default bool") << "player.resume" << none << true << 0.0 << "";
    QTest::newRow("string where a number is expected")
        << "player.longSkip" << QJsonValue(QStringLiteral("thirty")) << false << 0.0 << "thirty";
    QTest::newRow("stored false beats default true") << "player.resume" << QJsonValue(false) << false << 0.0 << "";
    QTest::newRow("array reads as nothing") << "player.longSkip" << QJsonValue(QJsonArray{1, 2}) << false << 0.0
                                            << "";
    QTest::newRow("unknown name") << "x.y" << none << false << 0.0 << "";
}

void TestWindowsSettings::typedReads()
{
    QFETCH(QString, name);
    QFETCH(QJsonValue, stored);
    QFETCH(bool, asBool);
    QFETCH(double, asNumber);
    QFETCH(QString, asString);

    if (!stored.isUndefined())
        m_prefs->set(QStringLiteral("wx.") + name, stored);
    QCOMPARE(m_settings->boolean(name), asBool);
    QCOMPARE(m_settings->number(name), asNumber);
    QCOMPARE(m_settings->string(name), asString);
}

void TestWindowsSettings::setThenRemoveReturnsToDefault()
{
    const QString name = QStringLiteral("player.longSkip");
    QCOMPARE(m_settings->number(name), 10.0);
    m_settings->set(name, 30);
    QCOMPARE(m_settings->number(name), 30.0);
    m_settings->set(name, QJsonValue::Undefined);
    QCOMPARE(m_settings->number(name), 10.0);
    m_settings->set(name, 45);
    m_settings->remove(name);
    QCOMPARE(m_settings->number(name), 10.0);
}

void TestWindowsSettings::storedUnderPrefixedKey()
{
    m_settings->set(QStringLiteral("player.endAction"), QStringLiteral("stop"));
    QCOMPARE(m_prefs->string(QStringLiteral("wx.player.endAction")), std::optional<QString>(QStringLiteral("stop")));
    QVERIFY(!m_prefs->contains(QStringLiteral("player.endAction")));
    // A second store on the same file sees the write.
    Preferences again(m_prefs->filePath());
    QCOMPARE(WindowsSettings(again).string(QStringLiteral("player.endAction")), QStringLiteral("stop"));
}

void TestWindowsSettings::everyWriteRaisesRevision()
{
    QSignalSpy spy(m_settings.get(), &WindowsSettings::revisionChanged);
    QCOMPARE(m_settings->revision(), 0);
    m_settings->set(QStringLiteral("player.longSkip"), 30);
    QCOMPARE(m_settings->revision(), 1);
    m_settings->set(QStringLiteral("player.longSkip"), 30);  // same value
    QCOMPARE(m_settings->revision(), 2);
    m_settings->remove(QStringLiteral("player.longSkip"));
    QCOMPARE(m_settings->revision(), 3);
    QCOMPARE(spy.count(), 3);
}

void TestWindowsSettings::otherProcessWriteRaisesRevision()
{
    Preferences other(m_prefs->filePath());
    other.set(QStringLiteral("wx.player.resume"), false);
    other.set(QStringLiteral("fx.player.volume"), 0.5);
    m_prefs->reload();
    QCOMPARE(m_settings->revision(), 1);  // only the "wx." key counts
    QCOMPARE(m_settings->boolean(QStringLiteral("player.resume")), false);
}

void TestWindowsSettings::binding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QVariant>("fallback");
    QTest::addColumn<QVariant>("expected");

    const QJsonValue none(QJsonValue::Undefined);
    QTest::newRow("built-in default of the right type") << "player.longSkip" << none << QVariant(5) << QVariant(10);
    QTest::newRow("built-in default of another type") << "player.longSkip" << none << QVariant(true) << QVariant(true);
    QTest::newRow("stored string") << "player.endAction" << QJsonValue(QStringLiteral("loop"))
                                   << QVariant(QStringLiteral("next")) << QVariant(QStringLiteral("loop"));
    QTest::newRow("stored string asked as number") << "player.slideSeconds" << QJsonValue(QStringLiteral("x"))
                                                   << QVariant(7.5) << QVariant(7.5);
    QTest::newRow("nothing at all") << "player.other" << none << QVariant(QStringLiteral("a"))
                                    << QVariant(QStringLiteral("a"));
}

void TestWindowsSettings::binding()
{
    QFETCH(QString, name);
    QFETCH(QJsonValue, stored);
    QFETCH(QVariant, fallback);
    QFETCH(QVariant, expected);

    if (!stored.isUndefined())
        m_settings->set(name, stored);
    WindowsSettingBinding binding(m_settings.get(), name, fallback);
    QCOMPARE(binding.value(), expected);
}

void TestWindowsSettings::bindingWritesAndNotifiesOnlyOnChange()
{
    WindowsSettingBinding binding(m_settings.get(), QStringLiteral("player.longSkip"), QVariant(10));
    QSignalSpy spy(&binding, &WindowsSettingBinding::valueChanged);

    binding.setValue(30);
    QCOMPARE(m_settings->number(QStringLiteral("player.longSkip")), 30.0);
    QCOMPARE(binding.value().toDouble(), 30.0);
    QCOMPARE(spy.count(), 1);

    binding.setValue(30);  // a write, but no new value
    QCOMPARE(spy.count(), 1);

    m_settings->set(QStringLiteral("player.resume"), false);  // another setting
    QCOMPARE(spy.count(), 1);

    m_settings->remove(QStringLiteral("player.longSkip"));
    QCOMPARE(binding.value().toDouble(), 10.0);
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(TestWindowsSettings)
#include "tst_windowssettings.moc"
