#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>

namespace TestSupport {

namespace {
const char *const kVars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"};
}

TempHome::TempHome()
{
    for (const char *var : kVars)
        m_saved << qEnvironmentVariable(var);
    const QString root = m_dir.path();
    qputenv("HOME", root.toUtf8());
    const QString sub[] = {QStringLiteral("/.config"), QStringLiteral("/.cache"), QStringLiteral("/.local/state"),
                           QStringLiteral("/.local/share")};
    for (int i = 0; i < 4; ++i) {
        QDir().mkpath(root + sub[i]);
        qputenv(kVars[i + 1], (root + sub[i]).toUtf8());
    }
}

TempHome::~TempHome()
{
    for (int i = 0; i < 5; ++i)
        qputenv(kVars[i], m_saved.value(i).toUtf8());
}

QString TempHome::config() const { return path() + QStringLiteral("/.config"); }
QString TempHome::cache() const { return path() + QStringLiteral("/.cache"); }
QString TempHome::state() const { return path() + QStringLiteral("/.local/state"); }

int run(const QString &program, const QStringList &args, QByteArray *output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString makeMedia(const QString &path, const QStringList &ffmpegArgs)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                     QStringLiteral("-y")};
    args << ffmpegArgs << path;
    QByteArray out;
    if (run(QStringLiteral("ffmpeg"), args, &out) != 0) {
        qWarning("ffmpeg failed for %s: %s", qPrintable(path), out.constData());
        return {};
    }
    return path;
}

QString sourceDir()
{
    return qEnvironmentVariable("ZM_SOURCE_DIR");
}

} // namespace TestSupport
