#pragma once

#include "engine/ConvertQuality.h"

#include <QList>

// The settings passed to every conversion. `maxSize` is 0 (keep the size) or a
// limit: the frame height of videos, the longest side of pictures and pages.
struct ConvertOptions
{
    ConvertQuality quality = ConvertQuality::balanced;
    int maxSize = 0;

    // The limits offered to the user, 0 first.
    static QList<int> sizeChoices() { return {0, 2160, 1080, 720, 480}; }
    static bool isValidMaxSize(int size) { return sizeChoices().contains(size); }

    friend bool operator==(const ConvertOptions &, const ConvertOptions &) = default;
};
