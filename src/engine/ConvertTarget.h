#pragma once

#include "engine/ConvertKind.h"

#include <QList>
#include <QString>

#include <optional>

// One output format of the converter. Immutable; equal when every field is.
struct ConvertTarget
{
    QString id;
    QString title;
    QString detail;
    QString ext;  // the output file-name extension, without the dot
    ConvertKind output;

    // The 35 targets, in display order.
    static const QList<ConvertTarget> &all();
    // The targets offered for an input kind; the first is the default choice.
    static QList<ConvertTarget> targets(ConvertKind kind);
    static std::optional<ConvertTarget> byID(const QString &id);

    friend bool operator==(const ConvertTarget &a, const ConvertTarget &b)
    {
        return a.id == b.id && a.title == b.title && a.detail == b.detail && a.ext == b.ext
            && a.output.value() == b.output.value();
    }
};
