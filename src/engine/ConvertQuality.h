#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The quality setting of a conversion.
class ConvertQuality
{
    Q_GADGET

public:
    enum class Value { best, balanced, small };
    Q_ENUM(Value)

    static constexpr Value best = Value::best;
    static constexpr Value balanced = Value::balanced;
    static constexpr Value small = Value::small;

    constexpr ConvertQuality(Value value = Value::balanced) : m_value(value) {}
    constexpr operator Value() const { return m_value; }
    constexpr Value value() const { return m_value; }

    QString id() const;     // "best", "balanced", "small"
    QString title() const;  // "Best quality", "Balanced", "Smallest file"

    static std::optional<ConvertQuality> fromRawValue(const QString &id);
    static QList<ConvertQuality> allCases();

private:
    Value m_value;
};
