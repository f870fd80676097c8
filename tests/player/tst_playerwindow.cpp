#include "player/MediaPlayer.h"
#include "player/PlayerWindow.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QRegularExpression>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

// The Open Media panel as the launch and Ctrl+O show it, under the offscreen platform.
class TestOpenMediaPanel : public QObject
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

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
};

QTEST_MAIN(TestOpenMediaPanel)
#include "tst_openmediapanel.moc"
