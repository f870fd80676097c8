#pragma once

#include "player/PlayerStage.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ControlBarPlacement;
class MediaPlayerController;
class MediaStageView;
class QQmlEngine;
class QQuickWindow;

// A player window: the controller's PlayerStage, made of a Qt Quick window from the
// application's QML module. This is how every window of the application is made:
// a C++ controller owns its model; its window comes from the one shared QML engine
// with the controller's objects as required properties; showing it raises and
// activates it.
class PlayerWindow : public QObject, public PlayerStage
{
    Q_OBJECT

public:
    // The one QML engine every window of the application comes from.
    static QQmlEngine &engine();

    // The registry's window factory: builds and shows a window for `controller`
    // (which then owns it).
    static PlayerStage *make(MediaPlayerController *controller);

    // The Open Media panel: one video, song or picture, opened in a new player.
    static void chooseAndOpen();
    // The panel's message and its name filters (media types, then extensions).
    static QString openPanelMessage();
    static QStringList openPanelFilters();

    explicit PlayerWindow(MediaPlayerController *controller);
    ~PlayerWindow() override;

    QQuickWindow *window() const { return m_window.get(); }
    // Ctrl+O from the window.
    Q_INVOKABLE void openMedia() { chooseAndOpen(); }
    MediaStageView *stageView() const { return m_stage; }
    ControlBarPlacement *bar() const { return m_bar; }

    // --- PlayerStage ---
    void resetZoom(bool animated) override;
    void setRotation(int degrees, bool animated) override;
    void zoomBy(double factor) override;
    void show(const QImage &image, bool isArtwork) override;
    void show(PlayerEngine *player) override;
    bool pointerOverControls() const override;
    void setTitle(const QString &title, const QString &subtitle) override;
    std::optional<QRect> screenArea() const override;
    int minimumContentHeight() const override;
    void resizeContent(const QSize &size) override;
    void setFullScreen(bool on) override;
    void hidePointerUntilMoved() override;
    void showPointer() override;
    void focusStage() override;
    void closeWindow() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void windowClosing();

private:
    void visibilityChanged();
    void reportFirstFrame();

    QPointer<MediaPlayerController> m_controller;
    MediaStageView *m_stage;
    ControlBarPlacement *m_bar;
    std::unique_ptr<QQuickWindow> m_window;
    bool m_closing = false;
};
