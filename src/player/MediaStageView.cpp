#include "player/MediaStageView.h"

#include "player/MediaPlayerController.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerEngine.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QLineF>
#include <QStyleHints>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>

using PlayerInput::Command;

namespace {
constexpr int zoomResetMs = 220;
constexpr int turnMs = 250;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

int doubleClickInterval()
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}
} // namespace

MediaStageView::MediaStageView(MediaPlayerController *controller, QObject *parent)
    : QObject(parent), m_controller(controller), m_clicks(doubleClickInterval()),
      m_clickTimer(new QTimer(this))
{
    m_clickTimer->setSingleShot(true);
    connect(m_clickTimer, &QTimer::timeout, this, &MediaStageView::fireClick);
}

MediaStageView::~MediaStageView()
{
    if (m_player)
        m_player->setVideoSink(nullptr);
}

QSizeF MediaStageView::contentSize() const
{
    if (m_artwork) {
        const double side = 0.55 * std::min(m_stage.width(), m_stage.height());
        return {side, side};
    }
    return StageGeometry::contentSize(m_stage, m_turned);
}

void MediaStageView::setStageSize(QSizeF size)
{
    if (size == m_stage || size.isEmpty())
        return;
    m_stage = size;
    m_view.offset = StageGeometry::clampOffset(m_view.offset, m_stage, m_view.zoom);
    apply(0);
}

bool MediaStageView::isPicture() const
{
    return m_controller && m_controller->model()->kind() == PlayerMediaKind::image;
}

void MediaStageView::apply(int animation)
{
    m_animation = animation;
    emit geometryChanged();
}

void MediaStageView::resetZoom(bool animated)
{
    m_view = {};
    apply(animated ? zoomResetMs : 0);
    if (m_controller)
        m_controller->zoomChanged(1);
}

void MediaStageView::setRotation(int degrees, bool animated)
{
    m_turned += StageGeometry::turnDelta(m_turned, degrees);
    m_view = {};
    apply(animated ? turnMs : 0);
    if (m_controller)
        m_controller->zoomChanged(1);
}

void MediaStageView::zoomBy(double factor, std::optional<QPointF> anchor)
{
    const auto next = StageGeometry::zoomAbout(m_view, factor, anchor, m_stage);
    if (!next)
        return;
    m_view = *next;
    apply(0);
    if (m_controller)
        m_controller->zoomChanged(m_view.zoom);
}

void MediaStageView::show(const QImage &image, bool isArtwork)
{
    if (m_player)
        m_player->setVideoSink(nullptr);
    m_player = nullptr;
    m_video = false;
    m_image = image;
    m_artwork = isArtwork && !image.isNull();
    emit contentChanged();
    apply(0);
}

void MediaStageView::show(PlayerEngine *player)
{
    if (m_player && m_player != player)
        m_player->setVideoSink(nullptr);
    m_player = player;
    m_image = QImage();
    m_artwork = false;
    m_video = player != nullptr;
    if (m_player)
        m_player->setVideoSink(m_sink);
    else if (m_sink)
        m_sink->setVideoFrame({});  // no stale last frame under the next item
    emit contentChanged();
    apply(0);
}

void MediaStageView::setVideoSink(QVideoSink *sink)
{
    m_sink = sink;
    if (m_player)
        m_player->setVideoSink(sink);
}

void MediaStageView::setPointerHidden(bool hidden)
{
    if (m_pointerHidden == hidden)
        return;
    m_pointerHidden = hidden;
    emit pointerChanged();
}

bool MediaStageView::key(int key, int modifiers)
{
    if (!m_controller)
        return false;
    m_controller->showControls();
    const auto *model = m_controller->model();
    const PlayerInput::KeyContext context{isPicture(), model->fullScreen(), m_view.zoom,
                                          MediaPlayerSettings::longSkip()};
    const auto action = PlayerInput::keyAction(key, Qt::KeyboardModifiers(modifiers), context);
    if (action.command == Command::none)
        return false;
    run(action, std::nullopt);
    return true;
}

