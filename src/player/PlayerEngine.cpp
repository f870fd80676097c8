// GStreamer first: some GLib headers use the word Qt defines as a macro.
#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "player/PlayerEngine.h"

#include "log/Log.h"
#include "player/AudioTapElement.h"
#include "player/PlayerAudioEffects.h"

#include <QThreadPool>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <QVideoSink>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

constexpr int reportIntervalMs = 250;
constexpr int loadWatchdogMs = 6000;
constexpr int maxLoadRetries = 2;
constexpr float minRate = 0.1f;
constexpr float maxRate = 4.0f;
// video | audio | soft-volume | buffering | deinterlace: no subtitles overlay.
constexpr guint playFlags = 0x1 | 0x2 | 0x10 | 0x100 | 0x200;

struct ObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_object_unref(object);
    }
};
using ElementPtr = std::unique_ptr<GstElement, ObjectUnref>;

struct MessageUnref
{
    void operator()(GstMessage *message) const { gst_message_unref(message); }
};
using MessagePtr = std::shared_ptr<GstMessage>;

struct CapsUnref
{
    void operator()(GstCaps *caps) const
    {
        if (caps)
            gst_caps_unref(caps);
    }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;

struct TagListUnref
{
    void operator()(GstTagList *tags) const { gst_tag_list_unref(tags); }
};

double toSeconds(gint64 nanoseconds)
{
    return double(nanoseconds) / GST_SECOND;
}

gint64 toNanoseconds(double seconds)
{
    return gint64(std::llround(std::max(seconds, 0.0) * GST_SECOND));
}

// Pipelines are stopped off the main thread: reaching NULL joins the streaming
// threads, which may be waiting on a slow source. Warming up runs here too.
QThreadPool &teardownPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setObjectName(QStringLiteral("PlayerTeardown"));
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(-1);
        return p;
    }();
    return *pool;
}

int rotationFromTag(const gchar *orientation)
{
    if (!orientation)
        return 0;
    const QByteArray tag(orientation);
    for (int degrees : {90, 180, 270}) {
        if (tag.endsWith("rotate-" + QByteArray::number(degrees)))
            return degrees;
    }
    return 0;
}

QString plainError(const GError *error)
{
    if (error && error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
            return PlayerEngine::tr("This file isn't in a format that can be played.");
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
            return PlayerEngine::tr("A decoder needed to play this item isn't installed.");
        case GST_STREAM_ERROR_DECODE:
            return PlayerEngine::tr("This item is damaged and couldn't be decoded.");
        default:
            break;
        }
    }
    if (error && error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return PlayerEngine::tr("This item couldn't be found.");
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_READ:
        case GST_RESOURCE_ERROR_SEEK:
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
            return PlayerEngine::tr("This item couldn't be read.");
        case GST_RESOURCE_ERROR_OPEN_WRITE:
        case GST_RESOURCE_ERROR_WRITE:
        case GST_RESOURCE_ERROR_BUSY:
            return PlayerEngine::tr("The sound or picture output couldn't be opened.");
        default:
            break;
        }
    }
    if (error && error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return PlayerEngine::tr("A decoder needed to play this item isn't installed.");
    return PlayerEngine::tr("This item couldn't be played.");
}

