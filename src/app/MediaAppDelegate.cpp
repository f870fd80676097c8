#include "app/MediaAppDelegate.h"

#include "app/AppRoutes.h"
#include "core/MediaApp.h"
#include "log/Log.h"
#include "media/MediaFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>

namespace {

QString prettySystemName()
{
    QFile release(QStringLiteral("/etc/os-release"));
    if (release.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : release.readAll().split('\n')) {
            if (!line.startsWith("PRETTY_NAME="))
                continue;
            QString value = QString::fromUtf8(line.mid(12)).trimmed();
            if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
                value = value.mid(1, value.size() - 2);
            if (!value.isEmpty())
                return value;
        }
    }
    return QSysInfo::prettyProductName();
}

} // namespace

MediaAppDelegate::MediaAppDelegate(AppRoutes &routes, QObject *parent)
    : QObject(parent)
    , m_routes(routes)
{
}

QString MediaAppDelegate::launchLine()
{
    QString version = MediaApp::version();
    if (version.isEmpty())
        version = QStringLiteral("?");
    return QStringLiteral("Launched ") + MediaApp::name() + QLatin1Char(' ') + version + QStringLiteral(" on ")
        + prettySystemName() + QLatin1Char(' ') + QSysInfo::kernelVersion();
}

void MediaAppDelegate::applicationDidFinishLaunching()
{
    Log::info(Log::Area::app, launchLine());
    m_routes.startUpdates();
    m_routes.reconnectShares();
    m_routes.prunePlayback();
    QTimer::singleShot(0, this, [this] {
        if (!m_openedFiles)
            m_routes.showLibrary();
        emit launchFinished();
    });
}

void MediaAppDelegate::openFiles(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        // A missing file would still pass the classifier by its extension.
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile() || !MediaFile::kind(url))
            continue;
        if (!m_openedFiles) {
            m_openedFiles = true;
            emit openedFilesChanged();
        }
        m_routes.openPlayer(url);
    }
}

bool MediaAppDelegate::reopen()
{
    if (!m_routes.hasVisibleWindows())
        m_routes.showLibrary();
    return true;
}

void MediaAppDelegate::convertFiles(const QList<QUrl> &urls)
{
    m_routes.convertFiles(urls);
}
