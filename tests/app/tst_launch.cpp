#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Runs the built zentrova-media with HOME and the XDG folders in a temporary folder.
class TestLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void options_data();
    void options();
    void launchWritesScrubbedLog_data();
    void launchWritesScrubbedLog();

private:
    int start(const QStringList &args, QByteArray *out, QByteArray *err);
    QString m_program;
    QTemporaryDir m_home;
};

void TestLaunch::initTestCase()
{
    // The executable sits at the build root, the tests one folder below it.
    m_program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../zentrova-media"));
    QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Videos")));
    QVERIFY(!TestSupport::makeMedia(m_home.filePath(QStringLiteral("Videos/clip one.mp4")),
                                    {"-f", "lavfi", "-i", "testsrc=d=1:s=64x48", "-c:v", "mpeg4"})
                 .isEmpty());
}

int TestLaunch::start(const QStringList &args, QByteArray *out, QByteArray *err)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = m_home.path();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_STATE_HOME", home + "/.local/state");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", home);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home);
    process.start(m_program, args);
    if (!process.waitForFinished(60000))
        return -1;
    *out = process.readAllStandardOutput();
    *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TestLaunch::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutPattern");
    QTest::addColumn<QString>("stderrPattern");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "^Zentrova Media 1\\.0\\.0\\n$" << "^$";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "^Usage: zentrova-media \\[FILES…\\]\\n[\\s\\S]*--convert"
                            << "^$";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "^$"
                                    << "^Unknown option \"--frobnicate\"\\.\\nTry";
}

void TestLaunch::options()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutPattern);
    QFETCH(QString, stderrPattern);
    QByteArray out, err;
    QCOMPARE(start(args, &out, &err), exitCode);
    QVERIFY2(QRegularExpression(stdoutPattern).match(QString::fromUtf8(out)).hasMatch(), out.constData());
    QVERIFY2(QRegularExpression(stderrPattern).match(QString::fromUtf8(err)).hasMatch(), err.constData());
}

void TestLaunch::launchWritesScrubbedLog_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("lastLine");  // what the launch routes to, after the launch line
    QTest::newRow("plain launch") << QStringList{} << "Media library: not available in this build";
    QTest::newRow("a video, relative path") << QStringList{"Videos/clip one.mp4"}
                                            << "Player for ~/Videos/clip one.mp4: not available in this build";
    QTest::newRow("a missing file") << QStringList{"Videos/none.mkv"} << "Media library: not available in this build";
}

// A launch logs its line, routes, and ends by itself while no window exists.
void TestLaunch::launchWritesScrubbedLog()
{
    QFETCH(QStringList, args);
    QFETCH(QString, lastLine);
    const QString logs = m_home.filePath(QStringLiteral(".local/state/Moxtrel/logs"));
    QDir(logs).removeRecursively();

    QByteArray out, err;
    QCOMPARE(start(args, &out, &err), 0);

    QFile file(logs + QStringLiteral("/Zentrova Media.log"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(!text.contains(m_home.path()));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression launched(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} INFO  \[app\] Launched Zentrova Media 1\.0\.0 on \S.* \d+\.\d+\S*$)"));
    QVERIFY(!lines.isEmpty());
    QVERIFY2(launched.match(lines.first()).hasMatch(), qPrintable(lines.first()));
    QVERIFY2(lines.last().endsWith(QStringLiteral(" INFO  [app] ") + lastLine), qPrintable(lines.last()));
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