// Copies a mapped GStreamer frame into a QVideoFrame (I420, NV12 or RGBA only).
QVideoFrame toVideoFrame(GstSample *sample, int rotation)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
        return {};
    QVideoFrameFormat::PixelFormat format;
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_I420:
        format = QVideoFrameFormat::Format_YUV420P;
        break;
    case GST_VIDEO_FORMAT_NV12:
        format = QVideoFrameFormat::Format_NV12;
        break;
    case GST_VIDEO_FORMAT_RGBA:
        format = QVideoFrameFormat::Format_RGBA8888;
        break;
    default:
        return {};
    }
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    GstVideoFrame source;
    if (!buffer || !gst_video_frame_map(&source, &info, buffer, GST_MAP_READ))
        return {};

    const QSize size(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    QVideoFrame frame{QVideoFrameFormat(size, format)};
    if (frame.map(QVideoFrame::WriteOnly)) {
        for (int plane = 0; plane < frame.planeCount(); ++plane) {
            const auto *from = static_cast<const uchar *>(GST_VIDEO_FRAME_PLANE_DATA(&source, plane));
            const int fromStride = GST_VIDEO_FRAME_PLANE_STRIDE(&source, plane);
            uchar *to = frame.bits(plane);
            const int toStride = frame.bytesPerLine(plane);
            const int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&source, plane == 0 ? 0 : 1);
            const int rowBytes = std::min(fromStride, toStride);
            for (int row = 0; row < rows; ++row)
                std::memcpy(to + row * toStride, from + row * fromStride, rowBytes);
        }
        frame.unmap();
    }
    gst_video_frame_unmap(&source);

    if (GST_BUFFER_PTS_IS_VALID(buffer))
        frame.setStartTime(GST_BUFFER_PTS(buffer) / 1000);
    switch (rotation) {
    case 90: frame.setRotationAngle(QVideoFrame::Rotation90); break;
    case 180: frame.setRotationAngle(QVideoFrame::Rotation180); break;
    case 270: frame.setRotationAngle(QVideoFrame::Rotation270); break;
    default: break;
    }
    return frame;
}

} // namespace

// Owns one playbin3 and the elements we put into it.
struct PlayerEngine::Pipeline
{
    ElementPtr playbin;
    GstElement *videoSink = nullptr;  // owned by playbin
};

// The bridge from GStreamer's threads to the engine on the main thread. It
// outlives the engine while a pipeline still runs; detach() cuts it off.
class PlayerEngine::Relay : public std::enable_shared_from_this<PlayerEngine::Relay>
{
public:
    explicit Relay(PlayerEngine *engine) : m_engine(engine) {}

    void detach()
    {
        std::lock_guard guard(m_lock);
        m_engine = nullptr;
    }

    void post(GstMessage *message)
    {
        std::lock_guard guard(m_lock);
        if (!m_engine)
            return;
        MessagePtr held(gst_message_ref(message), MessageUnref());
        QMetaObject::invokeMethod(
            m_engine,
            [self = shared_from_this(), engine = m_engine, held] {
                if (engine->m_relay == self)
                    engine->handleMessage(held.get());
            },
            Qt::QueuedConnection);
    }

    // Streaming thread: keeps the newest frame; the main thread picks it up once.
    void frame(GstSample *sample)
    {
        GstSegment *segment = gst_sample_get_segment(sample);
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        double time = -1;
        if (segment && buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
            const guint64 stream = gst_segment_to_stream_time(segment, GST_FORMAT_TIME,
                                                              GST_BUFFER_PTS(buffer));
            if (stream != GST_CLOCK_TIME_NONE)
                time = toSeconds(gint64(stream));
        }
        QVideoFrame frame = m_wantFrames.load() ? toVideoFrame(sample, m_rotation.load())
                                                : QVideoFrame();
        std::lock_guard guard(m_lock);
        m_frame = frame;
        m_frameTime = time;
        if (!m_engine || m_frameScheduled)
            return;
        m_frameScheduled = true;
        QMetaObject::invokeMethod(
            m_engine,
            [self = shared_from_this(), engine = m_engine] {
                if (engine->m_relay == self)
                    engine->deliverFrame();
            },
            Qt::QueuedConnection);
    }

    QVideoFrame takeFrame(double &time)
    {
        std::lock_guard guard(m_lock);
        m_frameScheduled = false;
        time = m_frameTime;
        return std::exchange(m_frame, QVideoFrame());
    }

    std::atomic<bool> m_wantFrames{false};
    std::atomic<int> m_rotation{0};

private:
    std::mutex m_lock;
    PlayerEngine *m_engine;
    QVideoFrame m_frame;
    double m_frameTime = -1;
    bool m_frameScheduled = false;
};

namespace {

GstBusSyncReply onBusMessage(GstBus *, GstMessage *message, gpointer data)
{
    auto *relay = static_cast<std::shared_ptr<PlayerEngine::Relay> *>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
    case GST_MESSAGE_EOS:
    case GST_MESSAGE_ASYNC_DONE:
    case GST_MESSAGE_TAG:
    case GST_MESSAGE_STREAMS_SELECTED:
    case GST_MESSAGE_DURATION_CHANGED:
        (*relay)->post(message);
        break;
    default:
        break;
    }
    return GST_BUS_DROP;
}

