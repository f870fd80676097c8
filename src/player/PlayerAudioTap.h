#pragma once

#include <QtGlobal>

#include <array>
#include <memory>
#include <span>

class PlayerAudioEffects;

// The per-stream filter state behind the window's boost and equalizer. It runs on
// the audio streaming thread: process() takes no lock except the short params copy
// at the start of a buffer, and allocates nothing.
class PlayerAudioTap
{
public:
    static constexpr int maxChannels = 8;
    static constexpr int bands = 10;
    // b0, b1, b2, a1, a2, normalised by a0.
    using Section = std::array<float, 5>;

    // One buffer of a buffer list: interleaved 32-bit float samples.
    struct Buffer
    {
        float *data = nullptr;
        qsizetype byteSize = 0;
        int channels = 1;
    };

    explicit PlayerAudioTap(std::shared_ptr<PlayerAudioEffects> effects);

    // Called with the stream format before processing starts. Formats that are not
    // 32-bit float PCM are not `usable` and pass through untouched.
    void prepare(double sampleRate, bool usable);
    // Processes a buffer list in place; channels are numbered across the buffers.
    void process(std::span<Buffer> buffers);
    // One interleaved buffer of `frames` frames of `channels` channels, in place.
    void process(float *samples, qsizetype frames, int channels);

    // The biquad section of band `band` (0...9) at `gainDb` for sample rate `fs`.
    static Section section(int band, float gainDb, double fs);

    double sampleRate() const { return m_sampleRate; }
    bool usable() const { return m_usable; }
    float gain() const { return m_gain; }
    bool eqOn() const { return m_eqOn; }
    Section coefficients(int band) const;

private:
    void refresh();
    void run(float *samples, qsizetype frames, int stride, int channel);

    std::shared_ptr<PlayerAudioEffects> m_effects;
    double m_sampleRate = 44100;
    bool m_usable = false;
    qint64 m_version = -1;
    float m_gain = 1.0f;
    bool m_eqOn = false;
    std::array<float, bands * 5> m_coefficients{};
    std::array<float, maxChannels * bands * 2> m_memory{};
};
