#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

// Run as "--instance SOCKET KIND [FILES…]" this program is one launch: it prints
// "primary" and then each request it receives (quitting on a file named "quit"),
// or "handed over" when another instance took its request.
static int runInstance(const QStringList &args)
{
    using Kind = SingleInstance::Request::Kind;
    SingleInstance::Request request;
    request.kind = args.value(1) == QLatin1String("open")      ? Kind::open
                 : args.value(1) == QLatin1String("convert") ? Kind::convert
                                                             : Kind::reopen;
    for (const QString &file : args.mid(2))
        request.files << QUrl::fromLocalFile(file);
    SingleInstance instance(args.value(0));
    switch (instance.start(request)) {
    case SingleInstance::Role::handedOver: std::puts("handed over"); return 0;
    case SingleInstance::Role::alone: std::puts("alone"); return 3;
    case SingleInstance::Role::failed: std::puts("failed"); return 4;
    case SingleInstance::Role::primary: break;
    }
    std::puts("primary");
    std::fflush(stdout);
    QObject::connect(&instance, &SingleInstance::received, [](const SingleInstance::Request &r) {
        QStringList names;
        for (const QUrl &url : r.files)
            names << url.fileName();
        std::printf("received %d %s\n", int(r.kind), qPrintable(names.join(QLatin1Char(','))));
        std::fflush(stdout);
        if (names.contains(QStringLiteral("quit")))
            QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void defaultSocketPath();
    void fallbackFolderMustBePrivate_data();
    void fallbackFolderMustBePrivate();
    void handover_data();
    void handover();
    void twoAtOnceLeaveOneRunning();
    void staleLockAndSocketAreTakenOver();
    void garbageIsRefusedAndServerLivesOn();

private:
    QString socket() const { return m_dir->filePath(QStringLiteral("test.socket")); }
    QProcess *launch(const QStringList &args);
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QProcess *> m_processes;
};

void TestSingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestSingleInstance::cleanup()
{
    for (QProcess *p : std::as_const(m_processes)) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
        delete p;
    }
    m_processes.clear();
}

QProcess *TestSingleInstance::launch(const QStringList &args)
{
    auto *process = new QProcess;
    m_processes << process;
    process->start(QCoreApplication::applicationFilePath(), QStringList{"--instance", socket()} + args);
    return process;
}

void TestSingleInstance::defaultSocketPath()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", m_dir->path().toUtf8());
    const QString path = SingleInstance::defaultSocketPath();
    qputenv("XDG_RUNTIME_DIR", saved);
    QCOMPARE(path, m_dir->filePath(QStringLiteral("com.zentrova.media.socket")));
}

void TestSingleInstance::fallbackFolderMustBePrivate_data()
{
    QTest::addColumn<int>("permissions");  // of a folder already there; 0: none there
    QTest::addColumn<bool>("ours");
    QTest::addColumn<bool>("usable");
    QTest::newRow("made fresh") << 0 << true << true;
    QTest::newRow("ours, private") << 0700 << true << true;
    QTest::newRow("ours, open to all: closed again") << 0777 << true << true;
    QTest::newRow("another user's") << 0777 << false << false;
}

// Without $XDG_RUNTIME_DIR the socket goes into a folder of ours under $TMPDIR.
void TestSingleInstance::fallbackFolderMustBePrivate()
{
    QFETCH(int, permissions);
    QFETCH(bool, ours);
    QFETCH(bool, usable);
    if (!ours && geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", m_dir->path().toUtf8());
    const QString folder = m_dir->filePath(QStringLiteral("zentrova-media-%1").arg(getuid()));
    if (permissions) {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(permissions)) == 0);
        if (!ours)
            QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
    }
    const QString path = SingleInstance::defaultSocketPath();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTmp);
    if (savedTmp.isEmpty())
        qunsetenv("TMPDIR");
    QCOMPARE(path, usable ? folder + QStringLiteral("/com.zentrova.media.socket") : QString());
    if (usable)
        QCOMPARE(QFileInfo(folder).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
    else
        QCOMPARE(SingleInstance(path).start({}), SingleInstance::Role::alone);
}

