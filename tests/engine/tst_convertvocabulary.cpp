#include "core/Preferences.h"
#include "engine/ConvertTypes.h"
#include "engine/ConverterSettings.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace TestSupport;

Q_DECLARE_METATYPE(std::optional<ConvertKind>)

namespace {

QString kindName(const std::optional<ConvertKind> &kind)
{
    return kind ? kind->id() : QStringLiteral("none");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The smallest PDF that readers and content sniffers accept.
QByteArray minimalPdf()
{
    return QByteArrayLiteral("%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                             "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                             "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj\n"
                             "trailer<</Root 1 0 R>>\n%%EOF\n");
}

} // namespace

class TestConvertVocabulary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void kindFields_data();
    void kindFields();
    void kindOrderAndRawValues();

    void kindOf_data();
    void kindOf();
    void kindOfUrl();
    void extensionSets();

    void targetTable_data();
    void targetTable();
    void targetIdsUnique();
    void targetsFor_data();
    void targetsFor();
    void byID_data();
    void byID();
    void targetEquality();

    void quality_data();
    void quality();
    void optionsDefaults();
    void errorDescription();

    void storedChoice_data();
    void storedChoice();
    void storedQuality_data();
    void storedQuality();
    void storedMaxSize_data();
    void storedMaxSize();
    void storedFolder_data();
    void storedFolder();
    void settingsWrite();

private:
    QTemporaryDir m_dir;
};

void TestConvertVocabulary::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString d = m_dir.path() + QLatin1Char('/');
    QVERIFY(!makeMedia(d + QStringLiteral("clip.mp4"),
                       {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("testsrc=d=1:s=64x48"), QStringLiteral("-c:v"), QStringLiteral("libx264")})
                 .isEmpty());
    QVERIFY(QFile::copy(d + QStringLiteral("clip.mp4"), d + QStringLiteral("clip.dat")));
    QVERIFY(!makeMedia(d + QStringLiteral("picture.png"),
                       {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=red:s=16x16:d=1"), QStringLiteral("-frames:v"), QStringLiteral("1")})
                 .isEmpty());
    QVERIFY(QFile::copy(d + QStringLiteral("picture.png"), d + QStringLiteral("picture.bin")));
    QVERIFY(!makeMedia(d + QStringLiteral("tone.mp3"),
                       {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("sine=d=1")})
                 .isEmpty());
    QVERIFY(QFile::copy(d + QStringLiteral("tone.mp3"), d + QStringLiteral("tone.xyz1")));
    writeFile(d + QStringLiteral("movie.MKV"), "not really a movie");
    writeFile(d + QStringLiteral("stream.ts"), "not a translation file either");
    writeFile(d + QStringLiteral("notes.txt"), "plain words\n");
    writeFile(d + QStringLiteral("readme.md"), "# Title\n\nSome *words*.\n");
    writeFile(d + QStringLiteral("letter.rtf"), "{\\rtf1\\ansi Hello}\n");
    writeFile(d + QStringLiteral("page.htm"), "<html><body>Hi</body></html>\n");
    writeFile(d + QStringLiteral("plain"), "just some plain text without a name extension\n");
    writeFile(d + QStringLiteral("report.pdf"), minimalPdf());
    writeFile(d + QStringLiteral("report.bin"), minimalPdf());
    writeFile(d + QStringLiteral("archive.zip"), QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
    writeFile(d + QStringLiteral("story.pages"), QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
    writeFile(d + QStringLiteral("noise.qqq"), QByteArray("\x01\x02\x03\xff\xfe\x00\x11\x7f", 8));
}

void TestConvertVocabulary::kindFields_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("video") << int(ConvertKind::video) << "video" << "Videos" << "film";
    QTest::newRow("audio") << int(ConvertKind::audio) << "audio" << "Music & audio" << "music.note";
    QTest::newRow("image") << int(ConvertKind::image) << "image" << "Pictures" << "photo";
    QTest::newRow("pdf") << int(ConvertKind::pdf) << "pdf" << "PDFs" << "doc.richtext";
    QTest::newRow("document") << int(ConvertKind::document) << "document" << "Documents" << "doc.text";
}

void TestConvertVocabulary::kindFields()
{
    QFETCH(int, kind);
    QFETCH(QString, id);
    QFETCH(QString, title);
    QFETCH(QString, symbol);
    const ConvertKind k(static_cast<ConvertKind::Value>(kind));
    QCOMPARE(k.id(), id);
    QCOMPARE(k.title(), title);
    QCOMPARE(k.symbol(), symbol);
    const auto back = ConvertKind::fromRawValue(id);
    QVERIFY(back);
    QCOMPARE(back->value(), k.value());
}

void TestConvertVocabulary::kindOrderAndRawValues()
{
    QStringList ids;
    for (const ConvertKind &k : ConvertKind::allCases())
        ids << k.id();
    QCOMPARE(ids, QStringList({"video", "audio", "image", "pdf", "document"}));
    QVERIFY(!ConvertKind::fromRawValue(QStringLiteral("Video")));
    QVERIFY(!ConvertKind::fromRawValue(QString()));
}

void TestConvertVocabulary::kindOf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("upper-case MKV by extension") << "movie.MKV" << "video";
    QTest::newRow("ts is video, not a translation") << "stream.ts" << "video";
    QTest::newRow("real mp4") << "clip.mp4" << "video";
    QTest::newRow("mp4 content, unlisted extension") << "clip.dat" << "video";
    QTest::newRow("mp3") << "tone.mp3" << "audio";
    QTest::newRow("mp3 content, unlisted extension") << "tone.xyz1" << "audio";
    QTest::newRow("txt") << "notes.txt" << "document";
    QTest::newRow("md") << "readme.md" << "document";
    QTest::newRow("rtf") << "letter.rtf" << "document";
    QTest::newRow("htm") << "page.htm" << "document";
    QTest::newRow("plain text without extension") << "plain" << "document";
    QTest::newRow("png") << "picture.png" << "image";
    QTest::newRow("png content, unlisted extension") << "picture.bin" << "image";
    QTest::newRow("pdf") << "report.pdf" << "pdf";
    QTest::newRow("pdf content, unlisted extension") << "report.bin" << "pdf";
    QTest::newRow("zip") << "archive.zip" << "none";
    QTest::newRow("pages document") << "story.pages" << "none";
    QTest::newRow("unknown bytes, unknown extension") << "noise.qqq" << "none";
    QTest::newRow("missing file with listed extension") << "gone.mov" << "video";
    QTest::newRow("missing file with unknown extension") << "gone.qqq" << "none";
}

void TestConvertVocabulary::kindOf()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QCOMPARE(kindName(ConvertKind::of(m_dir.filePath(file))), expected);
}