void deleteRelay(gpointer data)
{
    delete static_cast<std::shared_ptr<PlayerEngine::Relay> *>(data);
}

GstFlowReturn onPreroll(GstAppSink *sink, gpointer data)
{
    if (GstSample *sample = gst_app_sink_pull_preroll(sink)) {
        (*static_cast<std::shared_ptr<PlayerEngine::Relay> *>(data))->frame(sample);
        gst_sample_unref(sample);
    }
    return GST_FLOW_OK;
}

GstFlowReturn onSample(GstAppSink *sink, gpointer data)
{
    if (GstSample *sample = gst_app_sink_pull_sample(sink)) {
        (*static_cast<std::shared_ptr<PlayerEngine::Relay> *>(data))->frame(sample);
        gst_sample_unref(sample);
    }
    return GST_FLOW_OK;
}

// audioconvert ! F32 interleaved ! [scaletempo] ! zmaudiotap, as one bin.
GstElement *makeAudioFilter(const std::shared_ptr<PlayerAudioEffects> &effects, bool keepPitch)
{
    GstElement *bin = gst_bin_new("zm-audio-filter");
    GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement *caps = gst_element_factory_make("capsfilter", nullptr);
    GstElement *tap = AudioTapElement::create(effects);
    GstElement *tempo = keepPitch ? gst_element_factory_make("scaletempo", nullptr) : nullptr;
    if (!convert || !caps || !tap || (keepPitch && !tempo)) {
        for (GstElement *e : {convert, caps, tap, tempo}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    CapsPtr f32(gst_caps_from_string("audio/x-raw,format=" GST_AUDIO_NE(F32) ",layout=interleaved"));
    g_object_set(caps, "caps", f32.get(), nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, caps, tap, nullptr);
    if (tempo) {
        gst_bin_add(GST_BIN(bin), tempo);
        gst_element_link_many(convert, caps, tempo, tap, nullptr);
    } else {
        gst_element_link_many(convert, caps, tap, nullptr);
    }
    ElementPtr sinkPad(reinterpret_cast<GstElement *>(gst_element_get_static_pad(convert, "sink")));
    ElementPtr srcPad(reinterpret_cast<GstElement *>(gst_element_get_static_pad(tap, "src")));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", GST_PAD(sinkPad.get())));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", GST_PAD(srcPad.get())));
    return bin;
}

} // namespace

namespace {

std::mutex audioSinkLock;
QByteArray chosenAudioSink;  // empty until the warm-up has found it

// Finds the output autoaudiosink settles on, once per run. Where no sound server
// answers it tries every kind of output in turn, which can take seconds; done
// per item that would hold up each open on the main thread.
void chooseAudioSink()
{
    GstElement *probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (!probe)
        return;
    gst_object_ref_sink(probe);
    QByteArray factory;
    if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        GstIterator *children = gst_bin_iterate_elements(GST_BIN(probe));
        GValue child = G_VALUE_INIT;
        if (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
            if (GstElementFactory *f = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&child))))
                factory = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f));
            g_value_unset(&child);
        }
        gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    if (factory.isEmpty())
        return;
    Log::info(Log::Area::player, QStringLiteral("Player: sound goes to %1").arg(QString::fromLatin1(factory)));
    std::lock_guard guard(audioSinkLock);
    chosenAudioSink = factory;
}

QByteArray audioSinkFor(const QByteArray &asked)
{
    if (asked != "autoaudiosink")
        return asked;
    std::lock_guard guard(audioSinkLock);
    return chosenAudioSink.isEmpty() ? asked : chosenAudioSink;
}

} // namespace

