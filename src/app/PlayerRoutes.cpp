#include "app/PlayerRoutes.h"

#include "converter/ConverterModel.h"
#include "player/MediaPlayer.h"
#include "player/PlayerEngine.h"
#include "player/PlayerWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

PlayerRoutes::PlayerRoutes()
{
    MediaPlayer::shared().setWindowFactory(&PlayerWindow::make);
    // Qt's own last-window quit would end a running conversion; decide here instead.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&MediaPlayer::shared(), &MediaPlayer::controllersChanged, qApp,
                     [this] { quitWhenIdle(); });
    QObject::connect(&MediaPlayer::shared(), &MediaPlayer::panelsChanged, qApp, [this] { quitWhenIdle(); });
    QObject::connect(&ConverterModel::shared(), &ConverterModel::runningChanged, qApp,
                     [this] { quitWhenIdle(); });
    // Loading the playback plugins off the main thread while the first window is
    // made roughly halves the wait for its first frame.
    PlayerEngine::warmUp();
}

// Until the library window exists, a start without files offers the Open Media
// panel instead, so that a bare launch shows something; cancelling it quits.
void PlayerRoutes::showLibrary()
{
    LoggingRoutes::showLibrary();
    PlayerWindow::chooseAndOpen();
}

void PlayerRoutes::openPlayer(const QUrl &url)
{
    MediaPlayer::shared().open(url);
}

bool PlayerRoutes::hasVisibleWindows() const
{
    return !MediaPlayer::shared().controllers().isEmpty() || MediaPlayer::shared().hasPanels();
}

bool PlayerRoutes::keepsRunning() const
{
    return hasVisibleWindows() || ConverterModel::shared().isBusy();
}

void PlayerRoutes::quitWhenIdle() const
{
    // On the next turn: a window closing while another opens must not end the process.
    QTimer::singleShot(0, qApp, [this] {
        if (!keepsRunning())
            QCoreApplication::quit();
    });
}
