#include "app/AppRoutes.h"

#include "engine/PlaybackTranscoder.h"
#include "log/Log.h"

namespace {
void note(const QString &what)
{
    Log::info(Log::Area::app, what + QStringLiteral(": not available in this build"));
}
} // namespace

void LoggingRoutes::startUpdates() { note(QStringLiteral("Updates")); }
void LoggingRoutes::reconnectShares() { note(QStringLiteral("Network shares")); }
// Real in every build: day-old playback scratch folders go, windows or not.
void LoggingRoutes::prunePlayback() { PlaybackTranscoder::prune(); }
void LoggingRoutes::showLibrary() { note(QStringLiteral("Media library")); }
void LoggingRoutes::openPlayer(const QUrl &url) { note(QStringLiteral("Player for ") + url.toLocalFile()); }

void LoggingRoutes::convertFiles(const QList<QUrl> &urls)
{
    note(QStringLiteral("Converter for %1 files").arg(urls.size()));
}
