#include "engine/ConvertKind.h"

#include "media/MediaFile.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace {

struct KindRow
{
    ConvertKind::Value value;
    const char *id;
    const char *title;
    const char *symbol;
};

constexpr KindRow kRows[] = {
    {ConvertKind::video, "video", "Videos", "film"},
    {ConvertKind::audio, "audio", "Music & audio", "music.note"},
    {ConvertKind::image, "image", "Pictures", "photo"},
    {ConvertKind::pdf, "pdf", "PDFs", "doc.richtext"},
    {ConvertKind::document, "document", "Documents", "doc.text"},
};

const KindRow &row(ConvertKind::Value value)
{
    return kRows[static_cast<int>(value)];
}

// True when the type is `prefix`/* or descends from such a type.
bool conformsToFamily(const QMimeType &type, const QString &prefix)
{
    if (type.name().startsWith(prefix))
        return true;
    const QStringList ancestors = type.allAncestors();
    for (const QString &name : ancestors) {
        if (name.startsWith(prefix))
            return true;
    }
    return false;
}

bool conformsTo(const QMimeType &type, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (type.inherits(QString::fromLatin1(name)))
            return true;
    }
    return false;
}

} // namespace

QString ConvertKind::id() const { return QString::fromLatin1(row(m_value).id); }
QString ConvertKind::title() const { return QString::fromUtf8(row(m_value).title); }
QString ConvertKind::symbol() const { return QString::fromLatin1(row(m_value).symbol); }

std::optional<ConvertKind> ConvertKind::fromRawValue(const QString &id)
{
    for (const KindRow &r : kRows) {
        if (id == QLatin1String(r.id))
            return ConvertKind(r.value);
    }
    return std::nullopt;
}

QList<ConvertKind> ConvertKind::allCases()
{
    return {video, audio, image, pdf, document};
}

const QSet<QString> &ConvertKind::videoExtensions()
{
    return MediaFile::videoExtensions();
}

const QSet<QString> &ConvertKind::audioExtensions()
{
    return MediaFile::audioExtensions();
}

const QSet<QString> &ConvertKind::documentExtensions()
{
    static const QSet<QString> set{
        QStringLiteral("doc"),  QStringLiteral("docx"),     QStringLiteral("rtf"),  QStringLiteral("rtfd"),
        QStringLiteral("odt"),  QStringLiteral("txt"),      QStringLiteral("text"), QStringLiteral("md"),
        QStringLiteral("markdown"), QStringLiteral("html"), QStringLiteral("htm"),  QStringLiteral("webarchive"),
        QStringLiteral("wordml"),
    };
    return set;
}

std::optional<ConvertKind> ConvertKind::of(const QUrl &url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    return of(url.toLocalFile());
}

std::optional<ConvertKind> ConvertKind::of(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();

    // The file's own type (content and name); the name alone when the file cannot
    // be read. The generic "some bytes" type counts as unknown.
    static const QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(path);
    if (!type.isValid() || type.isDefault())
        type = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    const bool known = type.isValid() && !type.isDefault();

    if (known) {
        if (conformsTo(type, {"application/pdf"}))
            return pdf;
        if (conformsToFamily(type, QStringLiteral("image/")))
            return image;
    }
    if (videoExtensions().contains(ext))
        return video;
    if (audioExtensions().contains(ext))
        return audio;
    if (documentExtensions().contains(ext))
        return document;
    if (known) {
        if (conformsToFamily(type, QStringLiteral("video/")))
            return video;
        if (conformsToFamily(type, QStringLiteral("audio/")))
            return audio;
        if (conformsTo(type, {"text/rtf", "application/rtf", "text/plain", "text/html"}))
            return document;
    }
    return std::nullopt;
}
