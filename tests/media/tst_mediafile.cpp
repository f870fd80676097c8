#include "media/MediaEntry.h"
#include "media/MediaFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestMediaFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void extensionSets();
    void kindByExtension_data();
    void kindByExtension();
    void kind_data();
    void kind();
    void siblings_data();
    void siblings();
    void siblingsOfUnlistableFolder_data();
    void siblingsOfUnlistableFolder();
    void entryFromFile_data();
    void entryFromFile();

private:
    QString media(const QString &name) const { return m_media.filePath(name); }
    QTemporaryDir m_media;
};

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

QStringList names(const QList<QUrl> &urls)
{
    QStringList out;
    for (const QUrl &url : urls)
        out << url.fileName();
    return out;
}

} // namespace

void TestMediaFile::initTestCase()
{
    using TestSupport::makeMedia;
    const QStringList video{"-f", "lavfi", "-i", "testsrc=d=1:s=64x48:r=10", "-c:v", "mpeg4"};
    const QStringList audio{"-f", "lavfi", "-i", "sine=d=1"};
    QVERIFY(!makeMedia(media("Clip.MKV"), video).isEmpty());
    QVERIFY(!makeMedia(media("song.OPUS"), audio + QStringList{"-c:a", "libopus"}).isEmpty());
    QVERIFY(!makeMedia(media("only-sound.webm"), audio + QStringList{"-c:a", "libopus"}).isEmpty());
    QVERIFY(!makeMedia(media("movie.mp4"), video).isEmpty());
    QVERIFY(QFile::rename(media("movie.mp4"), media("movie")));
    QVERIFY(!makeMedia(media("tune.mp3"), audio).isEmpty());
    QVERIFY(QFile::rename(media("tune.mp3"), media("tune")));
    QVERIFY(!makeMedia(media("picture.png"), {"-f", "lavfi", "-i", "testsrc=s=64x48", "-frames:v", "1"}).isEmpty());
    QCOMPARE(TestSupport::run(QStringLiteral("vips"), {"copy", media("picture.png"), media("photo.heic")}), 0);
    QFile notes(media("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("A shopping list, not a song.\n");
    notes.close();
    QVERIFY(QDir(m_media.path()).mkdir(QStringLiteral("folder.mp4")));
}

void TestMediaFile::extensionSets()
{
    QCOMPARE(MediaFile::videoExtensionList().size(), 24);
    QCOMPARE(MediaFile::audioExtensionList().size(), 25);
    QCOMPARE(MediaFile::videoExtensions().size(), 24);
    QCOMPARE(MediaFile::audioExtensions().size(), 25);
    QVERIFY(!MediaFile::videoExtensions().intersects(MediaFile::audioExtensions()));
}

void TestMediaFile::kindByExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");  // raw value, "" for none
    QTest::newRow("upper-case video") << "/x/Clip.MKV" << "video";
    QTest::newRow("upper-case audio") << "/x/song.OPUS" << "audio";
    QTest::newRow("mixed case") << "/x/a.Mp4" << "video";
    QTest::newRow("two dots") << "/x/show.s01.e02.m2ts" << "video";
    QTest::newRow("picture has no set") << "/x/photo.jpg" << "";
    QTest::newRow("no extension") << "/x/movie" << "";
    QTest::newRow("extension only in the folder") << "/x.mkv/readme" << "";
    QTest::newRow("dv") << "/x/tape.dv" << "video";
    QTest::newRow("m4b") << "/x/book.m4b" << "audio";
}

void TestMediaFile::kindByExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const auto kind = MediaFile::kindByExtension(QUrl::fromLocalFile(path));
    QCOMPARE(kind ? rawValue(*kind) : QString(), expected);
}

void TestMediaFile::kind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Clip.MKV by extension") << "Clip.MKV" << "video";
    QTest::newRow("song.OPUS by extension") << "song.OPUS" << "audio";
    QTest::newRow("audio-only webm stays a video") << "only-sound.webm" << "video";
    QTest::newRow("heic through its content type") << "photo.heic" << "image";
    QTest::newRow("png") << "picture.png" << "image";
    QTest::newRow("no extension, movie content") << "movie" << "video";
    QTest::newRow("no extension, mp3 content") << "tune" << "audio";
    QTest::newRow("text") << "notes.txt" << "";
    QTest::newRow("missing picture judged by name") << "gone.jpg" << "image";
    QTest::newRow("missing text") << "gone.txt" << "";
    QTest::newRow("missing, no extension") << "gone" << "";
}

void TestMediaFile::kind()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const auto kind = MediaFile::kind(QUrl::fromLocalFile(media(name)));
    QCOMPARE(kind ? rawValue(*kind) : QString(), expected);
}

