#include "core/Preferences.h"
#include "player/MediaPlayerController.h"
#include "player/MediaPlayerModel.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerAudioEffects.h"
#include "support/FakeStage.h"
#include "support/TestSupport.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <limits>
#include <memory>

// The commands that need no playing item: their arithmetic, model, stored
// preferences, audio parameters and toasts. Seeking on a real player is in
// tst_mediaplayercontroller.
class TestPlayerCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
    std::unique_ptr<FakeStage> m_stage;
    std::unique_ptr<MediaPlayerController> m_controller;

    MediaPlayerModel *model() { return m_controller->model(); }
    QString toast() { return model()->toastText(); }
    static MediaEntry entry(const QString &path)
    {
        MediaEntry e;
        e.url = QUrl::fromLocalFile(path);
        e.name = e.url.fileName();
        e.kind = PlayerMediaKind::video;
        e.key = path;
        return e;
    }

private slots:
    void initTestCase() { m_home = std::make_unique<TestSupport::TempHome>(); }
    void cleanupTestCase() { m_home.reset(); }

    // A controller on an item that is never loaded: no player, as after a failure.
    void init()
    {
        for (const char *key : {"fx.player.eqOn", "fx.player.eqBands", "fx.player.eqPreset", "fx.player.keepPitch",
                                "fx.player.rotation"})
            Preferences::media().remove(QString::fromLatin1(key));
        m_stage = std::make_unique<FakeStage>();
        m_controller = std::make_unique<MediaPlayerController>(
            QList<MediaEntry>{entry(QStringLiteral("/videos/a.mp4"))}, 0, MediaPlayerController::Services::standard());
        m_controller->setStage(m_stage.get());
    }

    void cleanup()
    {
        m_controller.reset();
        m_stage.reset();
    }

    void clock_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00";
        QTest::newRow("rounds down") << 59.99 << "0:59";
        QTest::newRow("minutes") << 245.0 << "4:05";
        QTest::newRow("just under an hour") << 3599.9 << "59:59";
        QTest::newRow("an hour") << 3600.0 << "1:00:00";
        QTest::newRow("hours") << 3723.5 << "1:02:03";
        QTest::newRow("not finite") << std::numeric_limits<double>::quiet_NaN() << "0:00";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "0:00";
    }

    void clock()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(MediaPlayerController::clock(seconds), text);
    }

    void reachable_data()
    {
        const double all = std::numeric_limits<double>::infinity();
        QTest::addColumn<double>("request");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("available");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("limited");
        QTest::newRow("inside") << 30.0 << 600.0 << all << 30.0 << false;
        QTest::newRow("before the start") << -5.0 << 600.0 << all << 0.0 << false;
        QTest::newRow("past the end") << 700.0 << 600.0 << all << 599.9 << false;
        QTest::newRow("duration unknown") << 700.0 << 0.0 << all << 700.0 << false;
        QTest::newRow("30:00 with 12:00 converted") << 1800.0 << 3600.0 << 720.0 << 718.0 << true;
        QTest::newRow("just inside the converted part") << 717.0 << 3600.0 << 720.0 << 717.0 << false;
        QTest::newRow("nothing converted yet") << 10.0 << 3600.0 << 1.0 << 0.0 << true;
    }

    void reachable()
    {
        QFETCH(double, request);
        QFETCH(double, duration);
        QFETCH(double, available);
        QFETCH(double, expected);
        QFETCH(bool, limited);
        bool wasLimited = !limited;
        QCOMPARE(MediaPlayerController::reachable(request, duration, available, &wasLimited), expected);
        QCOMPARE(wasLimited, limited);
    }

    void seeksNeedAPlayer()
    {
        model()->setCurrent(12);
        m_controller->seekTo(40);
        m_controller->seekBy(10);
        m_controller->scrub(50);
        QCOMPARE(model()->current(), 50.0);  // the bar follows the finger even so
        QVERIFY(!m_controller->seekInFlight());
        QVERIFY(!m_controller->pendingSeek());
        m_controller->endScrub();
        QVERIFY(!m_controller->scrubbing());
        QVERIFY(toast().isEmpty());
    }

    void setRate_data()
    {
        QTest::addColumn<float>("request");
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("message");
        QTest::newRow("5 gives 4") << 5.f << 4.f << "4×";
        QTest::newRow("normal") << 1.f << 1.f << "Normal speed";
        QTest::newRow("1.5") << 1.5f << 1.5f << "1.5×";
        QTest::newRow("half") << 0.5f << 0.5f << "0.5× slow motion";
        QTest::newRow("too slow") << 0.01f << 0.1f << "0.1× slow motion";
        QTest::newRow("hundredths") << 1.234f << 1.23f << "1.23×";
        QTest::newRow("rounds to normal") << 1.004f << 1.f << "Normal speed";
    }

    void setRate()
    {
        QFETCH(float, request);
        QFETCH(float, rate);
        QFETCH(QString, message);
        m_controller->setRate(request);
        QCOMPARE(model()->rate(), rate);
        QCOMPARE(toast(), message);
    }

    void stepRate_data()
    {
        QTest::addColumn<float>("from");
        QTest::addColumn<bool>("faster");
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("message");
        QTest::newRow("1 faster") << 1.f << true << 1.25f << "1.25×";
        QTest::newRow("1 slower") << 1.f << false << 0.75f << "0.75× slow motion";
        QTest::newRow("between steps faster") << 1.1f << true << 1.25f << "1.25×";
        QTest::newRow("between steps slower") << 1.1f << false << 1.f << "Normal speed";
        QTest::newRow("at 4") << 4.f << true << 4.f << "Fastest speed";
        QTest::newRow("at 0.1") << 0.1f << false << 0.1f << "Slowest speed";
        QTest::newRow("3 faster") << 3.f << true << 4.f << "4×";
    }

    void stepRate()
    {
        QFETCH(float, from);
        QFETCH(bool, faster);
        QFETCH(float, rate);
        QFETCH(QString, message);
        m_controller->setRate(from);
        m_controller->stepRate(faster);
        QCOMPARE(model()->rate(), rate);
        QCOMPARE(toast(), message);
    }

    void setVolume_data()
    {
        QTest::addColumn<bool>("effects");
        QTest::addColumn<float>("request");
        QTest::addColumn<bool>("announce");
        QTest::addColumn<float>("volume");
        QTest::addColumn<float>("gain");
        QTest::addColumn<QString>("message");
        const QString noBoost = QStringLiteral("Boost above 100 % isn't available for this stream");
        QTest::newRow("boost") << true << 1.5f << true << 1.5f << 1.5f << "Volume 150 % (boost)";
        QTest::newRow("boost capped at 200") << true << 2.5f << true << 2.f << 2.f << "Volume 200 % (boost)";
        QTest::newRow("below 0") << true << -0.3f << true << 0.f << 1.f << "Volume 0 %";
        QTest::newRow("hundredths") << true << 0.456f << true << 0.46f << 1.f << "Volume 46 %";
        QTest::newRow("just over 1 is no boost") << true << 1.001f << true << 1.f << 1.f << "Volume 100 %";
        QTest::newRow("silent slider") << true << 0.3f << false << 0.3f << 1.f << "";
        QTest::newRow("no effects refuses") << false << 1.5f << true << 0.8f << 1.f << noBoost;
        QTest::newRow("no effects slider caps") << false << 1.5f << false << 1.f << 1.f << "";
        QTest::newRow("no effects below 1") << false << 0.5f << true << 0.5f << 1.f << "Volume 50 %";
    }

    void setVolume()
    {
        QFETCH(bool, effects);
        QFETCH(float, request);
        QFETCH(bool, announce);
        QFETCH(float, volume);
        QFETCH(float, gain);
        QFETCH(QString, message);
        m_controller->setVolume(0.8f, false);
        model()->setEffectsAvailable(effects);
        m_controller->toggleMute();
        QVERIFY(model()->muted());
        m_controller->model()->setToast(std::nullopt);
        m_controller->setVolume(request, announce);
        QCOMPARE(model()->volume(), volume);
        QCOMPARE(m_controller->audio()->params().gain, gain);
        QCOMPARE(toast(), message);
        // A refused boost changes nothing, not even the mute.
        QCOMPARE(model()->muted(), message == QLatin1String("Boost above 100 % isn't available for this stream"));
    }

    void muteToasts()
    {
        m_controller->setVolume(1.2f, false);
        m_controller->toggleMute();
        QCOMPARE(toast(), QStringLiteral("Muted"));
        m_controller->toggleMute();
        QCOMPARE(toast(), QStringLiteral("Volume 120 % (boost)"));
        QVERIFY(!model()->muted());
    }

    void volumeNotifiesOnlyOnChange()
    {
        QSignalSpy spy(model(), &MediaPlayerModel::volumeChanged);
        m_controller->setVolume(0.5f, false);
        m_controller->setVolume(0.501f, false);  // rounds to the same hundredth
        QCOMPARE(spy.count(), 1);
    }

    void eqBand_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("request");
        QTest::addColumn<float>("stored");
        QTest::newRow("7.3 stores 7.5") << 3 << 7.3f << 7.5f;
        QTest::newRow("7.2 stores 7") << 3 << 7.2f << 7.f;
        QTest::newRow("quarter rounds away") << 0 << 0.25f << 0.5f;
        QTest::newRow("above 12") << 9 << 12.4f << 12.f;
        QTest::newRow("below -12") << 5 << -13.f << -12.f;
        QTest::newRow("negative half") << 2 << -2.6f << -2.5f;
    }

    void eqBand()
    {
        QFETCH(int, band);
        QFETCH(float, request);
        QFETCH(float, stored);
        QVERIFY(!model()->eqOn());
        m_controller->setEQBand(band, request);
        QCOMPARE(model()->eqBands().at(band), stored);
        QVERIFY(model()->eqOn());
        QCOMPARE(MediaPlayerSettings::eqOn(), true);
        QCOMPARE(MediaPlayerSettings::eqBands()[band], stored);
        QCOMPARE(MediaPlayerSettings::eqPreset(), QStringLiteral("Custom"));
        QCOMPARE(m_controller->audio()->params().bands[band], stored);
    }

    void eqBandOutsideIgnored_data()
    {
        QTest::addColumn<int>("band");
        QTest::newRow("-1") << -1;
        QTest::newRow("10") << 10;
    }

    void eqBandOutsideIgnored()
    {
        QFETCH(int, band);
        QSignalSpy spy(model(), &MediaPlayerModel::eqBandsChanged);
        m_controller->setEQBand(band, 3);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!model()->eqOn());
    }

    void presetMatching_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("gain");
        QTest::addColumn<QString>("shown");
        QTest::newRow("back to Rock") << "Rock" << 9 << 4.f << "Rock";
        QTest::newRow("off Rock") << "Rock" << 9 << 3.5f << "Custom";
        QTest::newRow("back to Flat") << "Flat" << 4 << 0.f << "Flat";
        QTest::newRow("Voice restored") << "Voice / Dialogue" << 0 << -4.f << "Voice / Dialogue";
    }

    // Starting one step away from a preset, moving the band to the preset's gain
    // shows the preset's name; anything else shows "Custom".
    void presetMatching()
    {
        QFETCH(QString, preset);
        QFETCH(int, band);
        QFETCH(float, gain);
        QFETCH(QString, shown);
        m_controller->applyPreset(preset);
        m_controller->setEQBand(band, PlayerAudioEffects::preset(preset)->bands[band] + 1);
        QCOMPARE(model()->eqPreset(), QStringLiteral("Custom"));
        m_controller->setEQBand(band, gain);
        QCOMPARE(model()->eqPreset(), shown);
        QCOMPARE(MediaPlayerSettings::eqPreset(), shown);
    }

    void applyPreset_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<bool>("eqOnBefore");
        QTest::addColumn<bool>("eqOnAfter");
        QTest::newRow("Rock switches on") << "Rock" << false << true;
        QTest::newRow("Flat leaves off") << "Flat" << false << false;
        QTest::newRow("Flat leaves on") << "Flat" << true << true;
        QTest::newRow("Pop") << "Pop" << false << true;
    }

    void applyPreset()
    {
        QFETCH(QString, preset);
        QFETCH(bool, eqOnBefore);
        QFETCH(bool, eqOnAfter);
        m_controller->setEQ(eqOnBefore);
        m_controller->applyPreset(preset);
        const auto bands = PlayerAudioEffects::preset(preset)->bands;
        QCOMPARE(model()->eqBands(), QList<float>(bands.cbegin(), bands.cend()));
        QCOMPARE(model()->eqPreset(), preset);
        QCOMPARE(model()->eqOn(), eqOnAfter);
        QCOMPARE(MediaPlayerSettings::eqOn(), eqOnAfter);
        QCOMPARE(MediaPlayerSettings::eqBands(), bands);
        QCOMPARE(toast(), QStringLiteral("Equalizer: ") + preset);
        const auto applied = m_controller->audio()->params().bands;
        QCOMPARE(applied, eqOnAfter ? bands : PlayerAudioEffects::Bands{});
    }

    void unknownPresetIgnored()
    {
        m_controller->applyPreset(QStringLiteral("Disco"));
        QCOMPARE(model()->eqPreset(), QStringLiteral("Flat"));
        QVERIFY(toast().isEmpty());
    }

    void eqSwitch_data()
    {
        QTest::addColumn<bool>("effects");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("message");
        QTest::newRow("on") << true << true << "";
        QTest::newRow("on without effects") << false << true << "The equalizer isn't available for this stream";
        QTest::newRow("off without effects") << false << false << "";
    }

    void eqSwitch()
    {
        QFETCH(bool, effects);
        QFETCH(bool, on);
        QFETCH(QString, message);
        model()->setEffectsAvailable(effects);
        m_controller->applyPreset(QStringLiteral("Rock"));
        m_controller->setEQ(!on);
        m_controller->model()->setToast(std::nullopt);
        m_controller->setEQ(on);
        QCOMPARE(model()->eqOn(), on);
        QCOMPARE(MediaPlayerSettings::eqOn(), on);
        QCOMPARE(m_controller->audio()->params().bands[0], on ? 4.f : 0.f);
        QCOMPARE(toast(), message);
    }

    void keepPitch()
    {
        m_controller->setKeepPitch(false);
        QVERIFY(!model()->keepPitch());
        QCOMPARE(MediaPlayerSettings::keepPitch(), false);
        m_controller->setKeepPitch(true);
        QCOMPARE(MediaPlayerSettings::keepPitch(), true);
    }

    void rotation_data()
    {
        QTest::addColumn<QList<int>>("turns");  // rotate(by:) calls
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QString>("message");
        QTest::newRow("left from 0") << QList<int>{-90} << 270 << "Rotated 270°";
        QTest::newRow("right") << QList<int>{90} << 90 << "Rotated 90°";
        QTest::newRow("right four times") << QList<int>{90, 90, 90, 90} << 0 << "Original orientation";
        QTest::newRow("half turn twice") << QList<int>{180, 180} << 0 << "Original orientation";
        QTest::newRow("far negative") << QList<int>{-450} << 270 << "Rotated 270°";
    }

    void rotation()
    {
        QFETCH(QList<int>, turns);
        QFETCH(int, rotation);
        QFETCH(QString, message);
        for (int by : turns)
            m_controller->rotate(by);
        QCOMPARE(model()->rotation(), rotation);
        QCOMPARE(toast(), message);
        QCOMPARE(m_stage->calls.last(), QStringLiteral("setRotation %1 animated").arg(rotation));
        QCOMPARE(MediaPlayerSettings::rotation(QStringLiteral("/videos/a.mp4")), rotation);
        const auto stored = Preferences::media().object(QStringLiteral("fx.player.rotation")).value_or(QJsonObject());
        QCOMPARE(stored.contains(QStringLiteral("/videos/a.mp4")), rotation != 0);
    }

    void zoomAndFullScreen()
    {
        m_controller->zoom(1.25);
        m_controller->resetZoom();
        m_controller->toggleFullScreen();
        QCOMPARE(m_stage->calls.mid(m_stage->calls.size() - 3),
                 (QStringList{"zoomBy 1.25", "resetZoom animated", "fullScreen on"}));
        QSignalSpy spy(model(), &MediaPlayerModel::zoomChanged);
        m_controller->zoomChanged(2);
        m_controller->zoomChanged(2);
        QCOMPARE(model()->zoom(), 2.0);
        QCOMPARE(spy.count(), 1);
        QVERIFY(model()->controlsVisible());
    }

    void toastClearsItself()
    {
        m_controller->showToast(QStringLiteral("Hello"));
        QCOMPARE(toast(), QStringLiteral("Hello"));
        QTRY_VERIFY_WITH_TIMEOUT(!model()->toast(), 5000);
    }
};

QTEST_MAIN(TestPlayerCommands)
#include "tst_playercommands.moc"
