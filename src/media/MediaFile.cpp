#include "media/MediaFile.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>

namespace MediaFile {

namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::optional<PlayerMediaKind> kindOfMimeType(const QMimeType &type)
{
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    QStringList names = type.allAncestors();
    names.prepend(type.name());
    const auto conforms = [&names](QLatin1String prefix) {
        return std::any_of(names.cbegin(), names.cend(), [prefix](const QString &n) { return n.startsWith(prefix); });
    };
    if (conforms(QLatin1String("video/")))
        return PlayerMediaKind::video;
    if (conforms(QLatin1String("audio/")))
        return PlayerMediaKind::audio;
    if (conforms(QLatin1String("image/")))
        return PlayerMediaKind::image;
    return std::nullopt;
}

std::optional<PlayerMediaKind> kindOfExtension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    const QString extension = fileName.mid(dot + 1).toString().toLower();
    if (videoExtensions().contains(extension))
        return PlayerMediaKind::video;
    if (audioExtensions().contains(extension))
        return PlayerMediaKind::audio;
    return std::nullopt;
}

struct Candidate {
    QString name;
    QCollatorSortKey sortKey;
};

} // namespace

const QStringList &videoExtensionList()
{
    static const QStringList list{
        QStringLiteral("mkv"),  QStringLiteral("webm"), QStringLiteral("avi"),  QStringLiteral("wmv"),
        QStringLiteral("flv"),  QStringLiteral("f4v"),  QStringLiteral("ts"),   QStringLiteral("m2ts"),
        QStringLiteral("mts"),  QStringLiteral("ogv"),  QStringLiteral("mpg"),  QStringLiteral("mpeg"),
        QStringLiteral("vob"),  QStringLiteral("3gp"),  QStringLiteral("3g2"),  QStringLiteral("rm"),
        QStringLiteral("rmvb"), QStringLiteral("asf"),  QStringLiteral("divx"), QStringLiteral("m4v"),
        QStringLiteral("mov"),  QStringLiteral("mp4"),  QStringLiteral("mxf"),  QStringLiteral("dv"),
    };
    return list;
}

const QStringList &audioExtensionList()
{
    static const QStringList list{
        QStringLiteral("opus"), QStringLiteral("ogg"),  QStringLiteral("oga"),  QStringLiteral("wma"),
        QStringLiteral("ape"),  QStringLiteral("wv"),   QStringLiteral("dsf"),  QStringLiteral("dff"),
        QStringLiteral("mka"),  QStringLiteral("ac3"),  QStringLiteral("eac3"), QStringLiteral("dts"),
        QStringLiteral("flac"), QStringLiteral("alac"), QStringLiteral("m4a"),  QStringLiteral("m4b"),
        QStringLiteral("aac"),  QStringLiteral("mp3"),  QStringLiteral("wav"),  QStringLiteral("aif"),
        QStringLiteral("aiff"), QStringLiteral("caf"),  QStringLiteral("amr"),  QStringLiteral("mpc"),
        QStringLiteral("tta"),
    };
    return list;
}

const QSet<QString> &videoExtensions()
{
    static const QSet<QString> set(videoExtensionList().cbegin(), videoExtensionList().cend());
    return set;
}

const QSet<QString> &audioExtensions()
{
    static const QSet<QString> set(audioExtensionList().cbegin(), audioExtensionList().cend());
    return set;
}

std::optional<PlayerMediaKind> kindByExtension(const QUrl &url)
{
    return kindOfExtension(url.fileName(QUrl::FullyDecoded));
}

std::optional<PlayerMediaKind> kind(const QUrl &url)
{
    if (const auto known = kindByExtension(url))
        return known;
    const QMimeDatabase db;
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        // Content first; a file that cannot be read is judged by its name alone.
        const QMimeDatabase::MatchMode mode =
            QFileInfo(path).isReadable() ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchExtension;
        return kindOfMimeType(db.mimeTypeForFile(path, mode));
    }
    return kindOfMimeType(db.mimeTypeForFile(url.fileName(QUrl::FullyDecoded), QMimeDatabase::MatchExtension));
}

QList<QUrl> siblings(const QUrl &url)
{
    if (!url.isLocalFile())
        return {url};
    const QString path = url.toLocalFile();
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray encodedFolder = QFile::encodeName(folder);

    // The C locale collates by code point, which knows neither numbers nor case.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    std::vector<Candidate> found;
    if (DirHandle dir{opendir(encodedFolder.constData())}) {
        while (const dirent *entry = readdir(dir.get())) {
            if (entry->d_name[0] == '.')
                continue;  // hidden, and "." and ".."
            const QString name = QFile::decodeName(entry->d_name);
            unsigned char type = entry->d_type;
            const auto byExtension = kindOfExtension(name);
            // The scan's own file type settles files of known extensions; only links,
            // unknown types and unfamiliar extensions cost a look at the file.
            if (type == DT_UNKNOWN || (type == DT_LNK && byExtension)) {
                struct stat info {};
                const QByteArray full = encodedFolder + '/' + entry->d_name;
                if (stat(full.constData(), &info) != 0)
                    continue;
                type = S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
            }
            if (type == DT_DIR)
                continue;
            if (!byExtension && !kind(QUrl::fromLocalFile(folder + QLatin1Char('/') + name)))
                continue;
            found.push_back({name, collator.sortKey(name)});
        }
    }

    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate &a, const Candidate &b) { return a.sortKey < b.sortKey; });

    QList<QUrl> result;
    result.reserve(qsizetype(found.size()));
    for (const Candidate &c : found)
        result.append(QUrl::fromLocalFile(folder + QLatin1Char('/') + c.name));
    if (result.isEmpty())
        result.append(url);
    return result;
}

} // namespace MediaFile
