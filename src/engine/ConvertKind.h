#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class QUrl;

// What kind of file a converter input is. A small value type around an enum so it
// reads like the enum (`ConvertKind::video`, `switch (kind)`) and still carries its
// identifier, title and icon.
class ConvertKind
{
    Q_GADGET

public:
    enum class Value { video, audio, image, pdf, document };
    Q_ENUM(Value)

    static constexpr Value video = Value::video;
    static constexpr Value audio = Value::audio;
    static constexpr Value image = Value::image;
    static constexpr Value pdf = Value::pdf;
    static constexpr Value document = Value::document;

    constexpr ConvertKind(Value value = Value::video) : m_value(value) {}
    constexpr operator Value() const { return m_value; }
    constexpr Value value() const { return m_value; }

    QString id() const;      // the raw value: "video", "audio", ...
    QString title() const;   // "Videos", "Music & audio", ...
    QString symbol() const;  // icon name

    static std::optional<ConvertKind> fromRawValue(const QString &id);
    static QList<ConvertKind> allCases();

    // Classifies an input: pictures and PDFs by content type first, then the
    // extension lists, then the content type again. Absent: not convertible.
    static std::optional<ConvertKind> of(const QUrl &url);
    static std::optional<ConvertKind> of(const QString &path);

    static const QSet<QString> &videoExtensions();
    static const QSet<QString> &audioExtensions();
    static const QSet<QString> &documentExtensions();

private:
    Value m_value;
};
