#include "media/MediaEntry.h"

#include "media/MediaFile.h"

std::optional<MediaEntry> MediaEntry::file(const QUrl &url)
{
    const auto kind = MediaFile::kind(url);
    if (!kind)
        return std::nullopt;
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
    return MediaEntry{url, url.fileName(), *kind, true, path, MediaOrigin::file(path)};
}