void PlayerEngine::warmUp(std::function<void()> done)
{
    teardownPool().start([done = std::move(done)] {
        if (!gst_is_initialized())
            gst_init(nullptr, nullptr);
        // The plugins a local MP4 or an HLS stream goes through, decoders included.
        for (const char *name : {"playback", "coreelements", "typefindfunctions", "isomp4", "matroska",
                                 "videoparsersbad", "audioparsers", "libav", "videoconvertscale",
                                 "audioconvert", "audioresample", "audiofx", "volume", "app", "autodetect",
                                 "pulseaudio", "alsa", "adaptivedemux2", "soup"}) {
            if (GstPlugin *plugin = gst_plugin_load_by_name(name))
                gst_object_unref(plugin);
        }
        chooseAudioSink();
        if (done)
            done();
    });
}

PlayerEngine::PlayerEngine(std::shared_ptr<PlayerAudioEffects> effects, QObject *parent)
    : QObject(parent), m_effects(std::move(effects)), m_timer(new QTimer(this)), m_loadWatchdog(new QTimer(this))
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    AudioTapElement::registerElement();
    m_timer->setInterval(reportIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &PlayerEngine::report);
    m_loadWatchdog->setSingleShot(true);
    m_loadWatchdog->setInterval(loadWatchdogMs);
    connect(m_loadWatchdog, &QTimer::timeout, this, &PlayerEngine::reloadStuckItem);
}

PlayerEngine::~PlayerEngine()
{
    // Nobody listens to an object going away; close() only releases here.
    blockSignals(true);
    close();
}

void PlayerEngine::setAudioSinkFactory(const QByteArray &factory)
{
    m_audioSinkFactory = factory;
}

void PlayerEngine::open(const QUrl &url)
{
    close();
    m_streamRetries = 0;
    m_loadRetries = 0;
    if (m_url != url) {
        m_url = url;
        emit urlChanged();
    }
    m_rate = 0.f;
    emit rateChanged();
    setStatus(Status::Loading);
    if (!buildPipeline())
        return;
    if (!startPreroll()) {
        // The element's own error message is already queued and says more; this
        // only covers an element that failed without one.
        QMetaObject::invokeMethod(
            this,
            [this, relay = m_relay] {
                if (m_relay == relay && m_status == Status::Loading)
                    fail(tr("This item couldn't be played."));
            },
            Qt::QueuedConnection);
    }
}

bool PlayerEngine::buildPipeline()
{
    auto pipeline = std::make_unique<Pipeline>();
    pipeline->playbin.reset(gst_element_factory_make("playbin3", nullptr));
    GstElement *audioSink = gst_element_factory_make(audioSinkFor(m_audioSinkFactory).constData(), nullptr);
    GstElement *videoSink = gst_element_factory_make("appsink", nullptr);
    GstElement *filter = makeAudioFilter(m_effects, m_keepPitch);
    if (!pipeline->playbin || !audioSink || !videoSink || !filter) {
        for (GstElement *e : {audioSink, videoSink, filter}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        fail(tr("The media framework is missing a part needed for playback."));
        return false;
    }
    gst_object_ref_sink(pipeline->playbin.get());

    if (g_object_class_find_property(G_OBJECT_GET_CLASS(audioSink), "sync"))
        g_object_set(audioSink, "sync", TRUE, nullptr);
    // I420 first: what software decoders give, so most video needs no conversion here.
    CapsPtr videoCaps(gst_caps_from_string("video/x-raw,format={I420,NV12,RGBA}"));
    g_object_set(videoSink, "caps", videoCaps.get(), "sync", TRUE, "max-buffers", 2u,
                 "enable-last-sample", FALSE, "qos", TRUE, nullptr);

    m_relay = std::make_shared<Relay>(this);
    m_relay->m_wantFrames = !m_videoSink.isNull();
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = onPreroll;
    callbacks.new_sample = onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoSink), &callbacks,
                               new std::shared_ptr<Relay>(m_relay), deleteRelay);

    const QByteArray uri = m_url.toEncoded();
    g_object_set(pipeline->playbin.get(), "uri", uri.constData(), "audio-sink", audioSink,
                 "video-sink", videoSink, "audio-filter", filter, "flags", playFlags,
                 "volume", double(m_volume), "mute", gboolean(m_muted), nullptr);
    pipeline->videoSink = videoSink;

    ElementPtr bus(reinterpret_cast<GstElement *>(gst_element_get_bus(pipeline->playbin.get())));
    gst_bus_set_sync_handler(GST_BUS(bus.get()), onBusMessage, new std::shared_ptr<Relay>(m_relay),
                             deleteRelay);
    m_pipeline = std::move(pipeline);
    return true;
}

