#include "core/Preferences.h"
#include "log/Log.h"
#include "log/SystemLog.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <syslog.h>
#include <thread>
#include <vector>

// Every case shares one temporary home: the logger reads its folder once per process.
class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void names_data();
    void names();
    void lineFormat_data();
    void lineFormat();
    void fileUnderStateFolder();
    void writtenLineIsScrubbedAndFormatted();
    void tail_data();
    void tail();
    void tailWaitsForQueuedLines();
    void changedWritesOnlyNewValues();
    void secret_data();
    void secret();
    void secretIsStableAndSalted();
    void rotation_data();
    void rotation();
    void linesFromManyThreadsStayWhole();
    void writerThreadIsNamed();
    void systemMirror_data();
    void systemMirror();

private:
    TestSupport::TempHome m_home;  // before any Log call
};

namespace {

const QRegularExpression kLine(QStringLiteral(
    R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} (DEBUG|INFO |WARN |ERROR) \[[a-z]+\] .*$)"));

void removeLogs()
{
    QFile::remove(Log::file());
    QFile::remove(QFileInfo(Log::file()).path() + QLatin1Char('/') + QFileInfo(Log::file()).completeBaseName()
                  + QStringLiteral(".1.log"));
}

QString previousFile()
{
    QString path = Log::file();
    path.chop(4);
    return path + QStringLiteral(".1.log");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QPair<int, QByteArray>> g_mirrored;

void recordMirror(int priority, const char *text)
{
    g_mirrored.append({priority, QByteArray(text)});
}

} // namespace

void TestLog::init()
{
    Log::tail(1);  // let earlier cases' lines land before removing the files
    removeLogs();
}

void TestLog::names_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("levelName");
    QTest::newRow("debug") << int(Log::Level::debug) << "DEBUG";
    QTest::newRow("info") << int(Log::Level::info) << "INFO";
    QTest::newRow("warning") << int(Log::Level::warning) << "WARN";
    QTest::newRow("error") << int(Log::Level::error) << "ERROR";
}

void TestLog::names()
{
    QFETCH(int, level);
    QFETCH(QString, levelName);
    QCOMPARE(Log::levelName(Log::Level(level)), levelName);
    QCOMPARE(Log::levelFromName(levelName), std::optional(Log::Level(level)));
    QVERIFY(!Log::levelFromName(levelName.toLower()));
    for (Log::Area area : Log::allAreas()) {
        QCOMPARE(Log::areaName(area), Log::areaName(area).toLower());
        QCOMPARE(Log::areaFromName(Log::areaName(area)), std::optional(area));
    }
    QCOMPARE(Log::areaName(Log::Area::app), QStringLiteral("app"));
    QVERIFY(!Log::areaFromName(QStringLiteral("App")));
}

void TestLog::lineFormat_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info: two spaces") << int(Log::Level::info) << "2026-01-02 03:04:05.678 INFO  [app] text\n";
    QTest::newRow("warn: two spaces") << int(Log::Level::warning) << "2026-01-02 03:04:05.678 WARN  [app] text\n";
    QTest::newRow("debug: one space") << int(Log::Level::debug) << "2026-01-02 03:04:05.678 DEBUG [app] text\n";
    QTest::newRow("error: one space") << int(Log::Level::error) << "2026-01-02 03:04:05.678 ERROR [app] text\n";
}

void TestLog::lineFormat()
{
    QFETCH(int, level);
    QFETCH(QString, expected);
    const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5, 678));
    QCOMPARE(Log::formatLine(when, Log::Level(level), Log::Area::app, QStringLiteral("text")), expected);
}

void TestLog::fileUnderStateFolder()
{
    QCOMPARE(Log::folder(), m_home.state() + QStringLiteral("/Moxtrel/logs"));
    QCOMPARE(QFileInfo(Log::file()).path(), Log::folder());
    QVERIFY(Log::file().endsWith(QStringLiteral(".log")));
    QVERIFY(!Log::file().endsWith(QStringLiteral(".1.log")));
}

void TestLog::writtenLineIsScrubbedAndFormatted()
{
    Log::info(Log::Area::app, QStringLiteral("Opened ") + m_home.path().toUpper() + QStringLiteral("/Movies/a.mkv"));
    const QStringList lines = Log::tail(5);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(kLine.match(lines.first()).hasMatch(), qPrintable(lines.first()));
    QVERIFY2(lines.first().endsWith(QStringLiteral(" INFO  [app] Opened ~/Movies/a.mkv")), qPrintable(lines.first()));
    // The file holds exactly that line and a line feed.
    QCOMPARE(readAll(Log::file()), (lines.first() + QLatin1Char('\n')).toUtf8());
}

