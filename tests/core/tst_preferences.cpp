#include "core/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Run with "--write-keys FILE PREFIX COUNT" this program is the second writer of
// the two-process case: it writes COUNT keys PREFIX0.. one at a time.
static int writeKeys(const QStringList &args)
{
    Preferences store(args.value(0));
    const int count = args.value(2).toInt();
    for (int i = 0; i < count; ++i)
        store.set(args.value(1) + QString::number(i), i);
    return 0;
}

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void typedValues_data();
    void typedValues();
    void dataIsStoredAsBase64Object();
    void removeAndNull_data();
    void removeAndNull();
    void changedOnlyOnRealChange();
    void reloadSeesOtherWriter();
    void twoStoresOnOneFileLoseNothing();
    void twoProcessesLoseNothing();
    void damagedFile_data();
    void damagedFile();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("sub/preferences.json")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPreferences::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestPreferences::typedValues_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("type");  // the one getter that reads it

    QTest::newRow("bool") << QJsonValue(true) << "bool";
    QTest::newRow("false bool") << QJsonValue(false) << "bool";
    QTest::newRow("number") << QJsonValue(2.5) << "number";
    QTest::newRow("zero") << QJsonValue(0) << "number";
    QTest::newRow("string") << QJsonValue(QStringLiteral("näme")) << "string";
    QTest::newRow("empty string") << QJsonValue(QString()) << "string";
    QTest::newRow("array") << QJsonValue(QJsonArray{1, "two"}) << "array";
    QTest::newRow("object") << QJsonValue(QJsonObject{{"a", 1}}) << "object";
}

// Each value reads back with its own getter and as absent through every other one,
// in this store and in a fresh one reading the file.
void TestPreferences::typedValues()
{
    QFETCH(QJsonValue, value);
    QFETCH(QString, type);
    Preferences writer(path());
    writer.set(QStringLiteral("k"), value);
    Preferences reader(path());
    for (Preferences *store : {&writer, &reader}) {
        QCOMPARE(store->value(QStringLiteral("k")), value);
        QCOMPARE(store->boolean(QStringLiteral("k")).has_value(), type == QLatin1String("bool"));
        QCOMPARE(store->number(QStringLiteral("k")).has_value(), type == QLatin1String("number"));
        QCOMPARE(store->string(QStringLiteral("k")).has_value(), type == QLatin1String("string"));
        QCOMPARE(store->array(QStringLiteral("k")).has_value(), type == QLatin1String("array"));
        QCOMPARE(store->object(QStringLiteral("k")).has_value(), type == QLatin1String("object"));
        QVERIFY(!store->data(QStringLiteral("k")));
    }
    if (type == QLatin1String("bool"))
        QCOMPARE(*reader.boolean(QStringLiteral("k")), value.toBool());
    if (type == QLatin1String("number"))
        QCOMPARE(*reader.number(QStringLiteral("k")), value.toDouble());
}

void TestPreferences::dataIsStoredAsBase64Object()
{
    const QByteArray bytes("\x00\x01\xfe binary", 10);
    {
        Preferences store(path());
        store.setData(QStringLiteral("blob"), bytes);
        store.set(QStringLiteral("broken"), QJsonObject{{"$data", "@@not base64@@"}});
    }
    QFile file(path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("blob").toObject().value("$data").toString(), QString::fromLatin1(bytes.toBase64()));

    Preferences store(path());
    QCOMPARE(store.data(QStringLiteral("blob")), std::optional(bytes));
    QVERIFY(!store.object(QStringLiteral("blob")));
    QVERIFY(!store.data(QStringLiteral("broken")));
    QVERIFY(!store.data(QStringLiteral("missing")));
}

void TestPreferences::removeAndNull_data()
{
    QTest::addColumn<bool>("useRemove");
    QTest::newRow("remove") << true;
    QTest::newRow("set null") << false;
}

