#include "player/MediaDefaults.h"

#include "core/MediaApp.h"
#include "log/Log.h"
#include "platform/DefaultApps.h"

MediaDefaults::MediaDefaults(const QString &desktopId, QObject *parent)
    : QObject(parent), m_desktopId(desktopId)
{
}

MediaDefaults &MediaDefaults::shared()
{
    static MediaDefaults instance(QString::fromLatin1(MediaApp::appID) + QStringLiteral(".desktop"));
    return instance;
}

QString MediaDefaults::rawValue(Group group)
{
    return group == Group::video ? QStringLiteral("video") : QStringLiteral("picture");
}

QStringList MediaDefaults::types(Group group)
{
    if (group == Group::video)
        return {QStringLiteral("video/mp4"),      QStringLiteral("video/quicktime"), QStringLiteral("video/x-msvideo"),
                QStringLiteral("video/mpeg"),     QStringLiteral("video/x-matroska"), QStringLiteral("video/webm"),
                QStringLiteral("video/x-ms-wmv"), QStringLiteral("video/x-flv"),     QStringLiteral("video/x-m4v"),
                QStringLiteral("video/3gpp")};
    return {QStringLiteral("image/jpeg"),         QStringLiteral("image/png"),         QStringLiteral("image/heic"),
            QStringLiteral("image/heif"),         QStringLiteral("image/gif"),         QStringLiteral("image/tiff"),
            QStringLiteral("image/bmp"),          QStringLiteral("image/webp"),        QStringLiteral("image/x-dcraw"),
            QStringLiteral("image/x-adobe-dng"),  QStringLiteral("image/x-canon-cr2"), QStringLiteral("image/x-canon-cr3"),
            QStringLiteral("image/x-nikon-nef"),  QStringLiteral("image/x-sony-arw"),  QStringLiteral("image/x-fuji-raf"),
            QStringLiteral("image/x-olympus-orf"), QStringLiteral("image/x-panasonic-rw2"),
            QStringLiteral("image/x-pentax-pef")};
}

QVariantMap MediaDefaults::isDefaultMap() const
{
    QVariantMap map;
    for (auto it = m_isDefault.cbegin(); it != m_isDefault.cend(); ++it)
        map.insert(rawValue(it.key()), it.value());
    return map;
}

void MediaDefaults::refresh()
{
    QMap<Group, bool> fresh;
    for (Group group : groups()) {
        const QStringList list = types(group);
        fresh.insert(group, !list.isEmpty() && DefaultApps::defaultFor(list.first()) == m_desktopId);
    }
    if (fresh == m_isDefault)
        return;
    m_isDefault = fresh;
    emit isDefaultChanged();
}

void MediaDefaults::set(Group group, bool on)
{
    // A type GIO refuses is skipped; the refresh below shows what really happened.
    for (const QString &type : types(group)) {
        if (on)
            DefaultApps::setDefault(m_desktopId, type);
        else
            DefaultApps::resetAssociations(type);
    }
    Log::info(Log::Area::app, QStringLiteral("Media player default for %1: %2")
                                  .arg(rawValue(group), on ? MediaApp::name() : QStringLiteral("the system's app")));
    refresh();
}
