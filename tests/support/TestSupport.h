#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// Points HOME and the XDG folders at a fresh temporary folder for the life of the
// object. Create it before anything reads those paths (statics cache them).
class TempHome
{
public:
    TempHome();
    ~TempHome();
    QString path() const { return m_dir.path(); }
    QString config() const;  // $XDG_CONFIG_HOME
    QString cache() const;   // $XDG_CACHE_HOME
    QString state() const;   // $XDG_STATE_HOME

private:
    QTemporaryDir m_dir;
    QStringList m_saved;
};

// Runs a program to its end; returns its exit code (-1 when it could not start or
// timed out). Output goes to `output` when given.
int run(const QString &program, const QStringList &args, QByteArray *output = nullptr,
        int timeoutMs = 120000);

// Makes a media file with ffmpeg from lavfi sources, e.g.
// makeMedia(dir + "/a.mkv", {"-f", "lavfi", "-i", "testsrc=d=2", "-c:v", "libx264"}).
// Returns the path, or an empty string when ffmpeg failed.
QString makeMedia(const QString &path, const QStringList &ffmpegArgs);

// The source tree (for fixtures kept beside the tests).
QString sourceDir();

} // namespace TestSupport