void TestConvertVocabulary::kindOfUrl()
{
    QCOMPARE(kindName(ConvertKind::of(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("report.pdf"))))),
             QStringLiteral("pdf"));
    QCOMPARE(kindName(ConvertKind::of(QUrl(QStringLiteral("https://127.0.0.1/clip.mp4")))), QStringLiteral("none"));
}

void TestConvertVocabulary::extensionSets()
{
    QCOMPARE(ConvertKind::videoExtensions().size(), 24);
    QCOMPARE(ConvertKind::audioExtensions().size(), 25);
    QCOMPARE(ConvertKind::documentExtensions().size(), 13);
    QVERIFY(!ConvertKind::videoExtensions().intersects(ConvertKind::audioExtensions()));
    QVERIFY(!ConvertKind::documentExtensions().intersects(ConvertKind::videoExtensions()));
    for (const QString &e : ConvertKind::videoExtensions() + ConvertKind::audioExtensions())
        QCOMPARE(e, e.toLower());
}

void TestConvertVocabulary::targetTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("detailStart");
    const auto row = [](int n, const char *id, const char *title, const char *ext, const char *output,
                        const char *detail) {
        QTest::newRow(id) << n << QString::fromUtf8(id) << QString::fromUtf8(title) << QString::fromUtf8(ext)
                          << QString::fromUtf8(output) << QString::fromUtf8(detail);
    };
    row(1, "mp4", "MP4 (H.264)", "mp4", "video", "Plays everywhere: Mac, Windows, phones, TVs, the web.");
    row(2, "mp4-hevc", "MP4 (HEVC / H.265)", "mp4", "video", "About half the size of H.264");
    row(3, "mp4-copy", "MP4 (rewrap, no re-encode)", "mp4", "video", "Moves the video and sound into MP4");
    row(4, "mov-prores", "MOV (ProRes 422)", "mov", "video", "For editing in Final Cut");
    row(5, "mkv", "MKV (H.264)", "mkv", "video", "Keeps every audio track and subtitle.");
    row(6, "webm", "WebM (VP9)", "webm", "video", "For websites. Slower to convert.");
    row(7, "mp4-part2", "MP4 (MPEG-4 Part 2)", "mp4", "video", "For old players, TVs, car screens and phones");
    row(8, "avi", "AVI (MPEG-4)", "avi", "video", "For old players, TVs and car screens.");
    row(9, "gif", "Animated GIF", "gif", "image", "Short silent clips for chats and web pages.");
    row(10, "mp3", "MP3", "mp3", "audio", "Plays on everything.");
    row(11, "m4a", "M4A (AAC)", "m4a", "audio", "Apple Music's format.");
    row(12, "alac", "M4A (Apple Lossless)", "m4a", "audio", "CD quality, for Apple devices.");
    row(13, "flac", "FLAC", "flac", "audio", "Lossless, open format.");
    row(14, "wav", "WAV", "wav", "audio", "Uncompressed. For editing and Windows.");
    row(15, "aiff", "AIFF", "aiff", "audio", "Uncompressed, Apple's format.");
    row(16, "opus", "Opus", "opus", "audio", "Best quality at small sizes. Newer players.");
    row(17, "jpeg", "JPEG", "jpg", "image", "Photos. Small files, plays everywhere.");
    row(18, "png", "PNG", "png", "image", "Screenshots and graphics. Lossless, keeps transparency.");
    row(19, "heic", "HEIC", "heic", "image", "iPhone's format. Half the size of JPEG.");
    row(20, "tiff", "TIFF", "tiff", "image", "Lossless, for print and editing.");
    row(21, "bmp", "BMP", "bmp", "image", "Windows bitmap.");
    row(22, "ico", "ICO (Windows icon)", "ico", "image", "Up to 256 × 256.");
    row(23, "gif-still", "GIF", "gif", "image", "Simple graphics, 256 colours.");
    row(24, "pdf", "PDF", "pdf", "pdf", "Prints and opens anywhere.");
    row(25, "pdf-png", "PNG pictures (one per page)", "png", "image", "Each page as a picture, in a folder.");
    row(26, "pdf-jpeg", "JPEG pictures (one per page)", "jpg", "image", "Each page as a picture, in a folder.");
    row(27, "pdf-docx", "Word (.docx), text only", "docx", "document", "The PDF's text and basic formatting.");
    row(28, "pdf-txt", "Plain text", "txt", "document", "Just the words.");
    row(29, "doc-pdf", "PDF", "pdf", "pdf", "Prints and opens anywhere.");
    row(30, "docx", "Word (.docx)", "docx", "document", "Microsoft Word, Pages, Google Docs.");
    row(31, "doc", "Word 97–2003 (.doc)", "doc", "document", "For old versions of Word.");
    row(32, "odt", "OpenDocument (.odt)", "odt", "document", "LibreOffice and OpenOffice.");
    row(33, "rtf", "Rich Text (.rtf)", "rtf", "document", "Opens in every word processor.");
    row(34, "html", "Web page (.html)", "html", "document", "Opens in any browser.");
    row(35, "txt", "Plain text (.txt)", "txt", "document", "Just the words.");
}

