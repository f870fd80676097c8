#include "core/Legal.h"

#include "core/MediaApp.h"

#include <QFileInfo>

namespace Legal {

QUrl page(const QString &name, const QString &resources)
{
    const QString file = name + QStringLiteral(".html");
    const QString local = resources + QStringLiteral("/Legal/") + file;
    if (!resources.isEmpty() && QFileInfo(local).isFile())
        return QUrl::fromLocalFile(QFileInfo(local).absoluteFilePath());
    return QUrl(QString::fromLatin1(siteRoot) + file);
}

QUrl privacy() { return page(QStringLiteral("privacy"), MediaApp::resources()); }
QUrl terms() { return page(QStringLiteral("terms"), MediaApp::resources()); }
QUrl openSource() { return page(QStringLiteral("open-source"), MediaApp::resources()); }

QUrl support()
{
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(supportEmail));
}

} // namespace Legal