void MediaStageView::run(const PlayerInput::Action &a, std::optional<QPointF> anchor)
{
    MediaPlayerController *c = m_controller;
    if (!c)
        return;
    const auto *model = c->model();
    switch (a.command) {
    case Command::none: break;
    case Command::toggleFullScreen: c->toggleFullScreen(); break;
    case Command::leaveFullScreen:
        if (model->fullScreen())
            c->toggleFullScreen();
        break;
    case Command::togglePlay: c->togglePlay(); break;
    case Command::trash: c->trashCurrent(); break;
    case Command::seekBy: c->seekBy(a.amount); break;
    case Command::step: c->step(int(a.amount)); break;
    case Command::zoomBy: zoomBy(a.amount, anchor); break;
    case Command::resetZoom: resetZoom(true); break;
    case Command::volumeBy: c->setVolume(float(model->volume() + a.amount), true); break;
    case Command::toggleMute: c->toggleMute(); break;
    case Command::frameStep: c->frameStep(int(a.amount)); break;
    case Command::faster: c->stepRate(true); break;
    case Command::slower: c->stepRate(false); break;
    case Command::rotateBy: c->setRotation(model->rotation() + int(a.amount)); break;
    case Command::pan:
        m_view.offset = StageGeometry::clampOffset(m_view.offset + a.delta, m_stage, m_view.zoom);
        apply(0);
        break;
    case Command::scrollSeek: break;  // needs the event's deltas; see wheel()
    }
}

void MediaStageView::wheel(double angleX, double angleY, double pixelX, double pixelY, int phase,
                           int modifiers, bool inverted, bool overBar, double x, double y)
{
    MediaPlayerController *c = m_controller;
    if (!c)
        return;
    c->showControls();
    const bool precise = pixelX != 0 || pixelY != 0;
    // Wheel clicks are 120 units; the table's deltas are in lines.
    const QPointF delta = precise ? QPointF(pixelX, pixelY) : QPointF(angleX, angleY) / 120.0;
    if (overBar && !isPicture()) {
        c->scrollSeek(delta.x(), delta.y(), precise, inverted);
        return;
    }
    const PlayerInput::Scroll scroll{precise, delta, Qt::ScrollPhase(phase),
                                     Qt::KeyboardModifiers(modifiers)};
    const auto action = PlayerInput::scrollAction(scroll, {isPicture(), m_view.zoom});
    if (action.command == Command::scrollSeek) {
        c->scrollSeek(delta.x(), delta.y(), precise, inverted);
    } else if (precise && action.command == Command::none) {
        if (const auto step = m_swipe.feed(scroll))
            c->step(*step);
    } else {
        run(action, QPointF(x, y));
    }
}

void MediaStageView::smartMagnify(QPointF at)
{
    if (!m_controller)
        return;
    m_controller->showControls();
    run(PlayerInput::smartMagnifyAction(m_view.zoom), at);
}

void MediaStageView::pinch(double scale, double x, double y)
{
    if (!m_controller)
        return;
    m_controller->showControls();
    zoomBy(scale, QPointF(x, y));
}

void MediaStageView::press(double x, double y)
{
    const QPointF at(x, y);
    m_dragStart = std::make_pair(at, m_view.offset);
    if (m_clicks.press(at, now()) == PlayerInput::ClickGate::Press::doubleClick) {
        m_clickTimer->stop();
        if (m_controller)
            m_controller->toggleFullScreen();
        return;
    }
    m_clickTimer->start(doubleClickInterval());
}

void MediaStageView::drag(double x, double y)
{
    if (!m_dragStart)
        return;
    const QPointF at(x, y);
    m_clicks.move(at);
    if (!m_clicks.deadline())
        m_clickTimer->stop();
    if (m_view.zoom > 1) {
        m_view.offset = StageGeometry::clampOffset(m_dragStart->second + (at - m_dragStart->first),
                                                   m_stage, m_view.zoom);
        if (!m_grabbing) {
            m_grabbing = true;
            emit pointerChanged();
        }
        apply(0);
    }
}

void MediaStageView::release()
{
    m_dragStart.reset();
    if (m_grabbing) {
        m_grabbing = false;
        emit pointerChanged();
    }
}

void MediaStageView::fireClick()
{
    // The timer is the clock here: it runs out exactly at the gate's deadline.
    const auto due = m_clicks.deadline();
    if (due && m_clicks.fire(*due) && m_controller)
        m_controller->togglePlay();
}

void MediaStageView::pointerMoved(double x, double y, QRectF bar)
{
    const bool over = StageGeometry::nearBar(QPointF(x, y), bar);
    bool changed = over != m_overControls;
    m_overControls = over;
    if (m_pointerHidden) {
        m_pointerHidden = false;
        changed = true;
    }
    if (changed)
        emit pointerChanged();
    if (m_controller)
        m_controller->showControls();
}
