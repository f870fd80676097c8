#include "platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileManager {

namespace {
const QString kService = QStringLiteral("org.freedesktop.FileManager1");

bool showOverDBus(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // A service that is only activatable is not registered yet, but still answers.
    const auto activatable = bus.interface()->activatableServiceNames();
    if (!bus.interface()->isServiceRegistered(kService) && !activatable.value().contains(kService))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       kService, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    return bus.send(call);
}
} // namespace

bool showItem(const QString &path)
{
    if (showOverDBus(path))
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace FileManager
