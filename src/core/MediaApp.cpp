#include "core/MediaApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace MediaApp {

bool isMoxtrel()
{
    static const bool value = qEnvironmentVariable("ZENTROVA_MEDIA_APP_ID") == QLatin1String(moxtrelID);
    return value;
}

QString name()
{
    static const QString value = isMoxtrel() ? QStringLiteral("Moxtrel") : QStringLiteral("Zentrova Media");
    return value;
}

QString version()
{
    return QStringLiteral(ZM_VERSION);
}

QString resources()
{
    const QString env = qEnvironmentVariable("ZENTROVA_MEDIA_RESOURCES");
    if (!env.isEmpty())
        return env;
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString buildTree = exeDir + QStringLiteral("/resources");
    if (QFileInfo(buildTree).isDir())
        return buildTree;
    return QDir::cleanPath(exeDir + QStringLiteral("/../share/zentrova-media"));
}

} // namespace MediaApp