void TestConvertVocabulary::targetTable()
{
    QFETCH(int, index);
    QFETCH(QString, id);
    QFETCH(QString, title);
    QFETCH(QString, ext);
    QFETCH(QString, output);
    QFETCH(QString, detailStart);
    QCOMPARE(ConvertTarget::all().size(), 35);
    const ConvertTarget &t = ConvertTarget::all().at(index - 1);
    QCOMPARE(t.id, id);
    QCOMPARE(t.title, title);
    QCOMPARE(t.ext, ext);
    QCOMPARE(t.output.id(), output);
    QVERIFY2(t.detail.startsWith(detailStart), qPrintable(t.detail));
    QVERIFY(!t.detail.contains(QLatin1Char('\n')));
}

void TestConvertVocabulary::targetIdsUnique()
{
    QSet<QString> ids;
    for (const ConvertTarget &t : ConvertTarget::all())
        ids.insert(t.id);
    QCOMPARE(ids.size(), 35);
    QCOMPARE(ConvertTarget::byID(QStringLiteral("mp4-copy"))->detail,
             QStringLiteral("Moves the video and sound into MP4 without touching them. Fast and lossless, but only "
                            "works if they're already H.264/HEVC + AAC/MP3/AC-3."));
}

void TestConvertVocabulary::targetsFor_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("video") << "video"
                           << QStringList{"mp4", "mp4-hevc", "mp4-copy", "mp4-part2", "mov-prores", "mkv", "webm",
                                          "avi", "gif", "mp3", "m4a", "flac", "wav"};
    QTest::newRow("audio") << "audio" << QStringList{"mp3", "m4a", "alac", "flac", "wav", "aiff", "opus"};
    QTest::newRow("image") << "image" << QStringList{"jpeg", "png", "heic", "tiff", "bmp", "ico", "gif-still", "pdf"};
    QTest::newRow("pdf") << "pdf" << QStringList{"pdf-png", "pdf-jpeg", "pdf-docx", "pdf-txt"};
    QTest::newRow("document") << "document" << QStringList{"doc-pdf", "docx", "doc", "odt", "rtf", "html", "txt"};
}

