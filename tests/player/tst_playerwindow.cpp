#include "media/MediaEntry.h"
#include "player/MediaPlayer.h"
#include "player/MediaPlayerController.h"
#include "player/MediaPlayerModel.h"
#include "player/MediaStageView.h"
#include "player/PlayerWindow.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QQuickItem>
#include <QRegularExpression>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

// The player window and the Open Media panel as the application builds them, under
// the offscreen platform.
class TestPlayerWindow : public QObject
{
    Q_OBJECT

    static QQuickWindow *panelWindow()
    {
        for (QWindow *window : QGuiApplication::topLevelWindows())
            if (window->title() == QLatin1String("Open Media") && window->isVisible())
                return qobject_cast<QQuickWindow *>(window);
        return nullptr;
    }

private slots:
    void initTestCase() { m_home = std::make_unique<TestSupport::TempHome>(); }

    void filtersListMediaThenEverything()
    {
        const QStringList filters = PlayerWindow::openPanelFilters();
        QCOMPARE(filters.size(), 2);
        QVERIFY(filters.first().startsWith(QLatin1String("Media (")));
        for (const char *glob : {"*.mp4", "*.mkv", "*.mp3", "*.flac", "*.png"})
            QVERIFY2(filters.first().split(QRegularExpression(QStringLiteral("[ ()]"))).contains(QLatin1String(glob)),
                     glob);
        QCOMPARE(filters.last(), QStringLiteral("All files (*)"));
    }

    void showsItsMessageAndKeepsTheProcessUntilCancelled()
    {
        MediaPlayer &player = MediaPlayer::shared();
        QSignalSpy changed(&player, &MediaPlayer::panelsChanged);
        PlayerWindow::chooseAndOpen();
        QVERIFY(player.hasPanels());
        QCOMPARE(changed.count(), 1);

        QQuickWindow *window = panelWindow();
        QVERIFY(window);
        auto *message = window->findChild<QQuickItem *>(QStringLiteral("message"));
        QVERIFY(message);
        QCOMPARE(message->property("text").toString(),
                 QStringLiteral("Choose a video, song or picture. The player can then step through everything "
                                "else in its folder."));
        QVERIFY(message->isVisible());

        QObject *dialog = window->findChild<QObject *>(QStringLiteral("dialog"));
        QVERIFY(dialog);
        QVERIFY(QMetaObject::invokeMethod(dialog, "reject"));
        QTRY_VERIFY(!player.hasPanels());
        QCOMPARE(changed.count(), 2);
        QVERIFY(player.controllers().isEmpty());
        QVERIFY(!panelWindow());
    }

    // Qt Quick has no handler of its own for the two-finger double tap.
    void smartZoomGestureZoomsAndComesBack()
    {
        const QString picture = m_home->path() + QStringLiteral("/picture.png");
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(picture));
        MediaPlayerController controller({*MediaEntry::file(QUrl::fromLocalFile(picture))}, 0,
                                         MediaPlayerController::Services::standard());
        auto *window = static_cast<PlayerWindow *>(PlayerWindow::make(&controller));
        QVERIFY(window->window());
        controller.setStage(window);
        controller.start();
        QTRY_VERIFY(!window->stageView()->image().isNull());

        const auto tap = [&] {
            const QPointF at(window->window()->width() / 3.0, window->window()->height() / 3.0);
            QNativeGestureEvent event(Qt::SmartZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at,
                                      at, window->window()->mapToGlobal(at), 0, QPointF());
            QCoreApplication::sendEvent(window->window(), &event);
        };
        tap();
        QCOMPARE(controller.model()->zoom(), 2.0);
        tap();
        QTRY_COMPARE(controller.model()->zoom(), 1.0);
        controller.windowWillClose();
    }

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
};

QTEST_MAIN(TestPlayerWindow)
#include "tst_playerwindow.moc"