// Sets the new pipeline towards its first preroll, watched for one that never
// comes (counted from here: a slow synchronous part of the change is not stuck).
bool PlayerEngine::startPreroll()
{
    const bool started = gst_element_set_state(m_pipeline->playbin.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    m_loadWatchdog->start();
    return started;
}

void PlayerEngine::close()
{
    m_timer->stop();
    m_loadWatchdog->stop();
    finishSeeks(false);
    dropPipeline();
    m_reloadPosition.reset();
    resetItemState();
    setStatus(Status::Idle);
}

void PlayerEngine::dropPipeline()
{
    if (m_relay) {
        m_relay->detach();
        m_relay.reset();
    }
    if (!m_pipeline)
        return;
    std::shared_ptr<Pipeline> old(m_pipeline.release());
    teardownPool().start([old] {
        gst_element_set_state(old->playbin.get(), GST_STATE_NULL);
    });
}

void PlayerEngine::resetItemState()
{
    m_error.clear();
    m_prerolled = false;
    m_atEnd = false;
    m_appliedRate = 0.f;
    m_seekTarget.reset();
    m_deferredSeek.reset();
    m_lastFrameTime = -1;
    m_frameDuration = 0;
    if (m_rate != 0.f) {
        m_rate = 0.f;
        emit rateChanged();
    }
    if (m_duration != 0) {
        m_duration = 0;
        emit durationChanged();
    }
    if (!m_naturalSize.isEmpty() || m_rotation != 0) {
        m_naturalSize = QSize();
        m_rotation = 0;
        emit naturalSizeChanged();
    }
    if (m_hasAudio || m_hasVideo) {
        m_hasAudio = m_hasVideo = false;
        emit tracksChanged();
    }
    if (!m_cover.isNull()) {
        m_cover = QImage();
        emit coverImageChanged();
    }
}

void PlayerEngine::setRate(float rate)
{
    if (m_status == Status::Idle || m_status == Status::Failed)
        return;
    const float wanted = rate <= 0.f ? 0.f : std::clamp(rate, minRate, maxRate);
    if (wanted == m_rate)
        return;
    m_rate = wanted;
    emit rateChanged();
    applyRate();
}

// Brings the pipeline to the requested rate: paused for 0, otherwise playing,
// with a seek in place when the speed itself changes.
void PlayerEngine::applyRate()
{
    if (!m_pipeline || !m_prerolled || m_reloadPosition)
        return;
    GstElement *playbin = m_pipeline->playbin.get();
    if (m_rate == 0.f) {
        gst_element_set_state(playbin, GST_STATE_PAUSED);
        return;
    }
    if (m_atEnd) {
        // Playing again from the end starts over, as a finished player does.
        m_atEnd = false;
        startSeek(0, true, m_rate);
    } else if (m_rate != m_appliedRate) {
        startSeek(position(), true, m_rate);
    }
    gst_element_set_state(playbin, GST_STATE_PLAYING);
}

void PlayerEngine::setKeepPitch(bool on)
{
    if (m_keepPitch == on)
        return;
    m_keepPitch = on;
    emit keepPitchChanged();
    if (m_pipeline && m_prerolled)
        reload();
}

// A new pipeline on the same item at the same place, for a changed audio filter.
// The item stays Ready to the outside; frames and reports pause briefly.
void PlayerEngine::reload()
{
    m_reloadPosition = position();
    m_timer->stop();
    dropPipeline();
    m_prerolled = false;
    m_appliedRate = 0.f;
    if (buildPipeline())
        startPreroll();
}

void PlayerEngine::setVolume(float volume)
{
    volume = std::clamp(volume, 0.f, 1.f);
    if (volume == m_volume)
        return;
    m_volume = volume;
    if (m_pipeline)
        g_object_set(m_pipeline->playbin.get(), "volume", double(volume), nullptr);
    emit volumeChanged();
}

void PlayerEngine::setMuted(bool muted)
{
    if (muted == m_muted)
        return;
    m_muted = muted;
    if (m_pipeline)
        g_object_set(m_pipeline->playbin.get(), "mute", gboolean(muted), nullptr);
    emit mutedChanged();
}

double PlayerEngine::position() const
{
    if (m_reloadPosition)
        return *m_reloadPosition;
    if (m_seekTarget)
        return *m_seekTarget;
    if (!m_pipeline || !m_prerolled)
        return m_deferredSeek ? m_deferredSeek->first : 0;
    gint64 now = 0;
    if (!gst_element_query_position(m_pipeline->playbin.get(), GST_FORMAT_TIME, &now) || now < 0)
        return 0;
    return toSeconds(now);
}

void PlayerEngine::seek(double seconds, double toleranceBefore, double toleranceAfter, SeekDone done)
{
    if (!m_pipeline || m_status == Status::Failed) {
        if (done)
            QMetaObject::invokeMethod(this, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    const bool exact = toleranceBefore <= 0 && toleranceAfter <= 0;
    finishSeeks(false);
    if (done)
        m_seekWaiters.push_back(std::move(done));
    if (!m_prerolled || m_reloadPosition) {
        m_deferredSeek = std::make_pair(std::max(seconds, 0.0), exact);
        return;
    }
    m_atEnd = false;
    startSeek(seconds, exact, m_rate);
}

void PlayerEngine::startSeek(double seconds, bool exact, float rate)
{
    seconds = std::max(seconds, 0.0);
    const double speed = rate > 0.f ? rate : (m_appliedRate > 0.f ? m_appliedRate : 1.0);
    const auto flags = GstSeekFlags(GST_SEEK_FLAG_FLUSH
                                    | (exact ? GST_SEEK_FLAG_ACCURATE
                                             : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_NEAREST));
    if (!gst_element_seek(m_pipeline->playbin.get(), speed, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          toNanoseconds(seconds), GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE)) {
        finishSeeks(false);
        return;
    }
    m_appliedRate = float(speed);
    m_seekTarget = seconds;
}

void PlayerEngine::finishSeeks(bool finished)
{
    if (!finished)
        m_seekTarget.reset();
    auto waiters = std::exchange(m_seekWaiters, {});
    if (waiters.empty())
        return;
    // Callbacks run from the event loop so they may start new seeks freely.
    QMetaObject::invokeMethod(
        this,
        [waiters = std::move(waiters), finished] {
            for (const SeekDone &done : waiters)
                done(finished);
        },
        Qt::QueuedConnection);
}

void PlayerEngine::stepFrames(int frames)
{
    pause();
    if (!m_pipeline || !m_prerolled || frames == 0)
        return;
    const double frame = m_frameDuration > 0 ? m_frameDuration : 1.0 / 25;
    // After an exact seek the decoder stamps a frame with the seek position rather
    // than its own start, so the frame index comes from the frame grid.
    const double from = m_lastFrameTime >= 0 ? m_lastFrameTime : position();
    const double index = std::floor(from / frame + 1e-3);
    // A quarter frame past the wanted frame's start keeps rounding from landing
    // on its neighbour.
    double target = (index + frames + 0.25) * frame;
    if (m_duration > 0)
        target = std::min(target, std::max(m_duration - frame * 0.75, 0.0));
    target = std::max(target, 0.0);
    finishSeeks(false);
    m_atEnd = false;
    startSeek(target, true, m_rate);
}

void PlayerEngine::setVideoSink(QVideoSink *sink)
{
    m_videoSink = sink;
    if (m_relay)
        m_relay->m_wantFrames = sink != nullptr;
}

QVideoSink *PlayerEngine::videoSink() const
{
    return m_videoSink;
}

void PlayerEngine::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged(status);
}

void PlayerEngine::fail(const QString &message)
{
    m_timer->stop();
    m_loadWatchdog->stop();
    finishSeeks(false);
    m_error = message;
    if (m_rate != 0.f) {
        m_rate = 0.f;
        emit rateChanged();
    }
    setStatus(Status::Failed);
    emit errorOccurred(message);
}

void PlayerEngine::handleMessage(void *data)
{
    auto *message = static_cast<GstMessage *>(data);
    if (m_status == Status::Failed)
        return;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        handleError(message);
        break;
    case GST_MESSAGE_EOS:
        handleEndOfStream();
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline->playbin.get()))
            handleAsyncDone();
        break;
    case GST_MESSAGE_TAG:
        handleTags(message);
        break;
    case GST_MESSAGE_STREAMS_SELECTED:
        handleStreams(message);
        break;
    case GST_MESSAGE_DURATION_CHANGED:
        updateDuration();
        break;
    default:
        break;
    }
}

