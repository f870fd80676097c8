#include "converter/ConverterEngine.h"

#include "engine/ConvertTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace ConverterEngine {

namespace {

QMutex reservationLock;
QSet<QString> &reservations()
{
    static QSet<QString> set;
    return set;
}

QString standardized(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// A dangling symbolic link counts as taken: writing there would follow it.
bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString suffix(int n)
{
    if (n == 0)
        return {};
    if (n == 1)
        return QStringLiteral(" (converted)");
    return QStringLiteral(" (converted %1)").arg(n);
}

} // namespace

QString outputURL(const QString &source, const ConvertTarget &target, const QString &folder, bool isFolder)
{
    const QFileInfo info(source);
    const QString dir = folder.isEmpty() ? info.absolutePath() : folder;
    const QString base = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString self = standardized(source);

    QMutexLocker lock(&reservationLock);
    for (int n = 0;; ++n) {
        const QString name = isFolder ? base + suffix(n) + QStringLiteral(" pages")
                                      : base + suffix(n) + QLatin1Char('.') + target.ext;
        const QString candidate = standardized(QDir(dir).filePath(name));
        if (candidate == self || taken(candidate) || reservations().contains(candidate))
            continue;
        reservations().insert(candidate);
        return candidate;
    }
}

void release(const QString &output)
{
    QMutexLocker lock(&reservationLock);
    reservations().remove(standardized(output));
}

QString uniqueURL(const QString &path)
{
    if (!taken(path))
        return path;
    const QFileInfo info(path);
    const QString base = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString ext = info.completeBaseName().isEmpty() ? QString() : info.suffix();
    for (int n = 2;; ++n) {
        QString name = base + QLatin1Char(' ') + QString::number(n);
        if (!ext.isEmpty())
            name += QLatin1Char('.') + ext;
        const QString candidate = info.dir().filePath(name);
        if (!taken(candidate))
            return candidate;
    }
}

} // namespace ConverterEngine
