#pragma once

#include <QString>
#include <QStringList>

// Media for the engine's tests and benchmarks, made by ffmpeg in `dir` on demand.
// Each returns the file's path, or an empty string when ffmpeg failed.
namespace EngineMedia {

// H.264 (yuv420p, a key frame every 2 s) + AAC in Matroska, with an English subtitle track.
QString h264AacMkv(const QString &dir, double seconds = 2, const QString &size = QStringLiteral("320x240"),
                   const QString &name = QStringLiteral("h264.mkv"));
QString hevcMkv(const QString &dir, double seconds = 2);
// MPEG-4 visual (mpeg4) + MP3 in AVI.
QString mpeg4Mp3Avi(const QString &dir, double seconds = 2, const QString &name = QStringLiteral("part2.avi"));
QString vp9OpusWebm(const QString &dir, double seconds = 2, const QString &size = QStringLiteral("320x240"),
                    const QString &name = QStringLiteral("vp9.webm"));
QString opusFile(const QString &dir, double seconds = 2);
// MP3 with a JPEG cover picture (attached_pic) and no real video.
QString coverArtMp3(const QString &dir);
// MP4 with a real H.264 video, AAC and a cover picture.
QString coverArtMp4(const QString &dir);
// A Matroska file whose header is intact but whose data past byte 800 is noise.
QString damagedMkv(const QString &dir);
// A text file named .mkv.
QString textNamedMkv(const QString &dir);

// `count` bytes of fixed pseudo-random noise.
QByteArray noise(qsizetype count, quint32 seed = 3);

} // namespace EngineMedia