void PlayerEngine::handleError(void *data)
{
    GError *error = nullptr;
    gchar *debug = nullptr;
    auto *message = static_cast<GstMessage *>(data);
    gst_message_parse_error(message, &error, &debug);
    const QString text = plainError(error);
    Log::warning(Log::Area::player,
                 QStringLiteral("Playback failed in %1: %2")
                     .arg(QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))),
                          error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error")));
    if (error)
        g_error_free(error);
    g_free(debug);
    if (retryStream())
        return;
    fail(text);
}

// A playlist that is still being written can trip the HLS reader when it turns
// from growing to finished under its feet; the stream itself is fine, so the
// same place is opened again a few times before the error stands.
bool PlayerEngine::retryStream()
{
    const bool stream = m_url.scheme() == QLatin1String("http") || m_url.scheme() == QLatin1String("https");
    if (!stream || m_streamRetries >= 3)
        return false;
    ++m_streamRetries;
    const double at = m_reloadPosition.value_or(m_prerolled ? position() : 0.0);
    m_timer->stop();
    dropPipeline();
    QTimer::singleShot(500, this, [this, url = m_url, at] {
        if (m_url != url || m_pipeline || m_status == Status::Failed || m_status == Status::Idle)
            return;
        Log::info(Log::Area::player, QStringLiteral("Player: reopening the stream at %1 s").arg(at, 0, 'f', 1));
        // Before the first preroll the item is still loading and starts where asked.
        if (m_status == Status::Ready)
            m_reloadPosition = at;
        m_prerolled = false;
        m_appliedRate = 0.f;
        if (buildPipeline())
            startPreroll();
    });
    return true;
}

