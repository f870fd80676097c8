#pragma once

#include <QString>

// A conversion failure carrying the sentence shown to the user, unchanged.
struct ConvertError
{
    QString text;

    static ConvertError message(const QString &text) { return ConvertError{text}; }
    QString description() const { return text; }

    friend bool operator==(const ConvertError &, const ConvertError &) = default;
};