void TestConvertVocabulary::targetsFor()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, ids);
    QStringList got;
    for (const ConvertTarget &t : ConvertTarget::targets(*ConvertKind::fromRawValue(kind)))
        got << t.id;
    QCOMPARE(got, ids);
}

void TestConvertVocabulary::byID_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("found");
    QTest::newRow("known") << "webm" << true;
    QTest::newRow("last") << "txt" << true;
    QTest::newRow("unknown") << "mpeg2" << false;
    QTest::newRow("case matters") << "MP4" << false;
    QTest::newRow("empty") << "" << false;
}

void TestConvertVocabulary::byID()
{
    QFETCH(QString, id);
    QFETCH(bool, found);
    const auto t = ConvertTarget::byID(id);
    QCOMPARE(bool(t), found);
    if (found)
        QCOMPARE(t->id, id);
}

void TestConvertVocabulary::targetEquality()
{
    const ConvertTarget a = *ConvertTarget::byID(QStringLiteral("pdf"));
    const ConvertTarget b = *ConvertTarget::byID(QStringLiteral("doc-pdf"));
    QVERIFY(a == *ConvertTarget::byID(QStringLiteral("pdf")));
    QVERIFY(!(a == b));  // same title, detail, ext and output; different id
    ConvertTarget c = a;
    c.output = ConvertKind::image;
    QVERIFY(!(a == c));
}

void TestConvertVocabulary::quality_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("index");
    QTest::newRow("best") << "best" << "Best quality" << 0;
    QTest::newRow("balanced") << "balanced" << "Balanced" << 1;
    QTest::newRow("small") << "small" << "Smallest file" << 2;
}

void TestConvertVocabulary::quality()
{
    QFETCH(QString, id);
    QFETCH(QString, title);
    QFETCH(int, index);
    const auto q = ConvertQuality::fromRawValue(id);
    QVERIFY(q);
    QCOMPARE(q->id(), id);
    QCOMPARE(q->title(), title);
    QCOMPARE(ConvertQuality::allCases().at(index).id(), id);
    QVERIFY(!ConvertQuality::fromRawValue(title));
}

void TestConvertVocabulary::optionsDefaults()
{
    const ConvertOptions o;
    QCOMPARE(o.quality.id(), QStringLiteral("balanced"));
    QCOMPARE(o.maxSize, 0);
    QCOMPARE(ConvertOptions::sizeChoices(), QList<int>({0, 2160, 1080, 720, 480}));
}

void TestConvertVocabulary::errorDescription()
{
    const QString text = QStringLiteral("This video has no sound to save.");
    QCOMPARE(ConvertError::message(text).description(), text);
}

void TestConvertVocabulary::storedChoice_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing video") << "video" << QJsonValue(QJsonValue::Undefined) << "mp4";
    QTest::newRow("stored video") << "video" << QJsonValue("webm") << "webm";
    QTest::newRow("video-only target for audio") << "audio" << QJsonValue("webm") << "mp3";
    QTest::newRow("audio-only target for video") << "video" << QJsonValue("opus") << "mp4";
    QTest::newRow("unknown id") << "image" << QJsonValue("jpeg2000") << "jpeg";
    QTest::newRow("wrong type") << "pdf" << QJsonValue(3) << "pdf-png";
    QTest::newRow("stored document") << "document" << QJsonValue("odt") << "odt";
}

