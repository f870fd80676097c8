#include "media/PlayerMediaKind.h"

namespace {
const char *const kRawValues[] = {"video", "audio", "image"};
}

QString rawValue(PlayerMediaKind kind)
{
    return QString::fromLatin1(kRawValues[static_cast<int>(kind)]);
}

std::optional<PlayerMediaKind> playerMediaKind(const QString &rawValue)
{
    for (int i = 0; i < 3; ++i)
        if (rawValue == QLatin1String(kRawValues[i]))
            return static_cast<PlayerMediaKind>(i);
    return std::nullopt;
}
