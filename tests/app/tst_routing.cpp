#include "app/AppRoutes.h"
#include "app/MediaAppDelegate.h"
#include "log/Log.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records every call the delegate makes into the later subsystems.
class RecordingRoutes : public AppRoutes
{
public:
    void startUpdates() override { calls << QStringLiteral("updates"); }
    void reconnectShares() override { calls << QStringLiteral("shares"); }
    void prunePlayback() override { calls << QStringLiteral("prune"); }
    void showLibrary() override { calls << QStringLiteral("library"); }
    void openPlayer(const QUrl &url) override { calls << QStringLiteral("player:") + url.fileName(); }
    void convertFiles(const QList<QUrl> &urls) override { calls << QStringLiteral("convert:%1").arg(urls.size()); }
    bool hasVisibleWindows() const override { return visible; }
    bool keepsRunning() const override { return visible; }

    QStringList calls;
    bool visible = false;
};

const QStringList kStart{"updates", "shares", "prune"};

} // namespace

class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void launch_data();
    void launch();
    void launchLineIsLogged();
    void openAfterLaunch_data();
    void openAfterLaunch();
    void openedFilesNotifiesOnce();
    void reopen_data();
    void reopen();
    void convertIsHandedOn();

private:
    QList<QUrl> urls(const QStringList &names) const;
    TestSupport::TempHome m_home;
    QTemporaryDir m_media;
};

void TestRouting::initTestCase()
{
    using TestSupport::makeMedia;
    QVERIFY(!makeMedia(m_media.filePath("clip.mp4"), {"-f", "lavfi", "-i", "testsrc=d=1:s=64x48", "-c:v", "mpeg4"})
                 .isEmpty());
    QVERIFY(!makeMedia(m_media.filePath("song.mp3"), {"-f", "lavfi", "-i", "sine=d=1"}).isEmpty());
    QVERIFY(!makeMedia(m_media.filePath("pic.png"), {"-f", "lavfi", "-i", "testsrc=s=64x48", "-frames:v", "1"})
                 .isEmpty());
    QFile notes(m_media.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("plain words\n");
    notes.close();
    QVERIFY(QDir(m_media.path()).mkdir("folder.mkv"));
}

QList<QUrl> TestRouting::urls(const QStringList &names) const
{
    QList<QUrl> out;
    for (const QString &name : names)
        out << (name.contains(QLatin1String("://")) ? QUrl(name) : QUrl::fromLocalFile(m_media.filePath(name)));
    return out;
}

void TestRouting::launch_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("plain launch shows the library") << QStringList{} << kStart + QStringList{"library"};
    QTest::newRow("one video opens one player, no library")
        << QStringList{"clip.mp4"} << kStart + QStringList{"player:clip.mp4"};
    QTest::newRow("three files open three players")
        << QStringList{"clip.mp4", "song.mp3", "pic.png"}
        << kStart + QStringList{"player:clip.mp4", "player:song.mp3", "player:pic.png"};
    QTest::newRow("a text file is ignored") << QStringList{"notes.txt"} << kStart + QStringList{"library"};
    QTest::newRow("a missing file is ignored") << QStringList{"gone.mp4"} << kStart + QStringList{"library"};
    QTest::newRow("a web address is ignored")
        << QStringList{"https://example.org/a.mp4"} << kStart + QStringList{"library"};
    QTest::newRow("a folder with a media name is ignored") << QStringList{"folder.mkv"}
                                                           << kStart + QStringList{"library"};
    QTest::newRow("only the media of a mix")
        << QStringList{"notes.txt", "clip.mp4", "gone.mkv"} << kStart + QStringList{"player:clip.mp4"};
}

// The files of a launch arrive before the launch's posted step, as on a cold start.
void TestRouting::launch()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    RecordingRoutes routes;
    MediaAppDelegate delegate(routes);
    QSignalSpy finished(&delegate, &MediaAppDelegate::launchFinished);
    delegate.applicationDidFinishLaunching();
    delegate.openFiles(urls(files));
    QVERIFY(finished.wait());
    QCOMPARE(routes.calls, expected);
    QCOMPARE(delegate.openedFiles(), expected.last().startsWith(QLatin1String("player:")));
}

void TestRouting::launchLineIsLogged()
{
    QString pretty;
    QFile release(QStringLiteral("/etc/os-release"));
    QVERIFY(release.open(QIODevice::ReadOnly));
    for (const QByteArray &line : release.readAll().split('\n'))
        if (line.startsWith("PRETTY_NAME="))
            pretty = QString::fromUtf8(line.mid(12)).remove(QLatin1Char('"'));
    QVERIFY(!pretty.isEmpty());
    const QString expected = QStringLiteral("Launched Zentrova Media 1.0.0 on ") + pretty + QLatin1Char(' ')
        + QSysInfo::kernelVersion();
    QCOMPARE(MediaAppDelegate::launchLine(), expected);

    RecordingRoutes routes;
    MediaAppDelegate delegate(routes);
    delegate.applicationDidFinishLaunching();
    const QStringList lines = Log::tail(1);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QStringLiteral(" INFO  [app] ") + Log::scrub(expected)), qPrintable(lines.first()));
}

void TestRouting::openAfterLaunch_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("media") << QStringList{"song.mp3"} << QStringList{"player:song.mp3"};
    QTest::newRow("text opens nothing, not even the library") << QStringList{"notes.txt"} << QStringList{};
}

void TestRouting::openAfterLaunch()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    RecordingRoutes routes;
    MediaAppDelegate delegate(routes);
    delegate.openFiles(urls(files));
    QCOMPARE(routes.calls, expected);
}

void TestRouting::openedFilesNotifiesOnce()
{
    RecordingRoutes routes;
    MediaAppDelegate delegate(routes);
    QSignalSpy spy(&delegate, &MediaAppDelegate::openedFilesChanged);
    delegate.openFiles(urls({"notes.txt"}));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!delegate.openedFiles());
    delegate.openFiles(urls({"clip.mp4", "song.mp3"}));
    delegate.openFiles(urls({"pic.png"}));
    QCOMPARE(spy.count(), 1);
    QVERIFY(delegate.openedFiles());
}

void TestRouting::reopen_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a window is open: nothing") << true << QStringList{};
    QTest::newRow("no window: the library") << false << QStringList{"library"};
}

void TestRouting::reopen()
{
    QFETCH(bool, visible);
    QFETCH(QStringList, expected);
    RecordingRoutes routes;
    routes.visible = visible;
    MediaAppDelegate delegate(routes);
    QVERIFY(delegate.reopen());
    QCOMPARE(routes.calls, expected);
}

void TestRouting::convertIsHandedOn()
{
    RecordingRoutes routes;
    MediaAppDelegate delegate(routes);
    delegate.convertFiles(urls({"clip.mp4", "notes.txt"}));
    QCOMPARE(routes.calls, QStringList{"convert:2"});
}

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
