#include "engine/ConverterSettings.h"

#include "core/Preferences.h"
#include "engine/ConvertOptions.h"
#include "engine/ConvertTarget.h"

#include <QFileInfo>
#include <cmath>

namespace ConverterSettings {

QString choiceKey(ConvertKind kind)
{
    return QStringLiteral("fx.converter.") + kind.id();
}

QString choice(const Preferences &prefs, ConvertKind kind)
{
    const QList<ConvertTarget> offered = ConvertTarget::targets(kind);
    if (const auto stored = prefs.string(choiceKey(kind))) {
        for (const ConvertTarget &target : offered) {
            if (target.id == *stored)
                return target.id;
        }
    }
    return offered.isEmpty() ? QString() : offered.first().id;
}

ConvertQuality quality(const Preferences &prefs)
{
    if (const auto stored = prefs.string(QLatin1String(qualityKey))) {
        if (const auto q = ConvertQuality::fromRawValue(*stored))
            return *q;
    }
    return ConvertQuality::balanced;
}

int maxSize(const Preferences &prefs)
{
    const auto stored = prefs.number(QLatin1String(maxSizeKey));
    if (!stored || std::floor(*stored) != *stored || std::abs(*stored) > 1e9)
        return 0;
    const int size = static_cast<int>(*stored);
    return ConvertOptions::isValidMaxSize(size) ? size : 0;
}

std::optional<QString> folder(const Preferences &prefs)
{
    const auto stored = prefs.string(QLatin1String(folderKey));
    if (!stored || stored->isEmpty() || !QFileInfo(*stored).isDir())
        return std::nullopt;
    return *stored;
}

void setChoice(Preferences &prefs, ConvertKind kind, const QString &targetID)
{
    prefs.set(choiceKey(kind), targetID);
}

void setQuality(Preferences &prefs, ConvertQuality quality)
{
    prefs.set(QLatin1String(qualityKey), quality.id());
}

void setMaxSize(Preferences &prefs, int maxSize)
{
    prefs.set(QLatin1String(maxSizeKey), maxSize);
}

void setFolder(Preferences &prefs, const std::optional<QString> &path)
{
    if (path)
        prefs.set(QLatin1String(folderKey), *path);
    else
        prefs.remove(QLatin1String(folderKey));
}

} // namespace ConverterSettings
