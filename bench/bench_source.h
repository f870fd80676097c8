#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// A 1080p-class H.264/AAC test source for the converter benchmarks: a moving pattern
// with grain that changes every frame, so encoders have real work. Long sources
// repeat a one-minute piece (stream copy), which keeps making them quick.
inline bool makeBenchSource(const QString &path, int seconds, const QString &size)
{
    const auto ffmpeg = [](const QStringList &args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-loglevel", "error", "-y", "-nostdin"} + args);
        return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    const int piece = std::min(seconds, 60);
    const QString first = seconds > piece ? path + QStringLiteral(".piece.mkv") : path;
    if (!ffmpeg({"-f", "lavfi", "-i", QStringLiteral("testsrc2=d=%1:s=%2:r=30,noise=alls=6:allf=t").arg(piece).arg(size),
                 "-f", "lavfi", "-i", QStringLiteral("sine=d=%1").arg(piece), "-c:v", "libx264", "-preset",
                 "ultrafast", "-crf", "20", "-c:a", "aac", "-shortest", first}))
        return false;
    if (first == path)
        return true;
    const int loops = (seconds + piece - 1) / piece - 1;
    const bool ok = ffmpeg({"-stream_loop", QString::number(loops), "-i", first, "-t", QString::number(seconds), "-c",
                            "copy", path});
    QFile::remove(first);
    return ok;
}
