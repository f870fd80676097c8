#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

// What a playable item is. The raw value ("video", "audio", "image") is what the
// library, history and marks store as an item's kind.
enum class PlayerMediaKind { video, audio, image };

QString rawValue(PlayerMediaKind kind);
// No value for any other string.
std::optional<PlayerMediaKind> playerMediaKind(const QString &rawValue);

Q_DECLARE_METATYPE(PlayerMediaKind)
