#include "player/MediaPlayerController.h"

#include "core/MediaApp.h"
#include "engine/FFmpeg.h"
#include "log/Log.h"
#include "platform/FileManager.h"
#include "player/MediaPlayerModel.h"
#include "player/MediaPlayerSettings.h"
#include "player/PlayerAudioEffects.h"
#include "player/PlayerEngine.h"
#include "player/PlayerHistory.h"
#include "player/PlayerStage.h"
#include "player/SymbolIcons.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QTimer>
#include <QtConcurrent>

#include <cmath>

namespace {

QTimer *oneShot(QObject *parent, int ms)
{
    auto *timer = new QTimer(parent);
    timer->setSingleShot(true);
    timer->setInterval(ms);
    return timer;
}

QString upperExtension(const MediaEntry &entry, const QString &none)
{
    const QString suffix = QFileInfo(entry.name).suffix();
    return suffix.isEmpty() ? none : suffix.toUpper();
}

// The bundled note symbol, for songs without a picture of their own.
QImage noteSymbol()
{
    QByteArray svg = SymbolImageProvider::tinted(QStringLiteral("music.note"), QStringLiteral("white"));
    QBuffer buffer(&svg);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(QSize(512, 512));
    return reader.read();
}

QImage readPicture(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace

MediaPlayerController::Services MediaPlayerController::Services::standard()
{
    Services services;
    services.makeEngine = [](std::shared_ptr<PlayerAudioEffects> effects) {
        return std::make_unique<PlayerEngine>(std::move(effects));
    };
    services.makeTranscoder = [] { return std::make_unique<PlaybackTranscoder>(); };
    services.conversionAvailable = [] { return FFmpeg::available(); };
    return services;
}

MediaPlayerController::MediaPlayerController(const QList<MediaEntry> &entries, int index, Services services,
                                             QObject *parent)
    : QObject(parent),
      m_services(std::move(services)),
      m_model(new MediaPlayerModel(this)),
      m_audio(std::make_shared<PlayerAudioEffects>()),
      m_hideTimer(oneShot(this, m_services.timing.hideControls)),
      m_toastTimer(oneShot(this, m_services.timing.clearToast)),
      m_slideTimer(oneShot(this, 4000)),
      m_scrollEndTimer(oneShot(this, m_services.timing.scrollEnd)),
      m_resumeTimer(oneShot(this, m_services.timing.resumePoll))
{
    if (!m_services.makeEngine || !m_services.makeTranscoder || !m_services.conversionAvailable) {
        const Services standard = Services::standard();
        if (!m_services.makeEngine)
            m_services.makeEngine = standard.makeEngine;
        if (!m_services.makeTranscoder)
            m_services.makeTranscoder = standard.makeTranscoder;
        if (!m_services.conversionAvailable)
            m_services.conversionAvailable = standard.conversionAvailable;
    }
    m_model->setFiles(entries);
    m_model->setIndex(index);
    connect(m_hideTimer, &QTimer::timeout, this, &MediaPlayerController::hideControlsIfIdle);
    connect(m_toastTimer, &QTimer::timeout, this, [this] { m_model->setToast(std::nullopt); });
    connect(m_scrollEndTimer, &QTimer::timeout, this, &MediaPlayerController::endScrub);
    connect(m_slideTimer, &QTimer::timeout, this, [this] {
        if (!m_model->slideshow())
            return;
        if (m_model->index() == m_model->count() - 1)
            m_model->setIndex(-1);  // so that the step lands on the first item
        step(+1);
    });
}

MediaPlayerController::~MediaPlayerController()
{
    if (!m_closed)
        tearDownPlayer();
}

void MediaPlayerController::setStage(PlayerStage *stage)
{
    m_stage = stage;
}

void MediaPlayerController::start()
{
    applyAudio();
    load();
}

QString MediaPlayerController::clock(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("0:00");
    const qint64 whole = qint64(std::floor(std::max(seconds, 0.0)));
    const qint64 hours = whole / 3600, minutes = whole / 60 % 60, secs = whole % 60;
    if (hours == 0)
        return QString::asprintf("%d:%02d", int(whole / 60), int(secs));
    return QString::asprintf("%d:%02d:%02d", int(hours), int(minutes), int(secs));
}

bool MediaPlayerController::isCurrent(const MediaEntry &entry) const
{
    const auto current = m_model->entry();
    return !m_closed && current && *current == entry;
}

// --- loading ---

void MediaPlayerController::load()
{
    tearDownPlayer();
    const auto entry = m_model->entry();
    if (!entry)
        return;
    m_model->setKind(entry->kind);
    m_model->setFailed(std::nullopt);
    m_model->setCurrent(0);
    m_model->setDuration(0);
    if (m_stage)
        m_stage->resetZoom(false);
    m_model->setRotation(MediaPlayerSettings::rotation(entry->key));
    if (m_stage) {
        m_stage->setRotation(m_model->rotation(), false);
        m_stage->setTitle(entry->name, m_model->position());
    }

    if (entry->kind == PlayerMediaKind::image) {
        m_model->setPlaying(false);
        loadPicture(*entry);
        if (m_model->slideshow())
            scheduleSlide();
        showControls();
        return;
    }
    if (entry->local && m_services.conversionAvailable() && PlaybackTranscoder::needsConversion(entry->url))
        playConverted(*entry);
    else
        startPlayer(entry->url, *entry, true, std::nullopt);
    showControls();
}

void MediaPlayerController::loadPicture(const MediaEntry &entry)
{
    const quint64 generation = m_generation;
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        pictureDecoded(generation, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(readPicture, entry.url.toLocalFile()));
}

void MediaPlayerController::pictureDecoded(quint64 generation, const QImage &image)
{
    if (generation != m_generation || m_closed)
        return;
    if (image.isNull()) {
        if (m_stage)
            m_stage->show(QImage(), false);
        m_model->setFailed(QStringLiteral("This picture couldn't be opened."));
        return;
    }
    if (m_stage)
        m_stage->show(image, false);
    sizeWindow(image.size());
}

void MediaPlayerController::playConverted(const MediaEntry &entry)
{
    m_model->setPreparing(QStringLiteral("Getting this %1 ready…").arg(upperExtension(entry, QStringLiteral("file"))));
    m_transcoder = m_services.makeTranscoder();
    PlaybackTranscoder *source = m_transcoder.get();
    source->start(entry.url.toLocalFile(), [this, entry, source](const PlaybackTranscoder::Result &result) {
        transcoderDone(entry, source, result);
    });
}

void MediaPlayerController::transcoderDone(const MediaEntry &entry, PlaybackTranscoder *source,
                                           const PlaybackTranscoder::Result &result)
{
    if (!isCurrent(entry) || m_transcoder.get() != source)
        return;
    m_model->setPreparing(std::nullopt);
    if (const auto *error = std::get_if<ConvertError>(&result)) {
        m_model->setFailed(error->description());
        return;
    }
    const auto &ready = std::get<PlaybackTranscoder::Ready>(result);
    const std::optional<QUrl> stream = ready.stream();
    if (!stream) {
        m_model->setFailed(MediaApp::name() + QStringLiteral(" couldn't start its playback stream."));
        return;
    }
    startPlayer(*stream, entry, false, Known{ready.duration, ready.size, ready.converting, ready.playlist});
    if (ready.converting)
        showToast(QStringLiteral("Converting as it plays"));
}

void MediaPlayerController::startPlayer(const QUrl &url, const MediaEntry &entry, bool fallback,
                                        const std::optional<Known> &known)
{
    m_player = m_services.makeEngine(m_audio);
    PlayerEngine *player = m_player.get();
    player->setKeepPitch(m_model->keepPitch());
    player->setVolume(std::min(m_model->volume(), 1.0f));
    player->setMuted(m_model->muted());
    m_playing = entry;
    m_fallback = fallback;
    m_ready = false;
    m_known = known;
    if (known) {
        m_model->setDuration(known->duration);
        m_streamPlaylist = known->playlist;
    } else {
        m_streamPlaylist.reset();
    }

    connect(player, &PlayerEngine::timeReport, this, &MediaPlayerController::timeReport);
    connect(player, &PlayerEngine::endOfStream, this, &MediaPlayerController::endOfItem);
    connect(player, &PlayerEngine::statusChanged, this, [this](PlayerEngine::Status status) {
        if (status == PlayerEngine::Status::Ready)
            playerReady();
        else if (status == PlayerEngine::Status::Failed)
            playerFailed();
    });
    connect(player, &PlayerEngine::coverImageChanged, this, &MediaPlayerController::showArtwork);
    connect(player, &PlayerEngine::naturalSizeChanged, this, [this] {
        if (m_model->kind() == PlayerMediaKind::video && !m_known && m_player)
            sizeWindow(m_player->naturalSize());
    });

    if (entry.kind == PlayerMediaKind::audio) {
        showArtwork();
    } else if (m_stage) {
        m_stage->show(player);
        if (known && known->size)
            sizeWindow(*known->size);
    }
    player->open(url);
}

void MediaPlayerController::showArtwork()
{
    if (!m_stage || !m_player || !m_playing || m_playing->kind != PlayerMediaKind::audio)
        return;
    QImage image;
    if (m_playing->local && !m_streamPlaylist) {
        image = m_player->coverImage();
        if (image.isNull()) {
            const QMimeType type = QMimeDatabase().mimeTypeForFile(m_playing->url.toLocalFile());
            const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
            if (!icon.isNull())
                image = icon.pixmap(512).toImage();
        }
    }
    if (image.isNull())
        image = noteSymbol();
    m_stage->show(image, true);
}

// The engine has decoded the first frame or sample: the item can play.
void MediaPlayerController::playerReady()
{
    if (m_ready || !m_player || !m_playing || !isCurrent(*m_playing))
        return;
    // Nothing decodable in it: not playable, whatever the pipeline thinks.
    if (!m_player->hasVideo() && !m_player->hasAudio()) {
        playerFailed();
        return;
    }
    m_ready = true;
    const double loaded = m_player->duration();
    const double seconds = std::isfinite(loaded) && loaded > 0 ? loaded : (m_known ? m_known->duration : 0);
    if (seconds > 0 && !(m_known && m_known->duration > 0))
        m_model->setDuration(seconds);

    const bool tapped = m_player->hasAudio();
    m_model->setEffectsAvailable(tapped);
    if (!tapped && m_model->volume() > 1) {
        m_model->setVolume(1);
        applyAudio();
    }
    if (m_model->kind() == PlayerMediaKind::video && !m_known)
        sizeWindow(m_player->naturalSize());
    resumeOrPlay();
}

void MediaPlayerController::playerFailed()
{
    if (!m_player || !m_playing || !isCurrent(*m_playing))
        return;
    const MediaEntry entry = *m_playing;
    if (m_fallback && entry.local && m_services.conversionAvailable()) {
        releasePlayer();
        playConverted(entry);
        return;
    }
    m_model->setFailed(MediaApp::name() + QStringLiteral(" can't play this file. (%1 couldn't be read.)")
                                              .arg(upperExtension(entry, QString())));
}

void MediaPlayerController::resumeOrPlay()
{
    const MediaEntry entry = *m_playing;
    const auto stored = MediaPlayerSettings::resumePosition(entry.key);
    if (MediaPlayerSettings::resume() && stored && *stored < m_model->duration() - 10) {
        const double position = *stored;
        const bool rewrapped = m_known && !m_known->converting;
        if (rewrapped && PlaybackTranscoder::available(m_known->playlist) < position + 4) {
            waitForConversion(position, 0);
            return;
        }
        finishResume(position);
        return;
    }
    if (m_known)
        m_player->seek(0);
    playAtRate();
}

// A rewrapped stream usually overtakes playback within seconds: wait for it to
// reach the resume point rather than starting over.
void MediaPlayerController::waitForConversion(double position, int waited)
{
    const bool reached = PlaybackTranscoder::available(m_known->playlist) >= position + 4;
    if (reached || waited >= m_services.timing.resumeWait) {
        m_model->setPreparing(std::nullopt);
        finishResume(position);
        return;
    }
    m_model->setPreparing(QStringLiteral("Getting ready to continue at %1…").arg(clock(position)));
    const quint64 generation = m_generation;
    m_resumeTimer->disconnect();
    connect(m_resumeTimer, &QTimer::timeout, this, [this, position, waited, generation] {
        if (generation != m_generation || !m_player)
            return;
        waitForConversion(position, waited + m_services.timing.resumePoll);
    });
    m_resumeTimer->start();
}

void MediaPlayerController::finishResume(double position)
{
    if (m_known && PlaybackTranscoder::available(m_known->playlist) < position + 4) {
        m_player->seek(0);
        showToast(QStringLiteral("Starting from the beginning: not converted up to %1 yet").arg(clock(position)));
    } else {
        m_player->seek(position);
        showToast(QStringLiteral("Resumed at %1").arg(clock(position)));
    }
    playAtRate();
}

void MediaPlayerController::playAtRate()
{
    m_player->setRate(m_model->rate());
    m_model->setPlaying(true);
    emit itemStarted();
}

void MediaPlayerController::timeReport(double seconds)
{
    if (!m_player || m_scrubbing)
        return;
    m_model->setCurrent(std::isfinite(seconds) ? seconds : 0);
    const double length = m_player->duration();
    // A stream still being converted reports only its converted part; keep the source's length.
    if (std::isfinite(length) && length > 0 && !(m_known && m_known->duration > 0))
        m_model->setDuration(length);
    m_model->setPlaying(m_player->isPlaying());
}

void MediaPlayerController::endOfItem()
{
    if (!m_player)
        return;
    const QString action = MediaPlayerSettings::endAction();
    if (action == QLatin1String("repeat")) {
        m_player->seek(0);
        m_player->setRate(m_model->rate());
        m_model->setPlaying(true);
        return;
    }
    if (action != QLatin1String("stop") && m_model->index() + 1 < m_model->count()) {
        step(+1);
        return;
    }
    m_model->setPlaying(false);
    showControls();
}

// --- leaving an item ---

void MediaPlayerController::tearDownPlayer()
{
    if (m_player && m_playing) {
        const double seconds = m_player->position();
        const double duration = m_model->duration();
        if (m_playing->kind == PlayerMediaKind::video && MediaPlayerSettings::resume())
            MediaPlayerSettings::saveResume(m_playing->key, seconds, duration);
        if (m_playing->kind != PlayerMediaKind::image) {
            PlayerHistory &history = m_services.history ? *m_services.history : PlayerHistory::current();
            history.note(*m_playing, seconds, duration);
        }
    }
    ++m_generation;
    if (m_transcoder) {
        m_transcoder->stop();
        m_transcoder.reset();
    }
    m_model->setPreparing(std::nullopt);
    releasePlayer();
    m_streamPlaylist.reset();
    m_known.reset();
    m_playing.reset();
    m_slideTimer->stop();
    m_resumeTimer->stop();
    m_scrollEndTimer->stop();
    m_scrubbing = false;
    m_seekInFlight = false;
    m_pendingSeek.reset();
}

void MediaPlayerController::releasePlayer()
{
    if (!m_player)
        return;
    if (m_stage && m_model->kind() != PlayerMediaKind::audio)
        m_stage->show(static_cast<PlayerEngine *>(nullptr));
    m_player->disconnect(this);
    m_player->pause();
    m_player->close();
    // It may be inside one of its own signals right now.
    m_player.release()->deleteLater();
    m_ready = false;
}

// --- list ---

void MediaPlayerController::step(int by)
{
    const int target = m_model->index() + by;
    if (target < 0 || target >= m_model->count()) {
        showToast(by > 0 ? QStringLiteral("Last file in this folder") : QStringLiteral("First file in this folder"));
        return;
    }
    m_model->setIndex(target);
    load();
}

void MediaPlayerController::togglePlay()
{
    if (m_model->kind() == PlayerMediaKind::image) {
        toggleSlideshow();
        return;
    }
    if (m_player) {
        if (m_player->isPlaying()) {
            m_player->pause();
        } else {
            const double length = m_player->duration() > 0 ? m_player->duration() : m_model->duration();
            if (std::isfinite(length) && length > 0 && m_player->position() >= length - 0.2)
                m_player->seek(0);
            m_player->setRate(m_model->rate());
        }
        m_model->setPlaying(m_player->isPlaying());
    }
    showControls();
}

void MediaPlayerController::toggleSlideshow()
{
    m_model->setSlideshow(!m_model->slideshow());
    showToast(m_model->slideshow() ? QStringLiteral("Slideshow on") : QStringLiteral("Slideshow off"));
    if (m_model->slideshow())
        scheduleSlide();
    else
        m_slideTimer->stop();
}

void MediaPlayerController::scheduleSlide()
{
    m_slideTimer->stop();
    m_slideTimer->setInterval(int(std::max(MediaPlayerSettings::slideSeconds(), 1.0) * m_services.timing.slideUnit));
    m_slideTimer->start();
}

void MediaPlayerController::trashCurrent()
{
    const auto entry = m_model->entry();
    if (!entry || !entry->local)
        return;
    tearDownPlayer();
    if (!QFile::moveToTrash(entry->url.toLocalFile())) {
        Log::info(Log::Area::player, QStringLiteral("Media player couldn't move a file to the Trash"));
        showToast(QStringLiteral("Couldn't move it to the Trash"));
        load();
        return;
    }
    QList<MediaEntry> files = m_model->files();
    files.removeAt(m_model->index());
    m_model->setFiles(files);
    if (files.isEmpty()) {
        if (m_stage)
            m_stage->closeWindow();
        else
            windowWillClose();
        return;
    }
    m_model->setIndex(std::min(m_model->index(), int(files.size()) - 1));
    load();
    showToast(QStringLiteral("Moved to the Trash"));
}

void MediaPlayerController::revealInFinder()
{
    const auto entry = m_model->entry();
    if (entry && entry->local)
        FileManager::showItem(entry->url.toLocalFile());
}

// --- controls ---

void MediaPlayerController::showControls()
{
    m_model->setControlsVisible(true);
    if (m_stage)
        m_stage->showPointer();
    m_hideTimer->start();
}

void MediaPlayerController::hideControlsIfIdle()
{
    const bool busy = m_model->playing() || m_model->fullScreen() || m_model->slideshow();
    const bool held = (m_stage && m_stage->pointerOverControls()) || m_model->showAdjust();
    if (!busy || held)
        return;
    m_model->setControlsVisible(false);
    if (m_model->fullScreen() && m_stage)
        m_stage->hidePointerUntilMoved();
}

void MediaPlayerController::showToast(const QString &text)
{
    m_model->setToast(text);
    m_toastTimer->start();
}

void MediaPlayerController::refocus()
{
    QTimer::singleShot(0, this, [this] {
        if (m_stage && QGuiApplication::mouseButtons() == Qt::NoButton)
            m_stage->focusStage();
    });
}

void MediaPlayerController::sizeWindow(QSizeF size)
{
    if (m_sizedOnce || m_model->fullScreen() || !m_stage || !(size.width() > 0 && size.height() > 0))
        return;
    const auto area = m_stage->screenArea();
    if (!area)
        return;
    m_sizedOnce = true;
    if (m_model->rotation() == 90 || m_model->rotation() == 270)
        size.transpose();
    const double box = area->width() * 0.72;
    const double minimumWidth = std::min(std::max(area->width() * 0.55, 860.0), box);
    const double scale = std::min((area->height() * 0.78 - 28) / size.height(), box / size.width());
    const QSize content(int(std::lround(std::max(size.width() * scale, minimumWidth))),
                        int(std::lround(std::max(size.height() * scale, double(m_stage->minimumContentHeight())))));
    m_stage->resizeContent(content);
}

// --- window events ---

void MediaPlayerController::windowWillEnterFullScreen()
{
    m_model->setFullScreen(true);
}

void MediaPlayerController::windowWillExitFullScreen()
{
    m_model->setFullScreen(false);
    if (m_stage)
        m_stage->showPointer();
}

void MediaPlayerController::windowWillClose()
{
    if (m_closed)
        return;
    tearDownPlayer();
    m_hideTimer->stop();
    m_closed = true;
    m_stage = nullptr;
    if (onClose)
        onClose();
}
