#pragma once

#include <QString>

// Which desktop application opens a MIME type, and changing it (GIO; the user's
// choices land in $XDG_CONFIG_HOME/mimeapps.list).
namespace DefaultApps {

// The desktop-entry id (e.g. "org.gnome.Totem.desktop") of the default application
// for `mimeType`; empty when none is registered.
QString defaultFor(const QString &mimeType);

// Makes the installed desktop entry `desktopId` the default for `mimeType`.
// False (with `error` set) when the entry is not installed or GIO refuses.
bool setDefault(const QString &desktopId, const QString &mimeType, QString *error = nullptr);

// Forgets every choice the user made for `mimeType`, so the desktop's own default
// returns.
void resetAssociations(const QString &mimeType);

} // namespace DefaultApps
