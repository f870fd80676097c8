#pragma once

#include "player/PlayerInput.h"
#include "player/StageGeometry.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QtQml/qqmlregistration.h>

class MediaPlayerController;
class PlayerEngine;
class QTimer;
#include <QVideoSink>  // complete for the invokable below

// The stage's state and its input handling: what it shows (video, picture or
// cover), its zoom, pan and turn, and how keys, the wheel, the trackpad and the
// mouse act on the controller. The QML stage draws from it and feeds it events;
// it holds no playback state.
class MediaStageView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the player window")
    Q_PROPERTY(double zoom READ zoom NOTIFY geometryChanged)
    Q_PROPERTY(QPointF offset READ offset NOTIFY geometryChanged)
    Q_PROPERTY(int turned READ turned NOTIFY geometryChanged)
    Q_PROPERTY(QSizeF contentSize READ contentSize NOTIFY geometryChanged)
    // How long the next geometry change animates, in ms (0: at once).
    Q_PROPERTY(int animation READ animation NOTIFY geometryChanged)
    Q_PROPERTY(QSizeF stageSize READ stageSize WRITE setStageSize NOTIFY geometryChanged)
    Q_PROPERTY(QImage image READ image NOTIFY contentChanged)
    Q_PROPERTY(bool artwork READ artwork NOTIFY contentChanged)
    Q_PROPERTY(bool video READ video NOTIFY contentChanged)
    Q_PROPERTY(bool pointerOverControls READ pointerOverControls NOTIFY pointerChanged)
    Q_PROPERTY(bool pointerHidden READ pointerHidden NOTIFY pointerChanged)
    Q_PROPERTY(bool grabbing READ grabbing NOTIFY pointerChanged)

public:
    explicit MediaStageView(MediaPlayerController *controller, QObject *parent = nullptr);
    ~MediaStageView() override;

    double zoom() const { return m_view.zoom; }
    QPointF offset() const { return m_view.offset; }
    int turned() const { return m_turned; }
    QSizeF contentSize() const;
    int animation() const { return m_animation; }
    QSizeF stageSize() const { return m_stage; }
    void setStageSize(QSizeF size);
    QImage image() const { return m_image; }
    bool artwork() const { return m_artwork; }
    bool video() const { return m_video; }
    bool pointerOverControls() const { return m_overControls; }
    bool pointerHidden() const { return m_pointerHidden; }
    bool grabbing() const { return m_grabbing; }

    // --- what the controller asks (through the window) ---
    void resetZoom(bool animated);
    void setRotation(int degrees, bool animated);
    // `anchor` in stage coordinates; none zooms about the centre.
    void zoomBy(double factor, std::optional<QPointF> anchor = std::nullopt);
    void show(const QImage &image, bool isArtwork);
    void show(PlayerEngine *player);
    void setPointerHidden(bool hidden);

    // --- what the QML stage feeds in ---
    // The QML VideoOutput's sink, where the engine's frames go.
    Q_INVOKABLE void setVideoSink(QVideoSink *sink);
    // A key press; true when it was ours.
    Q_INVOKABLE bool key(int key, int modifiers);
    // A wheel/trackpad event over the stage (`overBar`: over the control bar).
    Q_INVOKABLE void wheel(double angleX, double angleY, double pixelX, double pixelY,
                           int phase, int modifiers, bool inverted, bool overBar,
                           double x, double y);
    Q_INVOKABLE void pinch(double scale, double x, double y);
    void smartMagnify(QPointF at);
    Q_INVOKABLE void press(double x, double y);
    Q_INVOKABLE void drag(double x, double y);
    Q_INVOKABLE void release();
    // The pointer moved over the stage; `bar` is the control bar's frame in stage
    // coordinates.
    Q_INVOKABLE void pointerMoved(double x, double y, QRectF bar);

signals:
    void geometryChanged();
    void contentChanged();
    void pointerChanged();

private:
    bool isPicture() const;
    void apply(int animation);
    void run(const PlayerInput::Action &action, std::optional<QPointF> anchor);
    void fireClick();

    QPointer<MediaPlayerController> m_controller;
    QPointer<PlayerEngine> m_player;
    QPointer<QVideoSink> m_sink;
    StageGeometry::View m_view;
    int m_turned = 0;
    int m_animation = 0;
    QSizeF m_stage{800, 450};
    QImage m_image;
    bool m_artwork = false;
    bool m_video = false;
    bool m_overControls = false;
    bool m_pointerHidden = false;
    bool m_grabbing = false;
    PlayerInput::Swipe m_swipe;
    PlayerInput::ClickGate m_clicks;
    QTimer *m_clickTimer;
    std::optional<std::pair<QPointF, QPointF>> m_dragStart;  // pointer, offset
};
