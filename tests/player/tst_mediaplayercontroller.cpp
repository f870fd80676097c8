#include "core/Preferences.h"
#include "core/WindowsSettings.h"
#include "log/Log.h"
#include "media/MediaFile.h"
#include "player/MediaPlayer.h"
#include "player/MediaPlayerController.h"
#include "player/MediaPlayerModel.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerEngine.h"
#include "player/PlayerHistory.h"
#include "support/FakeStage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

struct Note
{
    QString key;
    double seconds;
    double duration;
};

class RecordingHistory : public PlayerHistory
{
public:
    QList<Note> notes;
    void note(const MediaEntry &entry, double seconds, double duration) override
    {
        notes.append({entry.key, seconds, duration});
    }
};

} // namespace

// The controller against a recording stage, with the real engine (audio to a
// fakesink), the real transcoder and the loopback stream server, on media made by
// ffmpeg in a temporary home.
class TestMediaPlayerController : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
    QString m_clips, m_pictures, m_long, m_undecodable, m_text;
    RecordingHistory m_history;
    bool m_conversion = true;
    QList<std::shared_ptr<FakeStage>> m_stages;

    MediaPlayerController::Services services()
    {
        MediaPlayerController::Services s = MediaPlayerController::Services::standard();
        s.makeEngine = [](std::shared_ptr<PlayerAudioEffects> effects) {
            auto engine = std::make_unique<PlayerEngine>(std::move(effects));
            engine->setAudioSinkFactory("fakesink");
            return engine;
        };
        s.conversionAvailable = [this] { return m_conversion; };
        s.history = &m_history;
        s.timing.hideControls = 200;
        s.timing.clearToast = 60000;  // toasts stay until the next one, so rows can read them
        s.timing.slideUnit = 50;       // player.slideSeconds 4 -> 0.2 s
        s.timing.resumePoll = 100;
        s.timing.resumeWait = 5000;
        return s;
    }

    // A registry whose windows are recording stages.
    std::unique_ptr<MediaPlayer> registry()
    {
        auto player = std::make_unique<MediaPlayer>(services());
        player->setWindowFactory([this](MediaPlayerController *controller) {
            auto stage = std::make_shared<FakeStage>();
            stage->onClose = [controller] { controller->windowWillClose(); };
            m_stages.append(stage);
            return stage.get();
        });
        return player;
    }

    std::unique_ptr<MediaPlayerController> controllerFor(const QList<QString> &paths, int index, FakeStage *stage)
    {
        QList<MediaEntry> entries;
        for (const QString &path : paths)
            entries.append(*MediaEntry::file(QUrl::fromLocalFile(path)));
        auto controller = std::make_unique<MediaPlayerController>(entries, index, services());
        controller->setStage(stage);
        return controller;
    }

    static QString clip(const QString &path, double seconds, const QString &size = QStringLiteral("160x120"))
    {
        return TestSupport::makeMedia(
            path, {"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=10:d=%2").arg(size).arg(seconds), "-f",
                   "lavfi", "-i", QStringLiteral("sine=sample_rate=8000:d=%1").arg(seconds), "-c:v", "libx264",
                   "-preset", "ultrafast", "-g", "10", "-c:a", "aac", "-b:a", "16k", "-shortest"});
    }

    // Starts the long clip where it was left, at 1:40, and waits until it is there.
    bool startAtHundred(MediaPlayerController &controller)
    {
        Preferences::media().set(QStringLiteral("fx.player.resume"), QJsonObject{{m_long, 100.0}});
        controller.start();
        if (!waitStarted(controller))
            return false;
        controller.frameStep(0);
        return QTest::qWaitFor([&] { return std::abs(controller.player()->position() - 100) < 1; }, 10000);
    }

    static bool waitStarted(MediaPlayerController &controller, int timeoutMs = 20000)
    {
        QSignalSpy started(&controller, &MediaPlayerController::itemStarted);
        if (started.wait(timeoutMs))
            return true;
        qWarning("not started: failed \"%s\", preparing \"%s\", engine status %d",
                 qPrintable(controller.model()->failedText()), qPrintable(controller.model()->preparingText()),
                 controller.player() ? int(controller.player()->status()) : -1);
        return false;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestSupport::TempHome>();
        const QString root = m_home->path();
        m_clips = root + QStringLiteral("/clips");
        m_pictures = root + QStringLiteral("/pictures");
        QDir().mkpath(m_clips);
        QDir().mkpath(m_pictures);
        for (const char *name : {"clip 1.mp4", "clip 2.mp4", "clip 10.mp4"})
            QVERIFY(!clip(m_clips + u'/' + QLatin1String(name), 1).isEmpty());
        QFile notes(m_clips + QStringLiteral("/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not media\n");
        notes.close();
        for (const char *name : {"a.png", "b.png", "c.png"})
            QVERIFY(!TestSupport::makeMedia(m_pictures + u'/' + QLatin1String(name),
                                            {"-f", "lavfi", "-i", "testsrc=size=320x240:d=1", "-frames:v", "1"})
                         .isEmpty());

        // Ten minutes at one frame a second: long enough for resume positions.
        QDir().mkpath(root + QStringLiteral("/long"));
        m_long = TestSupport::makeMedia(root + QStringLiteral("/long/film.mp4"),
                                        {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=1:d=600", "-c:v", "libx264",
                                         "-preset", "ultrafast", "-g", "1"});
        QVERIFY(!m_long.isEmpty());

        QDir().mkpath(root + QStringLiteral("/other"));

        // An MP4 whose video sample entry carries a type the player's demuxer does
        // not know, while ffmpeg still reads the H.264 inside.
        const QString plain = TestSupport::makeMedia(
            root + QStringLiteral("/plain.mp4"),
            {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:d=12", "-c:v", "libx264", "-preset", "ultrafast"});
        QVERIFY(!plain.isEmpty());
        QFile source(plain);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        const qsizetype entry = bytes.indexOf("avc1", bytes.indexOf("stsd"));
        QVERIFY(entry > 0);
        bytes.replace(entry, 4, "DAVC");
        m_undecodable = root + QStringLiteral("/other/undecodable.mp4");
        QFile damaged(m_undecodable);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(bytes);
        damaged.close();

        m_text = root + QStringLiteral("/other/letter.mp4");
        QFile text(m_text);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Dear reader, this is not a movie.\n");
    }

    void cleanupTestCase() { m_home.reset(); }

    void init()
    {
        m_conversion = true;
        m_history.notes.clear();
        for (const char *name : {"player.endAction", "player.resume", "player.slideSeconds"})
            WindowsSettings::shared().remove(QString::fromLatin1(name));
        Preferences::media().remove(QStringLiteral("fx.player.resume"));
    }

    void openListsSiblings()
    {
        auto player = registry();
        QSignalSpy changed(player.get(), &MediaPlayer::controllersChanged);
        player->open(QUrl::fromLocalFile(m_clips + QStringLiteral("/notes.txt")));
        QVERIFY(player->controllers().isEmpty());

        player->open(QUrl::fromLocalFile(m_clips + QStringLiteral("/clip 2.mp4")));
        QCOMPARE(player->controllers().size(), 1);
        QVERIFY(Log::tail(5).join(u'\n').contains(QLatin1String("Media player opened a video file")));
        MediaPlayerController *controller = player->controllers().first();
        QStringList names;
        for (const MediaEntry &entry : controller->model()->files())
            names << entry.name;
        QCOMPARE(names, (QStringList{"clip 1.mp4", "clip 2.mp4", "clip 10.mp4"}));
        QCOMPARE(controller->model()->index(), 1);
        QCOMPARE(controller->model()->position(), QStringLiteral("2 of 3"));
        QCOMPARE(m_stages.last()->title, QStringLiteral("clip 2.mp4"));
        QCOMPARE(m_stages.last()->subtitle, QStringLiteral("2 of 3"));
        QVERIFY(waitStarted(*controller));
        QVERIFY(m_stages.last()->calls.contains(QStringLiteral("show player")));

        m_stages.last()->closeWindow();
        QTRY_VERIFY(player->controllers().isEmpty());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(m_history.notes.size(), 1);
        QCOMPARE(m_history.notes.first().key, m_clips + QStringLiteral("/clip 2.mp4"));
    }

    void openOutsideListDoesNothing()
    {
        auto player = registry();
        const auto entry = MediaEntry::file(QUrl::fromLocalFile(m_clips + QStringLiteral("/clip 1.mp4")));
        player->open(QList<MediaEntry>{*entry}, 1);
        player->open(QList<MediaEntry>{*entry}, -1);
        QVERIFY(player->controllers().isEmpty());
    }

    void stepToasts_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("by");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("message");
        QTest::newRow("back from the first") << 0 << -1 << 0 << "First file in this folder";
        QTest::newRow("on from the last") << 2 << 1 << 2 << "Last file in this folder";
        QTest::newRow("two on") << 0 << 2 << 2 << "";
    }

    void stepToasts()
    {
        QFETCH(int, start);
        QFETCH(int, by);
        QFETCH(int, index);
        QFETCH(QString, message);
        FakeStage stage;
        auto controller = controllerFor({m_clips + "/clip 1.mp4", m_clips + "/clip 2.mp4", m_clips + "/clip 10.mp4"},
                                        start, &stage);
        controller->start();
        controller->step(by);
        QCOMPARE(controller->model()->index(), index);
        QCOMPARE(controller->model()->toastText(), message);
        QVERIFY(waitStarted(*controller));
    }

    void endActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");  // after the end
        QTest::addColumn<bool>("playing");
        QTest::newRow("next on the last stops") << "next" << 1 << 2 << 1 << false;
        QTest::newRow("next goes on") << "next" << 0 << 2 << 1 << true;
        QTest::newRow("unknown acts as next") << "shuffle" << 0 << 2 << 1 << true;
        QTest::newRow("stop") << "stop" << 0 << 2 << 0 << false;
        QTest::newRow("repeat") << "repeat" << 0 << 1 << 0 << true;
    }

    void endActions()
    {
        QFETCH(QString, action);
        QFETCH(int, start);
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(bool, playing);
        WindowsSettings::shared().set(QStringLiteral("player.endAction"), action);
        FakeStage stage;
        const QStringList all{m_clips + "/clip 1.mp4", m_clips + "/clip 2.mp4"};
        auto controller = controllerFor(all.mid(0, count), start, &stage);
        controller->setRate(2);  // repeat must start over at the chosen speed
        controller->start();
        QVERIFY(waitStarted(*controller));
        PlayerEngine *first = controller->player();
        QSignalSpy ended(first, &PlayerEngine::endOfStream);
        QVERIFY(ended.wait(15000));
        QCOMPARE(controller->model()->index(), index);
        if (index != start)
            QVERIFY(waitStarted(*controller));
        QCOMPARE(controller->model()->playing(), playing);
        if (!playing)
            QVERIFY(controller->model()->controlsVisible());
        if (action == QLatin1String("repeat")) {
            QCOMPARE(controller->player(), first);
            QCOMPARE(controller->player()->rate(), 2.0f);
            QTRY_VERIFY_WITH_TIMEOUT(controller->player()->position() < 0.9, 5000);
        }
    }

    void slideshowWrapsAround()
    {
        FakeStage stage;
        auto controller = controllerFor({m_pictures + "/a.png", m_pictures + "/b.png", m_pictures + "/c.png"}, 2,
                                        &stage);
        controller->start();
        QTRY_VERIFY(stage.calls.contains(QStringLiteral("show picture")));
        QCOMPARE(stage.image.size(), QSize(320, 240));
        QVERIFY(!stage.content.isEmpty());  // the window took the picture's shape
        QVERIFY(!controller->model()->playing());
        controller->togglePlay();  // on a picture: the slideshow
        QVERIFY(controller->model()->slideshow());
        QCOMPARE(controller->model()->toastText(), QStringLiteral("Slideshow on"));
        QTRY_COMPARE_WITH_TIMEOUT(controller->model()->index(), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(controller->model()->index(), 1, 5000);
        controller->toggleSlideshow();
        QCOMPARE(controller->model()->toastText(), QStringLiteral("Slideshow off"));
        const int at = controller->model()->index();
        QTest::qWait(600);
        QCOMPARE(controller->model()->index(), at);
        QVERIFY(m_history.notes.isEmpty());  // pictures are not history
    }

    void brokenPictureFails()
    {
        const QString path = m_home->path() + QStringLiteral("/pictures-broken/x.png");
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n broken");
        file.close();
        FakeStage stage;
        auto controller = controllerFor({path}, 0, &stage);
        controller->start();
        QTRY_COMPARE(controller->model()->failedText(), QStringLiteral("This picture couldn't be opened."));
        QVERIFY(stage.calls.contains(QStringLiteral("show no image")));
    }

    void resumeSaving_data()
    {
        QTest::addColumn<double>("leaveAt");
        QTest::addColumn<double>("stored");  // -1: none
        QTest::newRow("closed at 7 stores 7") << 7.0 << 7.0;
        QTest::newRow("closed at 9:50 stores nothing") << 590.0 << -1.0;
        QTest::newRow("closed at 3 stores nothing") << 3.0 << -1.0;
    }

    void resumeSaving()
    {
        QFETCH(double, leaveAt);
        QFETCH(double, stored);
        MediaPlayerSettings::saveResume(m_long, 100, 600);  // an older position
        WindowsSettings::shared().set(QStringLiteral("player.resume"), false);  // start at 0 this time
        FakeStage stage;
        auto controller = controllerFor({m_long}, 0, &stage);
        controller->start();
        QVERIFY(waitStarted(*controller));
        QTRY_COMPARE(controller->model()->duration(), 600.0);
        WindowsSettings::shared().set(QStringLiteral("player.resume"), true);
        controller->frameStep(0);  // pause, so the position stays where sought
        controller->seekTo(leaveAt);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(controller->player()->position() - leaveAt) < 0.6, 10000);
        controller->windowWillClose();
        const auto position = MediaPlayerSettings::resumePosition(m_long);
        QCOMPARE(position.has_value(), stored > 0);
        if (position)
            QVERIFY2(std::abs(*position - stored) < 0.6, qPrintable(QString::number(*position)));
        QCOMPARE(m_history.notes.size(), 1);
        QCOMPARE(m_history.notes.first().duration, 600.0);
    }

    void resumesWhereLeft_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("message");
        QTest::newRow("at 1:40") << 100.0 << "Resumed at 1:40";
        QTest::newRow("9:55 is too near the end") << 595.0 << "";
    }

    void resumesWhereLeft()
    {
        QFETCH(double, stored);
        QFETCH(QString, message);
        QJsonObject positions{{m_long, stored}};
        Preferences::media().set(QStringLiteral("fx.player.resume"), positions);
        FakeStage stage;
        auto controller = controllerFor({m_long}, 0, &stage);
        controller->start();
        QVERIFY(waitStarted(*controller));
        QCOMPARE(controller->model()->toastText(), message);
        const double expected = message.isEmpty() ? 0 : stored;
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(controller->model()->current() - expected) < 3, 10000);
    }

    void seekByToasts_data()
    {
        QTest::addColumn<double>("by");
        QTest::addColumn<QString>("message");
        QTest::addColumn<double>("target");
        QTest::newRow("forward") << 10.0 << "+10 s" << 110.0;
        QTest::newRow("back") << -10.0 << "\u221210 s" << 90.0;
        QTest::newRow("past the end") << 1000.0 << "+1000 s" << 599.9;
    }

    void seekByToasts()
    {
        QFETCH(double, by);
        QFETCH(QString, message);
        QFETCH(double, target);
        FakeStage stage;
        auto controller = controllerFor({m_long}, 0, &stage);
        QVERIFY(startAtHundred(*controller));
        controller->seekBy(by);
        QCOMPARE(controller->model()->toastText(), message);
        QCOMPARE(controller->model()->current(), target);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(controller->player()->position() - target) < 1.1, 10000);
    }

    // Many drags: one coarse seek at a time, only the newest position waits, and the
    // release ends on an exact seek to the last position.
    void scrubbing()
    {
        FakeStage stage;
        auto controller = controllerFor({m_long}, 0, &stage);
        controller->start();
        QVERIFY(waitStarted(*controller));
        controller->beginScrub();
        QVERIFY(controller->scrubbing());
        for (int i = 1; i <= 20; ++i)
            controller->scrub(i * 20);
        QVERIFY(controller->seekInFlight());
        QCOMPARE(controller->pendingSeek(), std::optional<double>(400));
        QCOMPARE(controller->model()->current(), 400.0);
        QTRY_VERIFY_WITH_TIMEOUT(!controller->seekInFlight() && !controller->pendingSeek(), 10000);
        controller->scrub(321);
        controller->endScrub();
        QVERIFY(!controller->scrubbing());
        QVERIFY(!controller->pendingSeek());
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(controller->player()->position() - 321) < 0.6, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(controller->model()->playing(), 5000);  // it was playing before
    }

    void scrollSeek_data()
    {
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::addColumn<bool>("precise");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<double>("target");
        // From 100 s in a 600 s item; a trackpad point is 0.5 s, a wheel notch -5 s.
        QTest::newRow("wheel down") << 0.0 << -2.0 << false << false << 110.0;
        QTest::newRow("wheel up") << 0.0 << 2.0 << false << false << 90.0;
        QTest::newRow("trackpad natural") << 20.0 << 3.0 << true << true << 110.0;
        QTest::newRow("trackpad classic") << 20.0 << 3.0 << true << false << 90.0;
        QTest::newRow("never past the end") << 0.0 << -500.0 << false << false << 598.0;
    }

    void scrollSeek()
    {
        QFETCH(double, dx);
        QFETCH(double, dy);
        QFETCH(bool, precise);
        QFETCH(bool, inverted);
        QFETCH(double, target);
        FakeStage stage;
        auto controller = controllerFor({m_long}, 0, &stage);
        QVERIFY(startAtHundred(*controller));
        controller->model()->setCurrent(100);
        controller->scrollSeek(dx, dy, precise, inverted);
        QCOMPARE(controller->model()->current(), target);
        QCOMPARE(controller->model()->toastText(), MediaPlayerController::clock(target) + QStringLiteral(" of 10:00"));
        QVERIFY(controller->scrubbing());
        QTRY_VERIFY_WITH_TIMEOUT(!controller->scrubbing(), 5000);  // ends 0.3 s after the last event
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(controller->player()->position() - target) < 0.6, 10000);
    }

    void mkvPlaysThroughTranscoder_data()
    {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("audio");
        QTest::addColumn<QString>("message");
        QTest::newRow("H.264 and AAC are rewrapped") << "libx264" << "aac" << "";
        QTest::newRow("VP8 and Vorbis are re-encoded") << "libvpx" << "libvorbis" << "Converting as it plays";
    }

    void mkvPlaysThroughTranscoder()
    {
        QFETCH(QString, video);
        QFETCH(QString, audio);
        QFETCH(QString, message);
        const QString path = m_home->path() + QStringLiteral("/mkv/%1.mkv").arg(video);
        QDir().mkpath(m_home->path() + QStringLiteral("/mkv"));
        QVERIFY(!TestSupport::makeMedia(path, {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:d=12", "-f", "lavfi",
                                               "-i", "sine=sample_rate=8000:d=12", "-c:v", video, "-c:a", audio,
                                               "-shortest"})
                     .isEmpty());
        FakeStage stage;
        auto controller = controllerFor({path}, 0, &stage);
        controller->start();
        QCOMPARE(controller->model()->preparingText(), QStringLiteral("Getting this MKV ready…"));
        QVERIFY(controller->transcoder());
        QVERIFY2(waitStarted(*controller, 60000), qPrintable(controller->model()->failedText() + u'|'
                                                             + (controller->player() ? controller->player()->errorString()
                                                                                     : QStringLiteral("no player"))));
        QVERIFY(controller->model()->preparingText().isEmpty());
        QCOMPARE(controller->model()->toastText(), message);
        const QUrl url = controller->player()->url();
        QCOMPARE(url.scheme(), QStringLiteral("http"));
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(controller->streamPlaylist());
        QVERIFY(controller->model()->effectsAvailable());  // the tap sees converted audio too
        QTRY_VERIFY_WITH_TIMEOUT(controller->model()->current() > 0.5, 15000);
        QVERIFY(std::abs(controller->model()->duration() - 12) < 0.5);
        QCOMPARE(controller->model()->failedText(), QString());
    }

    void undecodableMp4IsConverted()
    {
        FakeStage stage;
        auto controller = controllerFor({m_undecodable}, 0, &stage);
        controller->setVolume(1.5f, false);
        controller->start();
        QVERIFY(controller->player());
        QCOMPARE(controller->player()->url().scheme(), QStringLiteral("file"));  // tried directly first
        QVERIFY2(waitStarted(*controller, 60000), qPrintable(controller->model()->failedText() + u'|'
                                                             + (controller->player() ? controller->player()->errorString()
                                                                                     : QStringLiteral("no player"))));
        QCOMPARE(controller->player()->url().host(), QStringLiteral("127.0.0.1"));
        QVERIFY(controller->model()->failedText().isEmpty());
        QVERIFY(!controller->model()->effectsAvailable());  // no audio in it
        QCOMPARE(controller->model()->volume(), 1.0f);      // so no boost either
        QCOMPARE(controller->audio()->params().gain, 1.0f);
    }

    void textNamedMp4Fails_data()
    {
        QTest::addColumn<bool>("conversion");
        QTest::addColumn<bool>("canned");  // the "can't play" sentence rather than the converter's
        QTest::newRow("with the converter") << true << false;
        QTest::newRow("without the converter") << false << true;
    }

    void textNamedMp4Fails()
    {
        QFETCH(bool, conversion);
        QFETCH(bool, canned);
        m_conversion = conversion;
        FakeStage stage;
        auto controller = controllerFor({m_text}, 0, &stage);
        controller->start();
        QTRY_VERIFY_WITH_TIMEOUT(!controller->model()->failedText().isEmpty(), 30000);
        const QString failed = controller->model()->failedText();
        if (canned)
            QCOMPARE(failed, QStringLiteral("Zentrova Media can't play this file. (MP4 couldn't be read.)"));
        else
            QVERIFY2(!failed.contains(QLatin1String("can't play this file")), qPrintable(failed));
        QVERIFY(controller->model()->preparingText().isEmpty());
    }

    void trash_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("at");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("the only file closes") << 1 << 0 << true << "";
        QTest::newRow("the last of three shows the new last") << 3 << 2 << false << "t1.png";
        QTest::newRow("the first of three shows the next") << 3 << 0 << false << "t1.png";
    }

    void trash()
    {
        QFETCH(int, count);
        QFETCH(int, at);
        QFETCH(bool, closes);
        QFETCH(QString, shown);
        const QString folder = m_home->path() + QStringLiteral("/trash-") + QString::fromLatin1(QTest::currentDataTag());
        QDir().mkpath(folder);
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            const QString path = folder + QStringLiteral("/t%1.png").arg(i);
            QVERIFY(QFile::copy(m_pictures + QStringLiteral("/a.png"), path));
            paths << path;
        }
        FakeStage stage;
        auto controller = controllerFor(paths, at, &stage);
        stage.onClose = [&] { controller->windowWillClose(); };
        controller->start();
        controller->trashCurrent();
        QVERIFY(!QFile::exists(paths.at(at)));
        QVERIFY(QDir(m_home->path() + QStringLiteral("/.local/share/Trash/files")).exists(QFileInfo(paths.at(at)).fileName()));
        QCOMPARE(stage.closed, closes);
        if (!closes) {
            QCOMPARE(controller->model()->entryName(), shown);
            QCOMPARE(controller->model()->count(), count - 1);
            QCOMPARE(controller->model()->toastText(), QStringLiteral("Moved to the Trash"));
        }
    }

    void trashFailureReloads()
    {
        FakeStage stage;
        const QString gone = m_home->path() + QStringLiteral("/nowhere/missing.png");
        QList<MediaEntry> entries;
        MediaEntry entry;
        entry.url = QUrl::fromLocalFile(gone);
        entry.name = QStringLiteral("missing.png");
        entry.kind = PlayerMediaKind::image;
        entry.key = gone;
        auto controller = std::make_unique<MediaPlayerController>(QList<MediaEntry>{entry}, 0, services());
        controller->setStage(&stage);
        controller->start();
        controller->trashCurrent();
        QCOMPARE(controller->model()->toastText(), QStringLiteral("Couldn't move it to the Trash"));
        QCOMPARE(controller->model()->count(), 1);
        QVERIFY(!stage.closed);
    }

    void historyNotesTheItemLeft()
    {
        FakeStage stage;
        auto controller = controllerFor({m_clips + "/clip 1.mp4", m_clips + "/clip 2.mp4"}, 0, &stage);
        controller->start();
        QVERIFY(waitStarted(*controller));
        controller->step(1);
        QCOMPARE(m_history.notes.size(), 1);
        QCOMPARE(m_history.notes.first().key, m_clips + QStringLiteral("/clip 1.mp4"));
        QVERIFY(waitStarted(*controller));
    }

    void controlsHideWhilePlaying_data()
    {
        QTest::addColumn<bool>("overControls");
        QTest::addColumn<bool>("adjustOpen");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("idle pointer hides") << false << false << true;
        QTest::newRow("pointer over the bar") << true << false << false;
        QTest::newRow("panel open") << false << true << false;
    }

    void controlsHideWhilePlaying()
    {
        QFETCH(bool, overControls);
        QFETCH(bool, adjustOpen);
        QFETCH(bool, hidden);
        FakeStage stage;
        stage.overControls = overControls;
        auto controller = controllerFor({m_long}, 0, &stage);
        controller->model()->setShowAdjust(adjustOpen);
        controller->start();
        QVERIFY(waitStarted(*controller));
        controller->showControls();
        QVERIFY(controller->model()->controlsVisible());
        QTest::qWait(600);
        QCOMPARE(!controller->model()->controlsVisible(), hidden);
    }

    void songShowsItsCover_data()
    {
        QTest::addColumn<bool>("cover");
        QTest::newRow("embedded cover") << true;
        QTest::newRow("no cover") << false;
    }

    void songShowsItsCover()
    {
        QFETCH(bool, cover);
        const QString path = m_home->path() + (cover ? QStringLiteral("/songs/with.mp3") : QStringLiteral("/songs/without.mp3"));
        QDir().mkpath(m_home->path() + QStringLiteral("/songs"));
        QStringList args{"-f", "lavfi", "-i", "sine=d=3"};
        if (cover)
            args << QStringList{"-f", "lavfi", "-i", "testsrc=size=64x64:d=1", "-map", "0:a", "-map", "1:v",
                                "-frames:v", "1", "-c:v", "mjpeg", "-disposition:v", "attached_pic",
                                "-id3v2_version", "3"};
        args << QStringList{"-c:a", "libmp3lame"};
        QVERIFY(!TestSupport::makeMedia(path, args).isEmpty());
        FakeStage stage;
        auto controller = controllerFor({path}, 0, &stage);
        controller->start();
        QCOMPARE(controller->model()->kind(), PlayerMediaKind::audio);
        QVERIFY(waitStarted(*controller));
        QVERIFY(controller->model()->effectsAvailable());
        QVERIFY(!stage.calls.contains(QStringLiteral("show player")));  // a song shows a picture, not video
        QVERIFY(!stage.calls.contains(QStringLiteral("show no image")));
        QVERIFY(stage.imageIsArtwork);
        // The song's own picture, else the file type's icon or a note symbol.
        QTRY_VERIFY(!stage.image.isNull());
        if (cover)
            QTRY_COMPARE(stage.image.size(), QSize(64, 64));
        controller->windowWillClose();
        QVERIFY(!MediaPlayerSettings::resumePosition(path));  // songs keep no position
        QCOMPARE(m_history.notes.size(), 1);                  // but are history
    }

    void windowSizedToVideo()
    {
        FakeStage stage;
        auto controller = controllerFor({m_clips + "/clip 1.mp4"}, 0, &stage);
        controller->start();
        QVERIFY(waitStarted(*controller));
        // 160x120 in a 1920x1080 area: scaled up to fit 0.78 of the height less 28.
        const double scale = std::min((1080 * 0.78 - 28) / 120, 1920 * 0.72 / 160);
        QCOMPARE(stage.content, QSize(int(std::lround(std::max(160 * scale, 1056.0))), int(std::lround(120 * scale))));
    }
};

QTEST_MAIN(TestMediaPlayerController)
#include "tst_mediaplayercontroller.moc"