void TestConvertVocabulary::storedChoice()
{
    QFETCH(QString, kind);
    QFETCH(QJsonValue, stored);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("p.json")));
    const ConvertKind k = *ConvertKind::fromRawValue(kind);
    prefs.set(QStringLiteral("fx.converter.") + kind, stored);
    QCOMPARE(ConverterSettings::choice(prefs, k), expected);
}

void TestConvertVocabulary::storedQuality_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << "balanced";
    QTest::newRow("best") << QJsonValue("best") << "best";
    QTest::newRow("small") << QJsonValue("small") << "small";
    QTest::newRow("title, not id") << QJsonValue("Best quality") << "balanced";
    QTest::newRow("wrong type") << QJsonValue(true) << "balanced";
}

void TestConvertVocabulary::storedQuality()
{
    QFETCH(QJsonValue, stored);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("p.json")));
    prefs.set(QStringLiteral("fx.converter.quality"), stored);
    QCOMPARE(ConverterSettings::quality(prefs).id(), expected);
}

void TestConvertVocabulary::storedMaxSize_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << 0;
    QTest::newRow("1080") << QJsonValue(1080) << 1080;
    QTest::newRow("480") << QJsonValue(480) << 480;
    QTest::newRow("2160") << QJsonValue(2160) << 2160;
    QTest::newRow("not a choice") << QJsonValue(333) << 0;
    QTest::newRow("fraction") << QJsonValue(720.5) << 0;
    QTest::newRow("negative") << QJsonValue(-720) << 0;
    QTest::newRow("text") << QJsonValue("720") << 0;
}

void TestConvertVocabulary::storedMaxSize()
{
    QFETCH(QJsonValue, stored);
    QFETCH(int, expected);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("p.json")));
    prefs.set(QStringLiteral("fx.converter.maxSize"), stored);
    QCOMPARE(ConverterSettings::maxSize(prefs), expected);
}

void TestConvertVocabulary::storedFolder_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("kept");
    QTest::newRow("existing folder") << "DIR" << true;
    QTest::newRow("missing folder") << "DIR/nowhere" << false;
    QTest::newRow("a file, not a folder") << "DIR/notes.txt" << false;
    QTest::newRow("empty text") << "" << false;
}

void TestConvertVocabulary::storedFolder()
{
    QFETCH(QString, stored);
    QFETCH(bool, kept);
    stored.replace(QStringLiteral("DIR"), m_dir.path());
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("p.json")));
    QVERIFY(!ConverterSettings::folder(prefs));
    prefs.set(QStringLiteral("fx.converter.folder"), stored);
    const auto folder = ConverterSettings::folder(prefs);
    QCOMPARE(bool(folder), kept);
    if (kept)
        QCOMPARE(*folder, stored);
}

void TestConvertVocabulary::settingsWrite()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.json"));
    {
        Preferences prefs(file);
        ConverterSettings::setChoice(prefs, ConvertKind::audio, QStringLiteral("flac"));
        ConverterSettings::setQuality(prefs, ConvertQuality::small);
        ConverterSettings::setMaxSize(prefs, 720);
        ConverterSettings::setFolder(prefs, m_dir.path());
    }
    Preferences reread(file);
    QCOMPARE(reread.string(QStringLiteral("fx.converter.audio")), std::optional<QString>(QStringLiteral("flac")));
    QCOMPARE(ConverterSettings::quality(reread).id(), QStringLiteral("small"));
    QCOMPARE(ConverterSettings::maxSize(reread), 720);
    QCOMPARE(ConverterSettings::folder(reread), std::optional<QString>(m_dir.path()));
    QSignalSpy spy(&reread, &Preferences::changed);
    ConverterSettings::setFolder(reread, std::nullopt);
    QVERIFY(!reread.contains(QStringLiteral("fx.converter.folder")));
    QCOMPARE(spy.count(), 1);
}

QTEST_GUILESS_MAIN(TestConvertVocabulary)
#include "tst_convertvocabulary.moc"