void TestSingleInstance::handover_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("expectedKind");
    using Kind = SingleInstance::Request::Kind;
    QTest::newRow("files open") << "open" << QStringList{"/m/a.mkv", "/m/b c.mp3"} << int(Kind::open);
    QTest::newRow("convert") << "convert" << QStringList{"/m/x.docx"} << int(Kind::convert);
    QTest::newRow("nothing is a reopen") << "reopen" << QStringList{} << int(Kind::reopen);
}

// This process is the running instance; a second launch hands over and exits.
void TestSingleInstance::handover()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, files);
    QFETCH(int, expectedKind);

    SingleInstance primary(socket());
    QCOMPARE(primary.start({}), SingleInstance::Role::primary);
    QSignalSpy spy(&primary, &SingleInstance::received);
    QProcess *second = launch(QStringList{kind} + files);
    QVERIFY(spy.wait(30000));
    QVERIFY(second->waitForFinished(30000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput(), QByteArray("handed over\n"));

    const auto request = spy.at(0).at(0).value<SingleInstance::Request>();
    QCOMPARE(int(request.kind), expectedKind);
    QList<QUrl> urls;
    for (const QString &f : files)
        urls << QUrl::fromLocalFile(f);
    QCOMPARE(request.files, urls);
}

void TestSingleInstance::twoAtOnceLeaveOneRunning()
{
    QProcess *a = launch({"open", "/m/from-a.mp4"});
    QProcess *b = launch({"open", "/m/from-b.mp4"});
    // The one that hands over ends by itself; then a third launch stops the primary.
    QVERIFY(a->waitForStarted() && b->waitForStarted());
    QProcess *ended = nullptr;
    QProcess *running = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning, 30000);
    ended = a->state() == QProcess::NotRunning ? a : b;
    running = ended == a ? b : a;
    QCOMPARE(ended->exitCode(), 0);
    QCOMPARE(ended->readAllStandardOutput(), QByteArray("handed over\n"));
    QCOMPARE(running->state(), QProcess::Running);

    QProcess *third = launch({"open", "/m/quit"});
    QVERIFY(third->waitForFinished(30000));
    QCOMPARE(third->readAllStandardOutput(), QByteArray("handed over\n"));
    QVERIFY(running->waitForFinished(30000));
    const QString other = ended == a ? QStringLiteral("from-a.mp4") : QStringLiteral("from-b.mp4");
    QCOMPARE(QString::fromUtf8(running->readAllStandardOutput()),
             QStringLiteral("primary\nreceived 0 %1\nreceived 0 quit\n").arg(other));
}

void TestSingleInstance::staleLockAndSocketAreTakenOver()
{
    // A process that has ended leaves its lock and a socket file behind.
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    {
        QFile lock(socket() + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\ntst_singleinstance\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        QFile leftover(socket());
        QVERIFY(leftover.open(QIODevice::WriteOnly));
    }
    SingleInstance instance(socket());
    QCOMPARE(instance.start({}, 5000), SingleInstance::Role::primary);
}

void TestSingleInstance::garbageIsRefusedAndServerLivesOn()
{
    SingleInstance primary(socket());
    QCOMPARE(primary.start({}), SingleInstance::Role::primary);
    QSignalSpy received(&primary, &SingleInstance::received);

    QLocalSocket client;
    client.connectToServer(socket());
    QVERIFY(client.waitForConnected(5000));
    client.write("rm -rf /\n");
    QSignalSpy answered(&client, &QLocalSocket::readyRead);
    QVERIFY(answered.wait(30000));
    QCOMPARE(client.readAll(), QByteArray("error\n"));
    QCOMPARE(received.count(), 0);

    QProcess *next = launch({"reopen"});
    QVERIFY(received.wait(30000));
    QVERIFY(next->waitForFinished(30000));
    QCOMPARE(next->exitCode(), 0);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("--instance"))
        return runInstance(app.arguments().mid(2));
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
