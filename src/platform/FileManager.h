#pragma once

#include <QString>

// The desktop's file manager.
namespace FileManager {

// Opens a file-manager window with the file selected (org.freedesktop.FileManager1);
// without that service, opens the file's folder. False when neither worked.
bool showItem(const QString &path);

} // namespace FileManager