void TestMediaFile::siblings_data()
{
    QTest::addColumn<QStringList>("files");     // made empty, except as noted
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("hidden and text skipped")
        << QStringList{"b.mp4", "A.mov", "c.txt", ".hidden.mp4"} << "b.mp4" << QStringList{"A.mov", "b.mp4"};
    QTest::newRow("numbers compare as numbers")
        << QStringList{"Episode 10.mp4", "Episode 9.mp4", "Episode 1.mp4"} << "Episode 9.mp4"
        << QStringList{"Episode 1.mp4", "Episode 9.mp4", "Episode 10.mp4"};
    QTest::newRow("case-insensitive")
        << QStringList{"beta.flac", "Alpha.MP3", "gamma.ogg", "Delta.wav"} << "beta.flac"
        << QStringList{"Alpha.MP3", "beta.flac", "Delta.wav", "gamma.ogg"};
    QTest::newRow("folders with media names drop out")
        << QStringList{"dir:season.mkv", "a.mkv"} << "a.mkv" << QStringList{"a.mkv"};
    QTest::newRow("nothing playable gives the file itself")
        << QStringList{"a.txt", "b.pdf"} << "a.txt" << QStringList{"a.txt"};
    QTest::newRow("a hidden file opened is not listed")
        << QStringList{".secret.mp4", "x.mp4"} << ".secret.mp4" << QStringList{"x.mp4"};
    QTest::newRow("picture found by content type")
        << QStringList{"copy:picture.png", "z.mp4", "copy:notes.txt"} << "z.mp4" << QStringList{"picture.png", "z.mp4"};
    QTest::newRow("link to a file kept, link to a folder dropped")
        << QStringList{"a.mp4", "link:a.mp4>b.mp4", "dir:d", "link:d>c.mp4"} << "a.mp4"
        << QStringList{"a.mp4", "b.mp4"};
}

void TestMediaFile::siblings()
{
    QFETCH(QStringList, files);
    QFETCH(QString, opened);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    for (const QString &entry : files) {
        const QString arg = entry.section(QLatin1Char(':'), 1);
        if (entry.startsWith(QLatin1String("dir:"))) {
            QVERIFY(QDir(dir.path()).mkdir(arg));
        } else if (entry.startsWith(QLatin1String("copy:"))) {
            QVERIFY(QFile::copy(media(arg), dir.filePath(arg)));
        } else if (entry.startsWith(QLatin1String("link:"))) {
            QVERIFY(QFile::link(dir.filePath(arg.section(QLatin1Char('>'), 0, 0)),
                                dir.filePath(arg.section(QLatin1Char('>'), 1))));
        } else {
            touch(dir.filePath(entry));
        }
    }
    const QList<QUrl> listed = MediaFile::siblings(QUrl::fromLocalFile(dir.filePath(opened)));
    QCOMPARE(names(listed), expected);
    for (const QUrl &url : listed)
        QCOMPARE(url, QUrl::fromLocalFile(dir.filePath(url.fileName())));
}

void TestMediaFile::siblingsOfUnlistableFolder_data()
{
    QTest::addColumn<QString>("folderKind");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("parent is a file") << "file";
    QTest::newRow("folder without permissions") << "locked";
    QTest::newRow("not a file address") << "web";
}

void TestMediaFile::siblingsOfUnlistableFolder()
{
    QFETCH(QString, folderKind);
    QTemporaryDir dir;
    QString target;
    if (folderKind == QLatin1String("missing")) {
        target = dir.filePath(QStringLiteral("nowhere/a.mp4"));
    } else if (folderKind == QLatin1String("web")) {
        const QUrl web(QStringLiteral("https://example.org/show/a.mp4"));
        QCOMPARE(MediaFile::siblings(web), QList<QUrl>{web});
        return;
    } else if (folderKind == QLatin1String("file")) {
        touch(dir.filePath(QStringLiteral("plain")));
        target = dir.filePath(QStringLiteral("plain/a.mp4"));
    } else {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root from listing a folder");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        touch(dir.filePath(QStringLiteral("locked/a.mp4")));
        touch(dir.filePath(QStringLiteral("locked/b.mp4")));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::WriteOwner));
        target = dir.filePath(QStringLiteral("locked/b.mp4"));
    }
    const QUrl url = QUrl::fromLocalFile(target);
    QCOMPARE(MediaFile::siblings(url), QList<QUrl>{url});
    if (folderKind == QLatin1String("locked"))
        QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                        | QFileDevice::ExeOwner);
}

void TestMediaFile::entryFromFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("kind");
    QTest::newRow("video") << "Clip.MKV" << true << "video";
    QTest::newRow("picture") << "photo.heic" << true << "image";
    QTest::newRow("text") << "notes.txt" << false << "";
}

void TestMediaFile::entryFromFile()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QFETCH(QString, kind);
    const QUrl url = QUrl::fromLocalFile(media(name));
    const auto entry = MediaEntry::file(url);
    QCOMPARE(entry.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(entry->url, url);
    QCOMPARE(entry->name, name);
    QCOMPARE(rawValue(entry->kind), kind);
    QVERIFY(entry->local);
    QCOMPARE(entry->key, media(name));
    QCOMPARE(entry->origin, MediaOrigin::file(media(name)));
}

QTEST_GUILESS_MAIN(TestMediaFile)
#include "tst_mediafile.moc"
