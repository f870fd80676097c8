#include "player/SymbolIcons.h"

#include "core/MediaApp.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QRegularExpression>

namespace {

// Symbol name -> Adwaita symbolic icon (see resources/icons/LICENSE).
const QHash<QString, QString> &table()
{
    static const QHash<QString, QString> t{
    {"play.fill", "media-playback-start-symbolic.svg"},
    {"pause.fill", "media-playback-pause-symbolic.svg"},
    {"gobackward", "media-seek-backward-symbolic.svg"},
    {"goforward", "media-seek-forward-symbolic.svg"},
    {"forward.end", "media-skip-forward-symbolic.svg"},
    {"speaker.slash.fill", "audio-volume-muted-symbolic.svg"},
    {"speaker.wave.2.fill", "audio-volume-medium-symbolic.svg"},
    {"speaker.wave.3.fill", "audio-volume-high-symbolic.svg"},
    {"slider.horizontal.3", "preferences-other-symbolic.svg"},
    {"rotate.right", "object-rotate-right-symbolic.svg"},
    {"arrow.clockwise", "view-refresh-symbolic.svg"},
    {"arrow.up.left.and.arrow.down.right", "view-fullscreen-symbolic.svg"},
    {"arrow.down.right.and.arrow.up.left", "view-restore-symbolic.svg"},
    {"chevron.left", "go-previous-symbolic.svg"},
    {"chevron.right", "go-next-symbolic.svg"},
    {"exclamationmark.triangle", "dialog-warning-symbolic.svg"},
    {"exclamationmark.triangle.fill", "dialog-warning-symbolic.svg"},
    {"music.note", "audio-x-generic-symbolic.svg"},
    {"music.note.list", "folder-music-symbolic.svg"},
    {"film", "video-x-generic-symbolic.svg"},
    {"film.stack", "folder-videos-symbolic.svg"},
    {"photo", "image-x-generic-symbolic.svg"},
    {"photo.on.rectangle", "folder-pictures-symbolic.svg"},
    {"play.rectangle", "applications-multimedia-symbolic.svg"},
    {"play.rectangle.on.rectangle", "folder-videos-symbolic.svg"},
    {"play.square.stack", "folder-videos-symbolic.svg"},
    {"folder", "folder-symbolic.svg"},
    {"folder.fill", "folder-symbolic.svg"},
    {"house", "go-home-symbolic.svg"},
    {"list.bullet", "view-list-bullet-symbolic.svg"},
    {"lock.fill", "changes-prevent-symbolic.svg"},
    {"lock.rectangle.stack", "changes-prevent-symbolic.svg"},
    {"eye", "view-reveal-symbolic.svg"},
    {"eye.slash", "view-conceal-symbolic.svg"},
    {"ellipsis.circle", "view-more-horizontal-symbolic.svg"},
    {"clock.arrow.circlepath", "document-open-recent-symbolic.svg"},
    {"arrow.triangle.2.circlepath", "emblem-synchronizing-symbolic.svg"},
    {"arrow.up.arrow.down.square", "view-sort-ascending-symbolic.svg"},
    {"checkmark", "object-select-symbolic.svg"},
    {"checkmark.circle.fill", "emblem-ok-symbolic.svg"},
    {"server.rack", "network-server-symbolic.svg"},
    {"externaldrive.connected.to.line.below", "folder-remote-symbolic.svg"},
    {"globe", "network-workgroup-symbolic.svg"},
    {"heart", "emblem-favorite-symbolic.svg"},
    {"plus", "list-add-symbolic.svg"},
    {"hand.thumbsup", "starred-symbolic.svg"},
    {"hand.thumbsdown", "non-starred-symbolic.svg"},
    {"doc.text", "text-x-generic-symbolic.svg"},
    {"doc.richtext", "x-office-document-symbolic.svg"},
    };
    return t;
}

} // namespace

QString SymbolIcons::fileName(const QString &symbol)
{
    const auto &t = table();
    if (auto it = t.find(symbol); it != t.end())
        return *it;
    // Numbered variants ("goforward.10") share their family's icon.
    const int dot = symbol.lastIndexOf(u'.');
    if (dot > 0) {
        bool number = false;
        symbol.mid(dot + 1).toInt(&number);
        if (number)
            return t.value(symbol.left(dot));
    }
    return {};
}

QStringList SymbolIcons::names()
{
    return table().keys();
}

QString SymbolIcons::path(const QString &symbol)
{
    const QString file = fileName(symbol);
    return file.isEmpty() ? QString() : MediaApp::resources() + QStringLiteral("/icons/") + file;
}

QUrl SymbolIcons::source(const QString &symbol, const QString &color) const
{
    QUrl url;
    url.setScheme(QStringLiteral("image"));
    url.setHost(QStringLiteral("symbol"));
    url.setPath(u'/' + symbol + u'/' + QColor(color).name(QColor::HexArgb).mid(1));
    return url;
}

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QByteArray SymbolImageProvider::tinted(const QString &symbol, const QString &color)
{
    QFile file(SymbolIcons::path(symbol));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QColor c(color);
    const QString rgb = c.name(QColor::HexRgb);
    QString svg = QString::fromUtf8(file.readAll());
    static const QRegularExpression hex(QStringLiteral("#[0-9a-fA-F]{6}\\b"));
    svg.replace(hex, rgb);
    // Paths without their own fill take the root's.
    svg.replace(QStringLiteral("<svg "), QStringLiteral("<svg fill=\"%1\" fill-opacity=\"%2\" ")
                                             .arg(rgb).arg(c.alphaF()));
    return svg.toUtf8();
}

QImage SymbolImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const int slash = id.lastIndexOf(u'/');
    const QString symbol = slash > 0 ? id.left(slash) : id;
    // The colour travels as hex without its '#', which a URL would cut off.
    const QString color = slash > 0 ? u'#' + id.mid(slash + 1) : QStringLiteral("white");
    QByteArray svg = tinted(symbol, color);
    QBuffer buffer(&svg);
    QImageReader reader(&buffer, "svg");
    const QSize want = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize
                                                                          : QSize(16, 16);
    reader.setScaledSize(want);
    QImage image = reader.read();
    if (size)
        *size = image.size();
    return image;
}
