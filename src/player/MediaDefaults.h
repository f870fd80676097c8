#pragma once

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Whether this application is the desktop's default for videos and for pictures,
// and making it so (or giving the types back to the desktop's own default).
class MediaDefaults : public QObject
{
    Q_OBJECT
    // Group raw value ("video", "picture") -> Boolean; empty until the first refresh().
    Q_PROPERTY(QVariantMap isDefault READ isDefaultMap NOTIFY isDefaultChanged)

public:
    enum class Group { video, picture };
    Q_ENUM(Group)

    // `desktopId` is the desktop entry that stands for this application.
    explicit MediaDefaults(const QString &desktopId, QObject *parent = nullptr);

    static MediaDefaults &shared();

    static QList<Group> groups() { return {Group::video, Group::picture}; }
    static QString rawValue(Group group);
    // The group's MIME types, most common first.
    static QStringList types(Group group);

    QMap<Group, bool> isDefault() const { return m_isDefault; }
    QVariantMap isDefaultMap() const;

    Q_INVOKABLE void refresh();
    // On: our entry opens every type of the group. Off: the desktop's default returns.
    Q_INVOKABLE void set(MediaDefaults::Group group, bool on);

signals:
    void isDefaultChanged();

private:
    const QString m_desktopId;
    QMap<Group, bool> m_isDefault;
};
