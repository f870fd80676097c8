#pragma once

#include <QString>
#include <QStringList>

// The H.264, HEVC and AAC encoders that conversions use. `current()` is chosen once
// per run: VAAPI when a render node exists and a one-frame test encode works, else
// libx264/libx265. `macOS()` is the hardware set of the original platform, kept so
// argument lists can be checked exactly as first written.
//
// Argument builders take a set and ask it for the pieces that differ:
//   args << set.inputOptions() << "-i" << path
//        << set.videoEncoder(EncoderSet::Codec::h264, 65)
//        << "-vf" << set.videoFilter("format=yuv420p")
//        << set.audioEncoder("192k");
// gives "-c:v h264_videotoolbox -q:v 65 -vf format=yuv420p -c:a aac_at -b:a 192k"
// for the macOS set and "-c:v libx264 -preset veryfast -crf 22 ... -c:a aac ..." for
// the software set.
class EncoderSet
{
public:
    enum class Kind { macOS, vaapi, software };
    enum class Codec { h264, hevc };

    static EncoderSet macOS();
    static EncoderSet software();
    static EncoderSet vaapi(const QString &renderNode);

    // The set for this run, detected on first call (thread-safe, cached).
    static const EncoderSet &current();

    // Detection with explicit inputs: `renderNode` empty means none exists.
    static EncoderSet detect(const QString &ffmpeg, const QString &renderNode);

    // The first /dev/dri/renderD* node, or empty.
    static QString findRenderNode();

    Kind kind() const { return m_kind; }
    QString h264() const { return m_h264; }
    QString hevc() const { return m_hevc; }
    QString aac() const { return m_aac; }
    QString renderNode() const { return m_renderNode; }
    QString name(Codec codec) const { return codec == Codec::h264 ? m_h264 : m_hevc; }

    // Options placed before the first "-i" (the VAAPI device); empty otherwise.
    QStringList inputOptions() const;

    // "-c:v", encoder and its quality options. `quality` is the hardware encoder's
    // 0-100 scale ("-q:v"); the software set turns it into a CRF, VAAPI into a QP.
    QStringList videoEncoder(Codec codec, int quality) const;

    // A "-vf" chain for frames fed to videoEncoder(). VAAPI wants NV12 surfaces
    // uploaded to the device: format=yuv420p becomes format=nv12 and ",hwupload" is
    // appended. Other sets return the chain unchanged.
    QString videoFilter(const QString &chain) const;

    // "-c:a", the AAC encoder, "-b:a", bitrate.
    QStringList audioEncoder(const QString &bitrate) const;

    // The CRF (or QP) the software and VAAPI sets use for a hardware quality value.
    static int crf(Codec codec, int quality);

    friend bool operator==(const EncoderSet &, const EncoderSet &) = default;

private:
    EncoderSet(Kind kind, QString h264, QString hevc, QString aac, QString renderNode = {});

    Kind m_kind;
    QString m_h264;
    QString m_hevc;
    QString m_aac;
    QString m_renderNode;
};
