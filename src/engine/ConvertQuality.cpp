#include "engine/ConvertQuality.h"

namespace {

struct QualityRow
{
    ConvertQuality::Value value;
    const char *id;
    const char *title;
};

constexpr QualityRow kRows[] = {
    {ConvertQuality::best, "best", "Best quality"},
    {ConvertQuality::balanced, "balanced", "Balanced"},
    {ConvertQuality::small, "small", "Smallest file"},
};

} // namespace

QString ConvertQuality::id() const { return QString::fromLatin1(kRows[static_cast<int>(m_value)].id); }
QString ConvertQuality::title() const { return QString::fromLatin1(kRows[static_cast<int>(m_value)].title); }

std::optional<ConvertQuality> ConvertQuality::fromRawValue(const QString &id)
{
    for (const QualityRow &r : kRows) {
        if (id == QLatin1String(r.id))
            return ConvertQuality(r.value);
    }
    return std::nullopt;
}

QList<ConvertQuality> ConvertQuality::allCases()
{
    return {best, balanced, small};
}
