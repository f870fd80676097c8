#include "player/PlayerEngine.h"

#include "player/PlayerAudioEffects.h"

#include <QTimer>
#include <QVideoSink>

// Interface only for now: the GStreamer implementation replaces this file next.
struct PlayerEngine::Pipeline {};
class PlayerEngine::Relay {};

PlayerEngine::PlayerEngine(std::shared_ptr<PlayerAudioEffects> effects, QObject *parent)
    : QObject(parent), m_effects(std::move(effects))
{
}

PlayerEngine::~PlayerEngine() = default;

void PlayerEngine::setAudioSinkFactory(const QByteArray &factory) { m_audioSinkFactory = factory; }
void PlayerEngine::open(const QUrl &url)
{
    m_url = url;
    fail(tr("Playback isn't available yet."));
}
void PlayerEngine::close() { setStatus(Status::Idle); }
void PlayerEngine::setRate(float) {}
void PlayerEngine::setKeepPitch(bool on) { m_keepPitch = on; }
void PlayerEngine::setVolume(float volume) { m_volume = volume; }
void PlayerEngine::setMuted(bool muted) { m_muted = muted; }
double PlayerEngine::position() const { return 0; }
void PlayerEngine::seek(double, double, double, SeekDone done)
{
    if (done)
        done(false);
}
void PlayerEngine::stepFrames(int) {}
void PlayerEngine::setVideoSink(QVideoSink *sink) { m_videoSink = sink; }
QVideoSink *PlayerEngine::videoSink() const { return m_videoSink; }

void PlayerEngine::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged(status);
}

void PlayerEngine::fail(const QString &message)
{
    m_error = message;
    setStatus(Status::Failed);
    emit errorOccurred(message);
}

void PlayerEngine::handleMessage(void *) {}
void PlayerEngine::handleStateChanged() {}
void PlayerEngine::handleAsyncDone() {}
void PlayerEngine::handleError(void *) {}
void PlayerEngine::handleTags(void *) {}
void PlayerEngine::handleStreams(void *) {}
void PlayerEngine::readVideoCaps() {}
void PlayerEngine::deliverFrame() {}
void PlayerEngine::report() {}
void PlayerEngine::updateDuration() {}
void PlayerEngine::startSeek(double, bool, float) {}
void PlayerEngine::finishSeeks(bool) {}
void PlayerEngine::applyRate() {}
void PlayerEngine::rebuildAudioFilter() {}
void PlayerEngine::resetItemState() {}
