#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class AppRoutes;

// Receives the launch, file-open and reopen events and decides which window to show.
class MediaAppDelegate : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool openedFiles READ openedFiles NOTIFY openedFilesChanged)

public:
    explicit MediaAppDelegate(AppRoutes &routes, QObject *parent = nullptr);

    // "Launched <name> <version> on <system> <kernel>".
    static QString launchLine();

    // Logs the launch, starts the background subsystems and, on the next turn of the
    // event loop (after any files opened with the launch), shows the library unless
    // a file was opened. `launchFinished` follows that turn.
    void applicationDidFinishLaunching();

    // Opens a player for each existing local media file, in order; others are ignored.
    void openFiles(const QList<QUrl> &urls);

    // The launcher clicked again: the library when no window is visible. Always true.
    bool reopen();

    void convertFiles(const QList<QUrl> &urls);

    bool openedFiles() const { return m_openedFiles; }

signals:
    void openedFilesChanged();
    void launchFinished();

private:
    AppRoutes &m_routes;
    bool m_openedFiles = false;
};
