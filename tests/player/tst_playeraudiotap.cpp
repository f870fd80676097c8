// The boost and equalizer: settings, biquad sections, sample processing and the
// GStreamer element that carries them, checked on real numbers.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include "player/AudioTapElement.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerAudioTap.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

using Bands = PlayerAudioEffects::Bands;

namespace {

std::vector<float> sine(double frequency, double fs, double seconds, float amplitude, int channels = 1)
{
    const auto frames = qsizetype(seconds * fs);
    std::vector<float> out(size_t(frames * channels));
    for (qsizetype i = 0; i < frames; ++i) {
        const float v = amplitude * float(std::sin(2 * std::numbers::pi * frequency * double(i) / fs));
        for (int c = 0; c < channels; ++c)
            out[size_t(i * channels + c)] = v;
    }
    return out;
}

double rms(const float *data, qsizetype count, int stride = 1)
{
    double sum = 0;
    for (qsizetype i = 0; i < count; ++i)
        sum += double(data[i * stride]) * data[i * stride];
    return std::sqrt(sum / double(count));
}

// Level change in dB that the tap applies to a steady sine, measured after the
// filters have settled.
double measuredGainDb(const Bands &bands, double frequency, double fs)
{
    auto effects = std::make_shared<PlayerAudioEffects>();
    effects->setBands(bands);
    PlayerAudioTap tap(effects);
    tap.prepare(fs, true);
    // Long enough for a few periods of the lowest test tone, in 4096-frame buffers.
    const double settle = std::max(1.0, 16.0 / frequency);
    const double measure = std::max(1.0, 16.0 / frequency);
    std::vector<float> input = sine(frequency, fs, settle + measure, 0.05f);
    std::vector<float> output = input;
    for (size_t at = 0; at < output.size(); at += 4096)
        tap.process(output.data() + at, qsizetype(std::min<size_t>(4096, output.size() - at)), 1);
    const auto skip = qsizetype(settle * fs);
    const qsizetype count = qsizetype(output.size()) - skip;
    return 20 * std::log10(rms(output.data() + skip, count) / rms(input.data() + skip, count));
}

Bands oneBand(int band, float gain)
{
    Bands bands{};
    bands[size_t(band)] = gain;
    return bands;
}

} // namespace

