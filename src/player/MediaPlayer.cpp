#include "player/MediaPlayer.h"

#include "log/Log.h"
#include "media/MediaFile.h"

#include <QFileInfo>

MediaPlayer::MediaPlayer(MediaPlayerController::Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
}

MediaPlayer::~MediaPlayer()
{
    for (const auto &controller : std::as_const(m_controllers))
        delete controller.data();
}

MediaPlayer &MediaPlayer::shared()
{
    static MediaPlayer instance;
    return instance;
}

void MediaPlayer::open(const QUrl &url)
{
    if (!MediaFile::kind(url))
        return;
    QList<MediaEntry> entries;
    int index = -1;
    const QString opened = QFileInfo(url.toLocalFile()).absoluteFilePath();
    for (const QUrl &sibling : MediaFile::siblings(url)) {
        const auto entry = MediaEntry::file(sibling);
        if (!entry)
            continue;
        if (index < 0 && QFileInfo(sibling.toLocalFile()).absoluteFilePath() == opened)
            index = int(entries.size());
        entries.append(*entry);
    }
    if (index < 0) {
        if (const auto entry = MediaEntry::file(url))
            entries.prepend(*entry);
        index = 0;
    }
    open(entries, index);
}

void MediaPlayer::open(const QList<MediaEntry> &entries, int index)
{
    if (index < 0 || index >= entries.size())
        return;
    auto *controller = new MediaPlayerController(entries, index, m_services);
    m_controllers.append(controller);
    QPointer<MediaPlayer> self(this);
    QPointer<MediaPlayerController> weak(controller);
    controller->onClose = [self, weak] {
        if (!self || !weak)
            return;
        self->m_controllers.removeAll(weak);
        weak->deleteLater();
        emit self->controllersChanged();
    };
    if (m_windowFactory)
        controller->setStage(m_windowFactory(controller));
    const MediaEntry &entry = entries.at(index);
    Log::info(Log::Area::app, QStringLiteral("Media player opened a %1 %2")
                                  .arg(rawValue(entry.kind),
                                       entry.local ? QStringLiteral("file") : QStringLiteral("stream from a server")));
    emit controllersChanged();
    controller->start();
}

QList<MediaPlayerController *> MediaPlayer::controllers() const
{
    QList<MediaPlayerController *> list;
    for (const auto &controller : m_controllers)
        if (controller)
            list.append(controller.data());
    return list;
}

void MediaPlayer::addPanel(QObject *panel)
{
    m_panels.append(panel);
    connect(panel, &QObject::destroyed, this, [this, panel] {
        m_panels.removeAll(panel);
        emit panelsChanged();
    });
    emit panelsChanged();
}