void TestLog::tail_data()
{
    QTest::addColumn<QStringList>("previous");  // lines of the ".1.log" generation
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("zero") << QStringList{"a"} << QStringList{"b"} << 0 << QStringList{};
    QTest::newRow("fewer than asked") << QStringList{} << QStringList{"a", "b"} << 5 << QStringList{"a", "b"};
    QTest::newRow("across generations") << QStringList{"a", "b", "c"} << QStringList{"d", "e"} << 3
                                        << QStringList{"c", "d", "e"};
    QTest::newRow("empty lines dropped") << QStringList{"a", "", ""} << QStringList{"", "b"} << 5
                                         << QStringList{"a", "b"};
    QTest::newRow("no files") << QStringList{} << QStringList{} << 3 << QStringList{};
}

void TestLog::tail()
{
    QFETCH(QStringList, previous);
    QFETCH(QStringList, current);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    QDir().mkpath(Log::folder());
    const auto writeLines = [](const QString &path, const QStringList &lines) {
        if (lines.isEmpty())
            return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    };
    writeLines(previousFile(), previous);
    writeLines(Log::file(), current);
    QCOMPARE(Log::tail(count), expected);
}

void TestLog::tailWaitsForQueuedLines()
{
    for (int i = 1; i <= 5; ++i)
        Log::info(Log::Area::app, QStringLiteral("queued %1").arg(i));
    const QStringList lines = Log::tail(5);
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(lines[i].endsWith(QStringLiteral("[app] queued %1").arg(i + 1)), qPrintable(lines[i]));
}

void TestLog::changedWritesOnlyNewValues()
{
    Log::changed(Log::Area::player, QStringLiteral("volume"), QStringLiteral("volume 50"));
    Log::changed(Log::Area::player, QStringLiteral("volume"), QStringLiteral("volume 50"));
    QCOMPARE(Log::tail(10).size(), 1);
    Log::changed(Log::Area::player, QStringLiteral("volume"), QStringLiteral("volume 60"), Log::Level::warning);
    Log::changed(Log::Area::player, QStringLiteral("speed"), QStringLiteral("volume 60"));  // another key
    const QStringList lines = Log::tail(10);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].endsWith(QStringLiteral("INFO  [player] volume 50")));
    QVERIFY(lines[1].endsWith(QStringLiteral("WARN  [player] volume 60")));
    QVERIFY(lines[2].endsWith(QStringLiteral("INFO  [player] volume 60")));
}

void TestLog::secret_data()
{
    QTest::addColumn<std::optional<QString>>("value");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("missing") << std::optional<QString>() << QStringLiteral("^\u2039empty\u203a$");
    QTest::newRow("empty") << std::optional<QString>(QString()) << QStringLiteral("^\u2039empty\u203a$");
    QTest::newRow("ascii") << std::optional<QString>(QStringLiteral("hunter2"))
                           << QStringLiteral("^\u20397 chars #[0-9a-f]{4}\u203a$");
    QTest::newRow("combining accent counts once") << std::optional<QString>(QStringLiteral("e\u0301t\u00e9"))
                                                  << QStringLiteral("^\u20393 chars #[0-9a-f]{4}\u203a$");
    QTest::newRow("emoji counts once") << std::optional<QString>(QStringLiteral("pw\U0001F600"))
                                       << QStringLiteral("^\u20393 chars #[0-9a-f]{4}\u203a$");
}

void TestLog::secret()
{
    QFETCH(std::optional<QString>, value);
    QFETCH(QString, pattern);
    const QString fingerprint = Log::secret(value);
    QVERIFY2(QRegularExpression(pattern).match(fingerprint).hasMatch(), qPrintable(fingerprint));
    if (value && !value->isEmpty())
        QVERIFY(!fingerprint.contains(*value));
}

