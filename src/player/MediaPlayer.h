#pragma once

#include "media/MediaEntry.h"
#include "player/MediaPlayerController.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class PlayerStage;

// The open player windows, in opening order. A controller stays here until its
// window closes; then it is deleted.
class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    // Builds and shows the window of a new controller; returns the window's stage
    // seam (owned by the window). The window calls the controller's windowWillClose()
    // when it closes.
    using WindowFactory = std::function<PlayerStage *(MediaPlayerController *controller)>;

    explicit MediaPlayer(MediaPlayerController::Services services = MediaPlayerController::Services::standard(),
                         QObject *parent = nullptr);
    ~MediaPlayer() override;

    static MediaPlayer &shared();

    void setWindowFactory(WindowFactory factory) { m_windowFactory = std::move(factory); }

    // Opens a media file with the rest of its folder to step through; nothing for a
    // file that is not media.
    Q_INVOKABLE void open(const QUrl &url);
    // Opens a prepared list at `index`; nothing for an index outside it.
    void open(const QList<MediaEntry> &entries, int index);

    QList<MediaPlayerController *> controllers() const;

    // An Open Media panel being shown: like a window, it keeps the process alive
    // until it closes.
    void addPanel(QObject *panel);
    bool hasPanels() const { return !m_panels.isEmpty(); }

signals:
    void controllersChanged();
    void panelsChanged();

private:
    MediaPlayerController::Services m_services;
    WindowFactory m_windowFactory;
    QList<QPointer<MediaPlayerController>> m_controllers;
    QList<QObject *> m_panels;
};
