#pragma once

#include "media/MediaOrigin.h"
#include "media/PlayerMediaKind.h"

#include <QString>
#include <QUrl>

#include <optional>

// One playable item in a player window's list.
struct MediaEntry
{
    QUrl url;        // what the player opens
    QString name;    // the file name with its extension
    PlayerMediaKind kind = PlayerMediaKind::video;
    bool local = true;  // false only for media-server streams, which this program never makes
    QString key;     // identity for per-item preferences and history: the absolute path
    MediaOrigin origin;

    // An entry for a local media file; no value when MediaFile::kind gives none.
    static std::optional<MediaEntry> file(const QUrl &url);

    friend bool operator==(const MediaEntry &, const MediaEntry &) = default;
};

Q_DECLARE_METATYPE(MediaEntry)