void TestLog::secretIsStableAndSalted()
{
    const QString value = QStringLiteral("s3cret password");
    const QString first = Log::secret(value);
    QCOMPARE(Log::secret(value), first);
    const auto salt = Preferences::standard().string(QStringLiteral("fx.logSalt"));
    QVERIFY(salt && !salt->isEmpty());
    // The salt persists in the store; a fresh reader of the file sees the same one.
    QCOMPARE(Preferences(Preferences::standard().filePath()).string(QStringLiteral("fx.logSalt")), salt);
    const QByteArray digest = QCryptographicHash::hash(salt->toUtf8() + value.toUtf8(), QCryptographicHash::Sha256);
    QCOMPARE(first, QStringLiteral("\u2039%1 chars #%2\u203a").arg(value.size()).arg(QString::fromLatin1(digest.left(2).toHex())));
    const QByteArray unsalted = QCryptographicHash::hash(value.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray otherSalt = QCryptographicHash::hash("another-installation" + value.toUtf8(),
                                                          QCryptographicHash::Sha256);
    QVERIFY(digest != unsalted && digest != otherSalt);
}

void TestLog::rotation_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("exactly 2,000,000 bytes") << qint64(2'000'000) << false;
    QTest::newRow("one byte more") << qint64(2'000'001) << true;
    QTest::newRow("far larger") << qint64(3'500'000) << true;
}

void TestLog::rotation()
{
    QFETCH(qint64, size);
    QFETCH(bool, rotated);
    QDir().mkpath(Log::folder());
    {
        QFile old(previousFile());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("oldest generation\n");
    }
    QByteArray filler(size, 'x');
    filler[size - 1] = '\n';
    {
        QFile f(Log::file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(filler), size);
    }
    Log::info(Log::Area::app, QStringLiteral("after the filler"));
    Log::tail(1);
    const QByteArray current = readAll(Log::file());
    if (rotated) {
        QCOMPARE(readAll(previousFile()), filler);
        QVERIFY(current.endsWith("[app] after the filler\n"));
        QCOMPARE(current.count('\n'), 1);  // the new line is the first of the new file
    } else {
        QCOMPARE(readAll(previousFile()), QByteArray("oldest generation\n"));
        QVERIFY(current.startsWith(filler));
        QVERIFY(current.endsWith("[app] after the filler\n"));
    }
}

void TestLog::linesFromManyThreadsStayWhole()
{
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                Log::info(Log::Area::library, QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + QString(40, 'y'));
        });
    for (auto &w : workers)
        w.join();
    const QStringList lines = Log::tail(threads * perThread + 10);
    QCOMPARE(lines.size(), threads * perThread);
    int next[threads] = {};
    const QRegularExpression body(QStringLiteral(R"(\[library\] thread (\d) line (\d+) y{40}$)"));
    for (const QString &line : lines) {
        QVERIFY2(kLine.match(line).hasMatch(), qPrintable(line));
        const auto m = body.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const int t = m.captured(1).toInt();
        QCOMPARE(m.captured(2).toInt(), next[t]);  // each thread's lines keep their order
        ++next[t];
    }
}

void TestLog::writerThreadIsNamed()
{
    Log::info(Log::Area::app, QStringLiteral("wake the writer"));
    Log::tail(1);
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        names << QString::fromUtf8(readAll(tasks.filePath(task + QStringLiteral("/comm")))).trimmed();
    QVERIFY2(names.contains(QStringLiteral("moxtrel.log")), qPrintable(names.join(QLatin1Char(','))));
}

void TestLog::systemMirror_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("priority");
    QTest::newRow("debug as info") << int(Log::Level::debug) << int(Log::Area::app) << LOG_INFO;
    QTest::newRow("info") << int(Log::Level::info) << int(Log::Area::player) << LOG_INFO;
    QTest::newRow("warning as the default type") << int(Log::Level::warning) << int(Log::Area::app) << LOG_NOTICE;
    QTest::newRow("error") << int(Log::Level::error) << int(Log::Area::network) << LOG_ERR;
}

// Each line goes to the system log too, scrubbed, on the caller's thread.
void TestLog::systemMirror()
{
    QFETCH(int, level);
    QFETCH(int, area);
    QFETCH(int, priority);
    g_mirrored.clear();
    Log::setSystemSink(&recordMirror);
    const QString message = QStringLiteral("mail me at a.person@example.com");
    switch (Log::Level(level)) {
    case Log::Level::debug: Log::debug(Log::Area(area), message); break;
    case Log::Level::info: Log::info(Log::Area(area), message); break;
    case Log::Level::warning: Log::warning(Log::Area(area), message); break;
    case Log::Level::error: Log::error(Log::Area(area), message); break;
    }
    Log::setSystemSink(nullptr);
    QCOMPARE(g_mirrored.size(), 1);
    QCOMPARE(g_mirrored.first().first, priority);
    QCOMPARE(g_mirrored.first().second, ("[" + Log::areaName(Log::Area(area)) + "] mail me at <email>").toUtf8());
    QCOMPARE(Log::tail(1).size(), 1);  // and the file still gets it
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