class TestPlayerAudioTap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void presetsAndLabels()
    {
        const QStringList names{"Flat", "Bass Boost", "Treble Boost", "Voice / Dialogue", "Loudness",
                                "Laptop Speakers", "Night (Soft Bass)", "Movie", "Music", "Rock",
                                "Pop", "Classical"};
        QStringList got;
        for (const auto &p : PlayerAudioEffects::presets())
            got << p.name;
        QCOMPARE(got, names);
        QCOMPARE(PlayerAudioEffects::preset("Night (Soft Bass)")->bands,
                 (Bands{-6, -5, -3, -1, 1, 2, 2, 1, 0, -1}));
        QCOMPARE(PlayerAudioEffects::preset("Pop")->bands, (Bands{-1, 1, 3, 4, 3, 0, -1, -1, 0, 1}));
        QVERIFY(!PlayerAudioEffects::preset("Custom"));
        QCOMPARE(PlayerAudioEffects::bandLabels(),
                 (QStringList{"31", "62", "125", "250", "500", "1K", "2K", "4K", "8K", "16K"}));
        QCOMPARE(PlayerAudioEffects::frequencies.back(), 16000.f);
        QCOMPARE(PlayerAudioEffects::maxBoost, 2.0f);
    }

    void versionCountsEveryChange()
    {
        PlayerAudioEffects effects;
        QCOMPARE(effects.params().version, 0);
        effects.setGain(1.5f);
        effects.setBands(oneBand(3, 4));
        auto p = effects.params();
        QCOMPARE(p.version, 2);
        QCOMPARE(p.gain, 1.5f);
        QCOMPARE(p.bands[3], 4.f);
        effects.setBands(std::nullopt);
        p = effects.params();
        QCOMPARE(p.version, 3);
        QCOMPARE(p.bands, Bands{});

        PlayerAudioEffects::Params copy;
        QVERIFY(!effects.paramsIfChanged(3, copy));
        QVERIFY(effects.paramsIfChanged(2, copy));
        QCOMPARE(copy.version, 3);
    }

    void zeroGainIsIdentity_data()
    {
        QTest::addColumn<int>("band");
        for (int band = 0; band < 10; ++band)
            QTest::addRow("band %d", band) << band;
    }
    void zeroGainIsIdentity()
    {
        QFETCH(int, band);
        const PlayerAudioTap::Section identity{1, 0, 0, 0, 0};
        QCOMPARE(PlayerAudioTap::section(band, 0.f, 44100), identity);
        QVERIFY(PlayerAudioTap::section(band, 3.f, 44100) != identity);
    }

    void peakingBandRaisesItsCentre_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("gain");
        QTest::addColumn<double>("fs");
        for (int band = 1; band <= 8; ++band) {
            const auto f = int(PlayerAudioEffects::frequencies[size_t(band)]);
            QTest::addRow("%d Hz +6 dB at 48k", f) << band << 6.f << 48000.0;
            QTest::addRow("%d Hz -9 dB at 44.1k", f) << band << -9.f << 44100.0;
            QTest::addRow("%d Hz +12 dB at 44.1k", f) << band << 12.f << 44100.0;
        }
    }
    void peakingBandRaisesItsCentre()
    {
        QFETCH(int, band);
        QFETCH(float, gain);
        QFETCH(double, fs);
        const double got = measuredGainDb(oneBand(band, gain), PlayerAudioEffects::frequencies[size_t(band)], fs);
        QVERIFY2(std::fabs(got - gain) <= 0.5, qPrintable(QString::number(got)));
    }

    void shelfReachesItsGain_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("gain");
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("fs");
        QTest::newRow("low shelf +6 at 8 Hz") << 0 << 6.f << 8.0 << 48000.0;
        QTest::newRow("low shelf -12 at 8 Hz") << 0 << -12.f << 8.0 << 44100.0;
        QTest::newRow("low shelf +12 at 10 Hz") << 0 << 12.f << 10.0 << 44100.0;
        QTest::newRow("high shelf +6 at 20 kHz") << 9 << 6.f << 20000.0 << 44100.0;
        QTest::newRow("high shelf -12 at 21 kHz") << 9 << -12.f << 21000.0 << 44100.0;
        QTest::newRow("high shelf +12 at 21 kHz, 48k") << 9 << 12.f << 21000.0 << 48000.0;
    }
    void shelfReachesItsGain()
    {
        QFETCH(int, band);
        QFETCH(float, gain);
        QFETCH(double, frequency);
        QFETCH(double, fs);
        const double got = measuredGainDb(oneBand(band, gain), frequency, fs);
        QVERIFY2(std::fabs(got - gain) <= 0.5, qPrintable(QString::number(got)));
        // A shelf of slope 1 is halfway at its corner.
        const double corner = measuredGainDb(oneBand(band, gain), PlayerAudioEffects::frequencies[size_t(band)], fs);
        QVERIFY2(std::fabs(corner - gain / 2) <= 0.5, qPrintable(QString::number(corner)));
    }

    void unityGainFlatIsBitIdentical()
    {
        auto effects = std::make_shared<PlayerAudioEffects>();
        PlayerAudioTap tap(effects);
        tap.prepare(48000, true);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> any(-1.f, 1.f);
        std::vector<float> input(48000 * 2);
        for (float &v : input)
            v = any(random);
        // After an equalized stretch: switching back to flat must not colour a bit.
        effects->setBands(oneBand(4, 6));
        std::vector<float> warm = input;
        tap.process(warm.data(), 24000, 2);
        QVERIFY(std::memcmp(warm.data(), input.data(), 24000 * 2 * sizeof(float)) != 0);
        effects->setBands(std::nullopt);
        effects->setGain(1.f);
        std::vector<float> output = input;
        tap.process(output.data(), 48000, 2);
        QCOMPARE(std::memcmp(output.data(), input.data(), input.size() * sizeof(float)), 0);
    }

    void boostSoftClipsBelowOne()
    {
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setGain(PlayerAudioEffects::maxBoost);
        PlayerAudioTap tap(effects);
        tap.prepare(48000, true);
        const std::vector<float> input = sine(997, 48000, 1, 1.0f, 2);
        std::vector<float> output = input;
        tap.process(output.data(), 48000, 2);
        float peak = 0;
        int rounded = 0;
        for (size_t i = 0; i < output.size(); ++i) {
            const float doubled = input[i] * 2;
            peak = std::max(peak, std::fabs(output[i]));
            if (std::fabs(doubled) <= 0.8f) {
                QCOMPARE(output[i], doubled);
            } else {
                ++rounded;
                // tanh(t) ~ t just above the knee, so rounding shows from a little higher up.
                QVERIFY(std::fabs(output[i]) > 0.8f);
                QVERIFY(std::fabs(output[i]) <= std::fabs(doubled));
                if (std::fabs(doubled) > 1.0f)
                    QVERIFY(std::fabs(output[i]) < std::fabs(doubled) - 0.01f);
            }
        }
        QVERIFY(peak < 1.0f);
        QVERIFY(peak > 0.99f);
        QVERIFY(rounded > 1000);
    }

    void sixteenKilohertzIsIdentityAt32k()
    {
        QCOMPARE(PlayerAudioTap::section(9, 12.f, 32000), (PlayerAudioTap::Section{1, 0, 0, 0, 0}));
        QVERIFY(PlayerAudioTap::section(9, 12.f, 44100) != (PlayerAudioTap::Section{1, 0, 0, 0, 0}));
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setBands(oneBand(9, 12));
        PlayerAudioTap tap(effects);
        tap.prepare(32000, true);
        const std::vector<float> input = sine(15000, 32000, 0.5, 0.5f);
        std::vector<float> output = input;
        tap.process(output.data(), qsizetype(output.size()), 1);
        QVERIFY(tap.eqOn());
        QCOMPARE(std::memcmp(output.data(), input.data(), input.size() * sizeof(float)), 0);
    }

    void changesApplyOnTheNextBuffer()
    {
        auto effects = std::make_shared<PlayerAudioEffects>();
        PlayerAudioTap tap(effects);
        tap.prepare(44100, true);
        std::vector<float> buffer(64, 0.25f);
        tap.process(buffer.data(), 64, 1);
        QCOMPARE(buffer.back(), 0.25f);
        effects->setGain(1.5f);
        tap.process(buffer.data(), 64, 1);
        QCOMPARE(buffer.front(), 0.375f);
        QCOMPARE(tap.gain(), 1.5f);
    }

    void onlyEightChannels()
    {
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setGain(2.f);
        PlayerAudioTap tap(effects);
        tap.prepare(48000, true);
        std::vector<float> frames(10 * 100, 0.1f);
        tap.process(frames.data(), 100, 10);
        for (int c = 0; c < 10; ++c)
            QCOMPARE(frames[size_t(50 * 10 + c)], c < 8 ? 0.2f : 0.1f);
    }

    void buffersOfOneListShareTheChannelCount()
    {
        // Two mono buffers are channels 0 and 1; each keeps its own filter memory,
        // so both come out as one stereo buffer processed in one go would.
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setBands(PlayerAudioEffects::preset("Rock")->bands);
        const std::vector<float> left = sine(440, 48000, 0.1, 0.3f);
        const std::vector<float> right = sine(3000, 48000, 0.1, 0.3f);
        const auto frames = qsizetype(left.size());

        PlayerAudioTap planar(effects);
        planar.prepare(48000, true);
        std::vector<float> a = left, b = right;
        PlayerAudioTap::Buffer list[] = {{a.data(), frames * 4, 1}, {b.data(), frames * 4, 1}};
        planar.process(std::span<PlayerAudioTap::Buffer>(list));

        PlayerAudioTap interleaved(effects);
        interleaved.prepare(48000, true);
        std::vector<float> both(size_t(frames * 2));
        for (qsizetype i = 0; i < frames; ++i) {
            both[size_t(i * 2)] = left[size_t(i)];
            both[size_t(i * 2 + 1)] = right[size_t(i)];
        }
        interleaved.process(both.data(), frames, 2);
        for (qsizetype i = 0; i < frames; ++i) {
            QCOMPARE(a[size_t(i)], both[size_t(i * 2)]);
            QCOMPARE(b[size_t(i)], both[size_t(i * 2 + 1)]);
        }
        QVERIFY(a != left);
    }

    void unusableFormatPassesThrough()
    {
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setGain(2.f);
        effects->setBands(oneBand(2, 6));
        PlayerAudioTap tap(effects);
        tap.prepare(48000, false);
        std::vector<float> buffer(256, 0.2f);
        tap.process(buffer.data(), 256, 1);
        QCOMPARE(buffer, std::vector<float>(256, 0.2f));
    }

    // The element in a real pipeline: float audio is processed, other formats pass.
    void elementProcessesFloatOnly_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("processed");
        QTest::newRow("F32LE interleaved") << "F32LE" << true;
        QTest::newRow("S16LE") << "S16LE" << false;
    }
    void elementProcessesFloatOnly()
    {
        QFETCH(QString, format);
        QFETCH(bool, processed);
        auto effects = std::make_shared<PlayerAudioEffects>();
        effects->setGain(2.f);
        const QString description =
            QStringLiteral("appsrc name=in format=time caps=audio/x-raw,format=%1,layout=interleaved,"
                           "rate=48000,channels=2 ! zmaudiotap name=tap ! appsink name=out sync=false")
                .arg(format);
        AudioTapElement::registerElement();
        GError *error = nullptr;
        GstElement *pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
        QVERIFY2(pipeline && !error, error ? error->message : "");
        GstElement *tap = gst_bin_get_by_name(GST_BIN(pipeline), "tap");
        AudioTapElement::setEffects(tap, effects);
        gst_object_unref(tap);
        GstElement *in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
        GstElement *out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
        gst_element_set_state(pipeline, GST_STATE_PLAYING);

        const bool isFloat = format.startsWith('F');
        const int bytes = 480 * 2 * (isFloat ? 4 : 2);
        GstBuffer *buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        for (int i = 0; i < 480 * 2; ++i) {
            if (isFloat)
                reinterpret_cast<float *>(map.data)[i] = 0.125f;
            else
                reinterpret_cast<qint16 *>(map.data)[i] = 4096;
        }
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = 0;
        GST_BUFFER_DURATION(buffer) = GST_MSECOND * 10;
        QCOMPARE(gst_app_src_push_buffer(GST_APP_SRC(in), buffer), GST_FLOW_OK);

        GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 10 * GST_SECOND);
        QVERIFY(sample);
        GstBuffer *result = gst_sample_get_buffer(sample);
        gst_buffer_map(result, &map, GST_MAP_READ);
        if (isFloat) {
            const float v = reinterpret_cast<const float *>(map.data)[100];
            QCOMPARE(v, processed ? 0.25f : 0.125f);
        } else {
            QCOMPARE(reinterpret_cast<const qint16 *>(map.data)[100], qint16(4096));
        }
        gst_buffer_unmap(result, &map);
        gst_sample_unref(sample);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(in);
        gst_object_unref(out);
        gst_object_unref(pipeline);
    }
};

QTEST_GUILESS_MAIN(TestPlayerAudioTap)
#include "tst_playeraudiotap.moc"