// GStreamer 1.22's decodebin3 can, rarely and mostly on a busy machine, expose one
// stream of a file and never the other, leaving the first preroll waiting
// forever. A fresh pipeline does not repeat it, so a load that shows nothing for
// a while starts over at the same place; a slow source only loses a few seconds.
void PlayerEngine::reloadStuckItem()
{
    if (!m_pipeline || m_prerolled || m_loadRetries >= maxLoadRetries)
        return;
    ++m_loadRetries;
    Log::info(Log::Area::player, QStringLiteral("Player: the item did not load in %1 s; opening it again")
                                     .arg(loadWatchdogMs / 1000));
    dropPipeline();
    if (buildPipeline())
        startPreroll();
}

void PlayerEngine::handleEndOfStream()
{
    if (m_reloadPosition)
        return;
    m_atEnd = true;
    if (m_pipeline)
        gst_element_set_state(m_pipeline->playbin.get(), GST_STATE_PAUSED);
    if (m_rate != 0.f) {
        m_rate = 0.f;
        emit rateChanged();
    }
    updateDuration();
    emit timeReport(position());
    emit endOfStream();
}

void PlayerEngine::handleAsyncDone()
{
    if (!m_prerolled) {
        m_prerolled = true;
        m_loadWatchdog->stop();
        readVideoCaps();
        updateDuration();
        if (m_reloadPosition) {
            const double at = *std::exchange(m_reloadPosition, std::nullopt);
            startSeek(at, true, m_rate);
        } else {
            setStatus(Status::Ready);
        }
        if (m_deferredSeek) {
            const auto [at, exact] = *std::exchange(m_deferredSeek, std::nullopt);
            startSeek(at, exact, m_rate);
        }
        m_timer->start();
        applyRate();
        if (!m_seekTarget)
            emit timeReport(position());
        return;
    }
    // The end of a flushing seek (or of a rate change, which is one).
    readVideoCaps();
    if (m_seekTarget) {
        m_seekTarget.reset();
        finishSeeks(true);
        emit timeReport(position());
    }
}

