#pragma once

#include "media/PlayerMediaKind.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <optional>

// Decides whether a file is a video, a song or a picture, and lists the playable
// files of a folder in the file manager's order.
namespace MediaFile {

// Lower-case extensions; the converter classifies its inputs with the same sets.
const QSet<QString> &videoExtensions();
const QSet<QString> &audioExtensions();
// The same extensions in their documented order (for open dialogs' filters).
const QStringList &videoExtensionList();
const QStringList &audioExtensionList();

// By extension alone (case-insensitive); pictures have no extension set.
std::optional<PlayerMediaKind> kindByExtension(const QUrl &url);

// The extension sets first, so an audio-only .mkv is still a video; otherwise the
// content type (by content when the extension says nothing, by the name when the
// file cannot be read): video/*, audio/* or image/*.
std::optional<PlayerMediaKind> kind(const QUrl &url);

// The playable files of the file's folder, hidden files skipped, in natural
// case-insensitive order ("Episode 2" before "Episode 10"), from one directory scan.
// A folder that cannot be listed, or holds nothing playable, gives {url}.
QList<QUrl> siblings(const QUrl &url);

} // namespace MediaFile
