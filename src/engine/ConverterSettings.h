#pragma once

#include "engine/ConvertKind.h"
#include "engine/ConvertQuality.h"

#include <QString>

#include <optional>

class Preferences;

// The converter's remembered choices under "fx.converter.". Reads validate: a value
// of the wrong type or outside its allowed set reads as the default.
namespace ConverterSettings {

QString choiceKey(ConvertKind kind);  // "fx.converter." + the kind's id
inline constexpr auto qualityKey = "fx.converter.quality";
inline constexpr auto maxSizeKey = "fx.converter.maxSize";
inline constexpr auto folderKey = "fx.converter.folder";

// A target id among `ConvertTarget::targets(kind)`; that list's first id otherwise.
QString choice(const Preferences &prefs, ConvertKind kind);
ConvertQuality quality(const Preferences &prefs);
int maxSize(const Preferences &prefs);
// Absent when unset or when no folder exists at the stored path.
std::optional<QString> folder(const Preferences &prefs);

void setChoice(Preferences &prefs, ConvertKind kind, const QString &targetID);
void setQuality(Preferences &prefs, ConvertQuality quality);
void setMaxSize(Preferences &prefs, int maxSize);
// Absent removes the key (save next to the originals).
void setFolder(Preferences &prefs, const std::optional<QString> &path);

} // namespace ConverterSettings
