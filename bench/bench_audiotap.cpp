// CPU time of the audio tap per second of 48 kHz stereo audio, with the equalizer
// on ("Rock") and gain 2, beside GStreamer's equalizer-10bands on the same buffers.
//
// Both run as in-place elements in the same pipeline (appsrc ! ELEMENT ! fakesink,
// no clock), with an identity element as the baseline whose cost is subtracted;
// the tap's own process() is also timed called directly, without a pipeline.
//
//   bench_audiotap [SECONDS_OF_AUDIO] [ROUNDS]
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include "player/AudioTapElement.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerAudioTap.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr int channels = 2;
constexpr int framesPerBuffer = 1024;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Music-like test signal: a few tones plus noise, peaking near 0.5.
std::vector<float> makeAudio(int seconds)
{
    std::vector<float> out(size_t(rate) * seconds * channels);
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.f, 0.03f);
    for (size_t i = 0; i < out.size() / channels; ++i) {
        const double t = double(i) / rate;
        const float v = float(0.2 * std::sin(2 * M_PI * 55 * t) + 0.1 * std::sin(2 * M_PI * 440 * t)
                              + 0.05 * std::sin(2 * M_PI * 5000 * t))
                        + noise(random);
        out[i * 2] = v;
        out[i * 2 + 1] = -v;
    }
    return out;
}

// CPU seconds for pushing `audio` through appsrc ! element ! fakesink.
double runPipeline(GstElement *element, const std::vector<float> &audio)
{
    GstElement *pipeline = gst_pipeline_new(nullptr);
    GstElement *src = gst_element_factory_make("appsrc", nullptr);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    GstCaps *caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved,rate=48000,channels=2");
    g_object_set(src, "caps", caps, "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes", guint64(1) << 20,
                 nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, element, sink, nullptr);
    gst_element_link_many(src, element, sink, nullptr);

    // Buffers are made before timing starts; each is written in place once.
    std::vector<GstBuffer *> buffers;
    const size_t samplesPerBuffer = size_t(framesPerBuffer) * channels;
    for (size_t at = 0; at + samplesPerBuffer <= audio.size(); at += samplesPerBuffer) {
        GstBuffer *b = gst_buffer_new_memdup(audio.data() + at, samplesPerBuffer * sizeof(float));
        GST_BUFFER_PTS(b) = gst_util_uint64_scale(at / channels, GST_SECOND, rate);
        GST_BUFFER_DURATION(b) = gst_util_uint64_scale(framesPerBuffer, GST_SECOND, rate);
        buffers.push_back(b);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const double start = cpuSeconds();
    for (GstBuffer *b : buffers)
        gst_app_src_push_buffer(GST_APP_SRC(src), b);
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *done = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                                  GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const double used = cpuSeconds() - start;
    if (GST_MESSAGE_TYPE(done) == GST_MESSAGE_ERROR)
        std::fprintf(stderr, "pipeline error\n");
    gst_message_unref(done);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return used;
}

GstElement *equalizer(const PlayerAudioEffects::Bands &bands)
{
    GstElement *e = gst_element_factory_make("equalizer-10bands", nullptr);
    for (int i = 0; i < 10; ++i)
        g_object_set(e, QStringLiteral("band%1").arg(i).toUtf8().constData(), double(bands[size_t(i)]), nullptr);
    return e;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    AudioTapElement::registerElement();
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 60;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 5;
    const std::vector<float> audio = makeAudio(seconds);
    const auto bands = PlayerAudioEffects::preset(QStringLiteral("Rock"))->bands;

    auto effects = std::make_shared<PlayerAudioEffects>();
    effects->setGain(2.f);
    effects->setBands(bands);

    std::vector<double> direct, identity, tap, eq, eqVolume;
    for (int r = 0; r < rounds; ++r) {
        {
            std::vector<float> work = audio;
            PlayerAudioTap t(effects);
            t.prepare(rate, true);
            const double start = cpuSeconds();
            const size_t step = size_t(framesPerBuffer) * channels;
            for (size_t at = 0; at + step <= work.size(); at += step)
                t.process(work.data() + at, framesPerBuffer, channels);
            direct.push_back(cpuSeconds() - start);
        }
        identity.push_back(runPipeline(gst_element_factory_make("identity", nullptr), audio));
        tap.push_back(runPipeline(AudioTapElement::create(effects), audio));
        eq.push_back(runPipeline(equalizer(bands), audio));
        // equalizer-10bands has no gain of its own: add the 2x as a volume element.
        GstElement *bin = gst_bin_new(nullptr);
        GstElement *e = equalizer(bands);
        GstElement *v = gst_element_factory_make("volume", nullptr);
        g_object_set(v, "volume", 2.0, nullptr);
        gst_bin_add_many(GST_BIN(bin), e, v, nullptr);
        gst_element_link(e, v);
        gst_element_add_pad(bin, gst_ghost_pad_new("sink", gst_element_get_static_pad(e, "sink")));
        gst_element_add_pad(bin, gst_ghost_pad_new("src", gst_element_get_static_pad(v, "src")));
        eqVolume.push_back(runPipeline(bin, audio));
    }

    const double base = median(identity);
    const auto perSecond = [&](double cpu) { return cpu / seconds * 1000.0; };
    std::printf("%d s of 48 kHz stereo F32, %d-frame buffers, %d rounds (medians), CPU ms per second of audio:\n",
                seconds, framesPerBuffer, rounds);
    std::printf("  tap process() called directly (EQ Rock, gain 2): %7.3f ms/s = %.3f %% of one core\n",
                perSecond(median(direct)), perSecond(median(direct)) / 10);
    std::printf("  pipeline baseline (identity):                      %7.3f ms/s\n", perSecond(base));
    std::printf("  zmaudiotap element, minus baseline:                %7.3f ms/s = %.3f %% of one core\n",
                perSecond(median(tap) - base), perSecond(median(tap) - base) / 10);
    std::printf("  equalizer-10bands, minus baseline:                 %7.3f ms/s = %.3f %% of one core\n",
                perSecond(median(eq) - base), perSecond(median(eq) - base) / 10);
    std::printf("  equalizer-10bands + volume 2, minus baseline:      %7.3f ms/s\n",
                perSecond(median(eqVolume) - base));
    return 0;
}
