#include "player/PlayerAudioTap.h"

#include "player/PlayerAudioEffects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr PlayerAudioTap::Section identity{1.f, 0.f, 0.f, 0.f, 0.f};

inline float softClip(float x)
{
    const float magnitude = std::fabs(x);
    if (magnitude <= 0.8f)
        return x;
    const float rounded = 0.8f + 0.2f * std::tanh((magnitude - 0.8f) / 0.2f);
    return x < 0 ? -rounded : rounded;
}

} // namespace

PlayerAudioTap::PlayerAudioTap(std::shared_ptr<PlayerAudioEffects> effects)
    : m_effects(std::move(effects))
{
}

void PlayerAudioTap::prepare(double sampleRate, bool usable)
{
    m_sampleRate = sampleRate;
    m_usable = usable;
    m_version = -1;
    m_memory.fill(0.f);
}

PlayerAudioTap::Section PlayerAudioTap::section(int band, float gainDb, double fs)
{
    const double f0 = PlayerAudioEffects::frequencies.at(band);
    if (gainDb == 0.f || f0 >= 0.45 * fs)
        return identity;

    const double A = std::pow(10.0, gainDb / 40.0);
    const double w = 2.0 * std::numbers::pi * f0 / fs;
    const double s = std::sin(w);
    const double c = std::cos(w);
    double b0, b1, b2, a0, a1, a2;
    if (band > 0 && band < bands - 1) {
        const double alpha = s / 2.82;
        b0 = 1 + alpha * A;
        b1 = -2 * c;
        b2 = 1 - alpha * A;
        a0 = 1 + alpha / A;
        a1 = -2 * c;
        a2 = 1 - alpha / A;
    } else {
        const double alpha = s / 2 * std::sqrt(2.0);
        const double beta = 2 * std::sqrt(A) * alpha;
        if (band == 0) {
            b0 = A * ((A + 1) - (A - 1) * c + beta);
            b1 = 2 * A * ((A - 1) - (A + 1) * c);
            b2 = A * ((A + 1) - (A - 1) * c - beta);
            a0 = (A + 1) + (A - 1) * c + beta;
            a1 = -2 * ((A - 1) + (A + 1) * c);
            a2 = (A + 1) + (A - 1) * c - beta;
        } else {
            b0 = A * ((A + 1) + (A - 1) * c + beta);
            b1 = -2 * A * ((A - 1) + (A + 1) * c);
            b2 = A * ((A + 1) + (A - 1) * c - beta);
            a0 = (A + 1) - (A - 1) * c + beta;
            a1 = 2 * ((A - 1) - (A + 1) * c);
            a2 = (A + 1) - (A - 1) * c - beta;
        }
    }
    return {float(b0 / a0), float(b1 / a0), float(b2 / a0), float(a1 / a0), float(a2 / a0)};
}

PlayerAudioTap::Section PlayerAudioTap::coefficients(int band) const
{
    Section out;
    std::copy_n(m_coefficients.begin() + band * 5, 5, out.begin());
    return out;
}

void PlayerAudioTap::refresh()
{
    PlayerAudioEffects::Params params;
    if (!m_effects || !m_effects->paramsIfChanged(m_version, params))
        return;
    m_version = params.version;
    m_gain = params.gain;
    m_eqOn = std::any_of(params.bands.begin(), params.bands.end(), [](float g) { return g != 0.f; });
    for (int band = 0; band < bands; ++band) {
        const Section s = section(band, params.bands[band], m_sampleRate);
        std::copy(s.begin(), s.end(), m_coefficients.begin() + band * 5);
    }
}

void PlayerAudioTap::process(std::span<Buffer> buffers)
{
    if (!m_usable)
        return;
    refresh();
    if (m_gain == 1.f && !m_eqOn)
        return;

    int channel = 0;
    for (const Buffer &buffer : buffers) {
        const int channels = std::max(buffer.channels, 1);
        const qsizetype frames = buffer.byteSize / 4 / channels;
        for (int c = 0; c < channels; ++c, ++channel) {
            if (channel >= maxChannels)
                continue;
            run(buffer.data + c, frames, channels, channel);
        }
    }
}

void PlayerAudioTap::process(float *samples, qsizetype frames, int channels)
{
    Buffer buffer{samples, frames * channels * qsizetype(sizeof(float)), channels};
    process(std::span<Buffer>(&buffer, 1));
}

void PlayerAudioTap::run(float *samples, qsizetype frames, int stride, int channel)
{
    float *memory = m_memory.data() + channel * bands * 2;
    const float *k = m_coefficients.data();
    const float gain = m_gain;
    const bool eq = m_eqOn;
    for (qsizetype i = 0; i < frames; ++i) {
        float x = samples[i * stride];
        if (eq) {
            for (int band = 0; band < bands; ++band) {
                const float *q = k + band * 5;
                float &z1 = memory[band * 2];
                float &z2 = memory[band * 2 + 1];
                const float y = q[0] * x + z1;
                z1 = q[1] * x - q[3] * y + z2;
                z2 = q[2] * x - q[4] * y;
                x = y;
            }
        }
        x *= gain;
        samples[i * stride] = softClip(x);
    }
}