void TestPreferences::removeAndNull()
{
    QFETCH(bool, useRemove);
    Preferences store(path());
    store.set(QStringLiteral("a"), 1);
    store.set(QStringLiteral("b"), 2);
    if (useRemove)
        store.remove(QStringLiteral("a"));
    else
        store.set(QStringLiteral("a"), QJsonValue(QJsonValue::Null));
    QVERIFY(!store.contains(QStringLiteral("a")));
    Preferences fresh(path());
    QVERIFY(!fresh.contains(QStringLiteral("a")));
    QCOMPARE(fresh.number(QStringLiteral("b")), std::optional(2.0));
}

void TestPreferences::changedOnlyOnRealChange()
{
    Preferences store(path());
    QSignalSpy spy(&store, &Preferences::changed);
    store.set(QStringLiteral("a"), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("a"));
    store.set(QStringLiteral("a"), 1);
    QCOMPARE(spy.count(), 1);
    store.set(QStringLiteral("a"), 2);
    QCOMPARE(spy.count(), 2);
    store.remove(QStringLiteral("missing"));
    QCOMPARE(spy.count(), 2);
}

void TestPreferences::reloadSeesOtherWriter()
{
    Preferences mine(path());
    mine.set(QStringLiteral("mine"), true);
    Preferences other(path());
    other.set(QStringLiteral("theirs"), QStringLiteral("x"));
    QSignalSpy spy(&mine, &Preferences::changed);
    QVERIFY(!mine.contains(QStringLiteral("theirs")));
    mine.reload();
    QCOMPARE(mine.string(QStringLiteral("theirs")), std::optional(QStringLiteral("x")));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("theirs"));
}

void TestPreferences::twoStoresOnOneFileLoseNothing()
{
    Preferences a(path());
    Preferences b(path());
    for (int i = 0; i < 20; ++i) {
        a.set(QStringLiteral("a%1").arg(i), i);
        b.set(QStringLiteral("b%1").arg(i), i);  // b has not reloaded: it must not drop a's keys
    }
    Preferences check(path());
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(check.number(QStringLiteral("a%1").arg(i)), std::optional(double(i)));
        QCOMPARE(check.number(QStringLiteral("b%1").arg(i)), std::optional(double(i)));
    }
}

void TestPreferences::twoProcessesLoseNothing()
{
    constexpr int count = 60;
    QDir().mkpath(QFileInfo(path()).path());
    QProcess first, second;
    const QString self = QCoreApplication::applicationFilePath();
    first.start(self, {"--write-keys", path(), "first.", QString::number(count)});
    second.start(self, {"--write-keys", path(), "second.", QString::number(count)});
    QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    Preferences check(path());
    for (int i = 0; i < count; ++i) {
        QVERIFY2(check.contains(QStringLiteral("first.%1").arg(i)), qPrintable(QString::number(i)));
        QVERIFY2(check.contains(QStringLiteral("second.%1").arg(i)), qPrintable(QString::number(i)));
    }
}

void TestPreferences::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("truncated JSON") << QByteArray(R"({"fx.player.volume": 0.5, "fx.libr)");
    QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n garbage");
    QTest::newRow("JSON array, not an object") << QByteArray("[1, 2, 3]");
}

// A damaged file reads as empty, and is renamed aside (never overwritten) at the next write.
void TestPreferences::damagedFile()
{
    QFETCH(QByteArray, content);
    QDir().mkpath(QFileInfo(path()).path());
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    Preferences store(path());
    QVERIFY(!store.contains(QStringLiteral("fx.player.volume")));
    QVERIFY(!store.number(QStringLiteral("fx.player.volume")));
    store.set(QStringLiteral("fresh"), 1);

    const QDir dir(QFileInfo(path()).path());
    const QStringList aside = dir.entryList({QStringLiteral("preferences.json.damaged-*")}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    QCOMPARE(Preferences(path()).number(QStringLiteral("fresh")), std::optional(1.0));
    store.set(QStringLiteral("again"), 2);  // a sound file is not set aside again
    QCOMPARE(dir.entryList({QStringLiteral("preferences.json.damaged-*")}, QDir::Files).size(), 1);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--write-keys"))
        return writeKeys(args.mid(2));
    TestPreferences test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preferences.moc"