void PlayerEngine::handleTags(void *data)
{
    GstTagList *list = nullptr;
    gst_message_parse_tag(static_cast<GstMessage *>(data), &list);
    if (!list)
        return;
    std::unique_ptr<GstTagList, TagListUnref> tags(list);

    gchar *orientation = nullptr;
    if (gst_tag_list_get_string(list, GST_TAG_IMAGE_ORIENTATION, &orientation)) {
        const int degrees = rotationFromTag(orientation);
        g_free(orientation);
        if (m_relay)
            m_relay->m_rotation = degrees;
        if (degrees != m_rotation) {
            m_rotation = degrees;
            readVideoCaps();
            emit naturalSizeChanged();
        }
    }

    if (!m_cover.isNull())
        return;
    for (const char *tag : {GST_TAG_IMAGE, GST_TAG_PREVIEW_IMAGE}) {
        GstSample *sample = nullptr;
        if (!gst_tag_list_get_sample(list, tag, &sample))
            continue;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        QImage image;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            image = QImage::fromData(map.data, int(map.size));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        if (!image.isNull()) {
            m_cover = image;
            emit coverImageChanged();
            return;
        }
    }
}

void PlayerEngine::handleStreams(void *data)
{
    auto *message = static_cast<GstMessage *>(data);
    bool audio = false;
    bool video = false;
    const guint count = gst_message_streams_selected_get_size(message);
    for (guint i = 0; i < count; ++i) {
        GstStream *stream = gst_message_streams_selected_get_stream(message, i);
        const GstStreamType type = gst_stream_get_stream_type(stream);
        audio = audio || (type & GST_STREAM_TYPE_AUDIO);
        video = video || (type & GST_STREAM_TYPE_VIDEO);
        gst_object_unref(stream);
    }
    if (audio != m_hasAudio || video != m_hasVideo) {
        m_hasAudio = audio;
        m_hasVideo = video;
        emit tracksChanged();
    }
}

void PlayerEngine::readVideoCaps()
{
    if (!m_pipeline)
        return;
    ElementPtr pad(reinterpret_cast<GstElement *>(
        gst_element_get_static_pad(m_pipeline->videoSink, "sink")));
    CapsPtr caps(pad ? gst_pad_get_current_caps(GST_PAD(pad.get())) : nullptr);
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps.get()))
        return;
    int width = GST_VIDEO_INFO_WIDTH(&info);
    int height = GST_VIDEO_INFO_HEIGHT(&info);
    if (GST_VIDEO_INFO_PAR_N(&info) > 0 && GST_VIDEO_INFO_PAR_D(&info) > 0)
        width = int(std::lround(double(width) * GST_VIDEO_INFO_PAR_N(&info) / GST_VIDEO_INFO_PAR_D(&info)));
    if (GST_VIDEO_INFO_FPS_N(&info) > 0 && GST_VIDEO_INFO_FPS_D(&info) > 0)
        m_frameDuration = double(GST_VIDEO_INFO_FPS_D(&info)) / GST_VIDEO_INFO_FPS_N(&info);
    const QSize size = (m_rotation == 90 || m_rotation == 270) ? QSize(height, width)
                                                               : QSize(width, height);
    if (size != m_naturalSize) {
        m_naturalSize = size;
        emit naturalSizeChanged();
    }
}

void PlayerEngine::deliverFrame()
{
    if (!m_relay)
        return;
    double time = -1;
    const QVideoFrame frame = m_relay->takeFrame(time);
    if (time >= 0)
        m_lastFrameTime = time;
    if (m_naturalSize.isEmpty())
        readVideoCaps();
    if (m_videoSink && frame.isValid())
        m_videoSink->setVideoFrame(frame);
}

void PlayerEngine::report()
{
    updateDuration();
    emit timeReport(position());
}

void PlayerEngine::updateDuration()
{
    if (!m_pipeline || !m_prerolled)
        return;
    gint64 length = 0;
    if (!gst_element_query_duration(m_pipeline->playbin.get(), GST_FORMAT_TIME, &length) || length <= 0)
        return;
    const double seconds = toSeconds(length);
    if (std::fabs(seconds - m_duration) > 1e-6) {
        m_duration = seconds;
        emit durationChanged();
    }
}
