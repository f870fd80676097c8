#include "support/ConverterFixtures.h"

#include "converter/ConverterEngine.h"
#include "engine/ConvertTypes.h"

#include <QtConcurrent>
#include <QtTest>

using namespace ConverterFixtures;

namespace {

QString loaderFor(const QString &targetID)
{
    static const QHash<QString, QString> loaders{
        {QStringLiteral("jpeg"), QStringLiteral("jpegload")}, {QStringLiteral("png"), QStringLiteral("pngload")},
        {QStringLiteral("heic"), QStringLiteral("heifload")}, {QStringLiteral("tiff"), QStringLiteral("tiffload")},
        {QStringLiteral("bmp"), QStringLiteral("magickload")}, {QStringLiteral("ico"), QStringLiteral("magickload")},
        {QStringLiteral("gif-still"), QStringLiteral("gifload")},
    };
    return loaders.value(targetID);
}

} // namespace

class TestConvertImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { vips_operation_block_set("VipsForeignSaveMagick", FALSE); }

    void scalesToTheLimit_data();
    void scalesToTheLimit();
    void readsCommonFormats_data();
    void readsCommonFormats();
    void followsExifOrientation_data();
    void followsExifOrientation();
    void transparency_data();
    void transparency();
    void jpegQuality_data();
    void jpegQuality();
    void animatedGifGivesItsFirstFrame_data();
    void animatedGifGivesItsFirstFrame();
    void pictureToPDF();
    void picturesToPDFSkipsBrokenOnes();
    void picturesToPDFWithNothingUsable();
    void badInput_data();
    void badInput();
    void unwritableOutput_data();
    void unwritableOutput();
    void fullDisk_data();
    void fullDisk();
    void blockedWriter_data();
    void blockedWriter();
    void runsOnTwoThreadsAtOnce();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestConvertImage::scalesToTheLimit_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("4000x3000 photo to jpeg at 1080") << 4000 << 3000 << "jpeg" << 1080 << QSize(1080, 810);
    QTest::newRow("800x600 is not enlarged to 1080") << 800 << 600 << "jpeg" << 1080 << QSize(800, 600);
    QTest::newRow("original size kept") << 1234 << 567 << "png" << 0 << QSize(1234, 567);
    QTest::newRow("portrait to png at 720") << 600 << 1600 << "png" << 720 << QSize(270, 720);
    QTest::newRow("tiff smaller than 4K stays") << 1000 << 500 << "tiff" << 2160 << QSize(1000, 500);
    QTest::newRow("heic at 480") << 1280 << 960 << "heic" << 480 << QSize(480, 360);
    QTest::newRow("bmp at 480") << 640 << 480 << "bmp" << 480 << QSize(480, 360);
    QTest::newRow("gif-still at 720") << 1440 << 720 << "gif-still" << 720 << QSize(720, 360);
    QTest::newRow("ico at original size is capped at 256") << 1000 << 500 << "ico" << 0 << QSize(256, 128);
    QTest::newRow("ico at 480 is capped at 256") << 1000 << 500 << "ico" << 480 << QSize(256, 128);
    QTest::newRow("small ico is not enlarged") << 100 << 50 << "ico" << 0 << QSize(100, 50);
}

void TestConvertImage::scalesToTheLimit()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, targetID);
    QFETCH(int, maxSize);
    QFETCH(QSize, expected);

    const QString input = makePicture(path(QStringLiteral("in-%1x%2.jpg").arg(width).arg(height)), width, height,
                                      QColor(30, 120, 200));
    QVERIFY(!input.isEmpty());
    const QByteArray before = sha256(input);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("%1-%2.%3").arg(QTest::currentDataTag(), targetID, t.ext));

    const std::optional<ConvertError> error = ConverterEngine::convertImage(input, output, t, options(maxSize));
    QCOMPARE(messageOf(error), QString());

    const std::optional<PictureInfo> info = readPicture(output);
    QVERIFY(info);
    QCOMPARE(info->loader, loaderFor(targetID));
    QCOMPARE(QSize(info->width, info->height), expected);
    QCOMPARE(sha256(input), before);
    const std::optional<QColor> centre = pixel(output, expected.width() / 2, expected.height() / 2);
    QVERIFY(centre);
    QVERIFY2(near(*centre, QColor(30, 120, 200), targetID == QLatin1String("gif-still") ? 24 : 12),
             qPrintable(centre->name()));
}

void TestConvertImage::readsCommonFormats_data()
{
    QTest::addColumn<QString>("ext");
    for (const char *ext : {"bmp", "ico", "gif", "heic", "tif", "webp", "png", "jpg"})
        QTest::newRow(ext) << QString::fromLatin1(ext);
}

void TestConvertImage::readsCommonFormats()
{
    QFETCH(QString, ext);
    // A file name ending in "]" is read through the non-file path as well.
    for (const QString &name : {QStringLiteral("format.") + ext, QStringLiteral("format [1].") + ext + "]"}) {
        const QString input = path(name);
        QVERIFY(!makePicture(path(QStringLiteral("format-src.") + ext), 200, 100, QColor(220, 40, 40)).isEmpty());
        QFile::remove(input);
        QVERIFY(QFile::copy(path(QStringLiteral("format-src.") + ext), input));
        const QString output = path(QStringLiteral("format-out.png"));
        QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, target(QStringLiteral("png")), options(100))),
                 QString());
        const std::optional<PictureInfo> info = readPicture(output);
        QVERIFY(info);
        QCOMPARE(QSize(info->width, info->height), QSize(100, 50));
        QVERIFY2(near(*pixel(output, 50, 25), QColor(220, 40, 40), 20), qPrintable(pixel(output, 50, 25)->name()));
        QFile::remove(output);
    }
}

void TestConvertImage::followsExifOrientation_data()
{
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("original size") << 0 << QSize(200, 400);
    QTest::newRow("limited to 200") << 200 << QSize(100, 200);
}

void TestConvertImage::followsExifOrientation()
{
    QFETCH(int, maxSize);
    QFETCH(QSize, expected);
    const QString input = makeRotatedJPEG(path(QStringLiteral("sideways.jpg")), 400, 200);
    QVERIFY(!input.isEmpty());
    const QString output = path(QStringLiteral("upright-%1.png").arg(maxSize));

    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, target(QStringLiteral("png")), options(maxSize))),
             QString());

    const std::optional<PictureInfo> info = readPicture(output);
    QVERIFY(info);
    QCOMPARE(QSize(info->width, info->height), expected);
    // Stored with red on the left; turned clockwise, red is on top.
    QVERIFY(near(*pixel(output, expected.width() / 2, expected.height() / 8), Qt::red, 30));
    QVERIFY(near(*pixel(output, expected.width() / 2, expected.height() * 7 / 8), Qt::blue, 30));
}

void TestConvertImage::transparency_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<bool>("keepsAlpha");
    QTest::newRow("jpeg flattens on white") << "jpeg" << false;
    QTest::newRow("bmp flattens on white") << "bmp" << false;
    QTest::newRow("png keeps transparency") << "png" << true;
    QTest::newRow("tiff keeps transparency") << "tiff" << true;
    QTest::newRow("heic keeps transparency") << "heic" << true;
}

void TestConvertImage::transparency()
{
    QFETCH(QString, targetID);
    QFETCH(bool, keepsAlpha);
    const QString input = makePicture(path(QStringLiteral("clear-left.png")), 200, 100, QColor(0, 160, 0), true);
    QVERIFY(!input.isEmpty());
    QVERIFY(readPicture(input)->alpha);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("transparency.") + t.ext);

    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), QString());

    const std::optional<PictureInfo> info = readPicture(output);
    QVERIFY(info);
    QCOMPARE(info->alpha, keepsAlpha);
    const QColor clear = *pixel(output, 30, 50);
    const QColor solid = *pixel(output, 170, 50);
    if (keepsAlpha) {
        QVERIFY2(clear.alpha() <= 8, qPrintable(QString::number(clear.alpha())));
    } else {
        QVERIFY2(near(clear, Qt::white), qPrintable(clear.name(QColor::HexArgb)));
    }
    QVERIFY2(near(solid, QColor(0, 160, 0)), qPrintable(solid.name(QColor::HexArgb)));
}

void TestConvertImage::jpegQuality_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("vipsQ");
    QTest::newRow("best is 0.95") << int(ConvertQuality::best) << 95;
    QTest::newRow("balanced is 0.82") << int(ConvertQuality::balanced) << 82;
    QTest::newRow("small is 0.6") << int(ConvertQuality::small) << 60;
}

void TestConvertImage::jpegQuality()
{
    QFETCH(int, quality);
    QFETCH(int, vipsQ);
    const QString input = makePicture(path(QStringLiteral("quality.png")), 320, 240, QColor(200, 50, 50));
    const QString output = path(QStringLiteral("quality-%1.jpg").arg(vipsQ));

    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, target(QStringLiteral("jpeg")),
                                                     options(0, ConvertQuality::Value(quality)))),
             QString());

    // The encoder's quantisation table tells which quality it was asked for.
    const QList<int> table = luminanceTable(output);
    QCOMPARE(table.size(), 64);
    const int sum = std::accumulate(table.begin(), table.end(), 0);
    QCOMPARE(sum, standardLuminanceSum(vipsQ));
    for (int other : {95, 82, 60})
        if (other != vipsQ)
            QVERIFY(sum != standardLuminanceSum(other));
}

void TestConvertImage::animatedGifGivesItsFirstFrame_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::newRow("png") << "png";
    QTest::newRow("gif-still") << "gif-still";
}

void TestConvertImage::animatedGifGivesItsFirstFrame()
{
    QFETCH(QString, targetID);
    const QString input = makeAnimatedGIF(path(QStringLiteral("moving.gif")), 64, 48);
    QVERIFY(!input.isEmpty());
    QCOMPARE(readPicture(input)->height, 48);
    QCOMPARE(readPicture(input)->pages, 2);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("first-frame.") + t.ext);

    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), QString());

    const std::optional<PictureInfo> info = readPicture(output);
    QVERIFY(info);
    QCOMPARE(QSize(info->width, info->height), QSize(64, 48));
    QCOMPARE(info->pages, 1);
    QVERIFY(near(*pixel(output, 32, 24), Qt::red, 30));
}

void TestConvertImage::pictureToPDF()
{
    const QString input = makePicture(path(QStringLiteral("for-pdf.png")), 300, 200, Qt::red);
    const QString output = path(QStringLiteral("one-page.pdf"));

    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, target(QStringLiteral("pdf")), options(0))),
             QString());

    const std::unique_ptr<Poppler::Document> document = openPDF(output);
    QVERIFY(document);
    QCOMPARE(document->numPages(), 1);
    QCOMPARE(document->page(0)->pageSizeF(), QSizeF(300, 200));
    const QImage rendered = document->page(0)->renderToImage(72, 72);
    QVERIFY(near(rendered.pixelColor(150, 100), Qt::red, 20));
}

void TestConvertImage::picturesToPDFSkipsBrokenOnes()
{
    const QStringList pictures{
        makePicture(path(QStringLiteral("p1.jpg")), 300, 200, Qt::red),
        makePicture(path(QStringLiteral("p2.png")), 200, 300, Qt::green),
        writeFile(path(QStringLiteral("p3.jpg")), QByteArray("this is not a picture at all").repeated(40)),
        makePicture(path(QStringLiteral("p4.tif")), 500, 500, Qt::blue),
        makePicture(path(QStringLiteral("p5.png")), 640, 480, Qt::yellow, true),
    };
    QVERIFY(!pictures.contains(QString()));
    QList<QByteArray> before;
    for (const QString &picture : pictures)
        before << sha256(picture);
    const QString output = path(QStringLiteral("Pictures.pdf"));

    QCOMPARE(messageOf(ConverterEngine::picturesToPDF(pictures, output, options(480))), QString());

    const std::unique_ptr<Poppler::Document> document = openPDF(output);
    QVERIFY(document);
    QCOMPARE(document->numPages(), 4);
    const QList<QSizeF> sizes{{300, 200}, {200, 300}, {480, 480}, {480, 360}};
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int page = 0; page < 4; ++page) {
        QCOMPARE(document->page(page)->pageSizeF(), sizes[page]);
        const QImage rendered = document->page(page)->renderToImage(72, 72);
        const QColor centre = rendered.pixelColor(int(sizes[page].width() * 3 / 4), rendered.height() / 2);
        QVERIFY2(near(centre, colours[page], 20), qPrintable(centre.name()));
    }
    for (int i = 0; i < pictures.size(); ++i)
        QCOMPARE(sha256(pictures[i]), before[i]);
}

void TestConvertImage::picturesToPDFWithNothingUsable()
{
    const QStringList pictures{writeFile(path(QStringLiteral("junk1.png")), QByteArray(500, 'x')),
                               path(QStringLiteral("missing.png"))};
    const QString output = path(QStringLiteral("nothing.pdf"));
    QCOMPARE(messageOf(ConverterEngine::picturesToPDF(pictures, output, options(0))),
             QStringLiteral("The PDF couldn't be made."));
    QVERIFY(!QFileInfo::exists(output));
}

void TestConvertImage::badInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString cannotOpen = QStringLiteral("This picture couldn't be opened.");
    const QString cannotRead = QStringLiteral("This picture couldn't be read.");
    QTest::newRow("random bytes named .jpg") << "random.jpg" << cannotOpen;
    QTest::newRow("empty file") << "empty.png" << cannotOpen;
    QTest::newRow("zip archive") << "archive.zip" << cannotOpen;
    QTest::newRow("missing file") << "missing.png" << cannotOpen;
    QTest::newRow("png with damaged pixel data") << "damaged.png" << cannotRead;
    QTest::newRow("truncated jpeg") << "truncated.jpg" << cannotRead;
}

void TestConvertImage::badInput()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    const QString input = path(name);
    if (name == QLatin1String("random.jpg")) {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(char((i * 7919 + 13) % 251));
        writeFile(input, bytes);
    } else if (name == QLatin1String("empty.png")) {
        writeFile(input, {});
    } else if (name == QLatin1String("archive.zip")) {
        const QString inside = writeFile(path(QStringLiteral("inside.txt")), "hello");
        QCOMPARE(TestSupport::run(QStringLiteral("zip"), {QStringLiteral("-qj"), input, inside}), 0);
    } else if (name == QLatin1String("damaged.png")) {
        QFile::remove(input);
        const QString good = makeNoisyPicture(path(QStringLiteral("good.png")), 256, 256);
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        QVERIFY(readPicture(good));
        const qsizetype middle = bytes.size() / 2;
        for (qsizetype i = middle; i < middle + 64; ++i)
            bytes[i] = char(bytes[i] ^ 0x5a);
        writeFile(input, bytes);
    } else if (name == QLatin1String("truncated.jpg")) {
        const QString good = makeNoisyPicture(path(QStringLiteral("good.jpg")), 400, 300);
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        writeFile(input, file.read(file.size() / 2));
    }
    for (const QString &id : {QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("pdf")}) {
        const ConvertTarget t = target(id);
        const QString output = path(QStringLiteral("bad-out.") + t.ext);
        const QString expected = id == QLatin1String("pdf") && message == QLatin1String("This picture couldn't be read.")
            ? QStringLiteral("The PDF couldn't be made.")
            : message;
        QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), expected);
        QVERIFY(!QFileInfo::exists(output));
    }
}

void TestConvertImage::unwritableOutput_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("message");
    const QString cannotSave = QStringLiteral("The picture couldn't be saved.");
    QTest::newRow("jpeg into a missing folder") << "jpeg" << false << cannotSave;
    QTest::newRow("png into a read-only folder") << "png" << true << cannotSave;
    QTest::newRow("pdf into a read-only folder") << "pdf" << true << QStringLiteral("The PDF couldn't be made.");
}

void TestConvertImage::unwritableOutput()
{
    QFETCH(QString, targetID);
    QFETCH(bool, readOnly);
    QFETCH(QString, message);
    const QString input = makePicture(path(QStringLiteral("to-nowhere.png")), 120, 80, Qt::red);
    const ConvertTarget t = target(targetID);
    std::unique_ptr<ReadOnlyFolder> folder;
    QString output = path(QStringLiteral("no/such/folder/out.") + t.ext);
    if (readOnly) {
        folder = std::make_unique<ReadOnlyFolder>(path(QStringLiteral("locked")));
        if (!folder->usable())
            QSKIP("cannot make a read-only folder here");
        output = folder->path() + QStringLiteral("/out.") + t.ext;
    }
    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), message);
    QVERIFY(!QFileInfo::exists(output));
    if (readOnly)
        QCOMPARE(QDir(folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestConvertImage::fullDisk_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<QString>("message");
    QTest::newRow("tiff") << "tiff" << "The picture couldn't be saved.";
    QTest::newRow("pdf") << "pdf" << "The PDF couldn't be made.";
}

void TestConvertImage::fullDisk()
{
    QFETCH(QString, targetID);
    QFETCH(QString, message);
    SmallDisk disk(path(QStringLiteral("small-disk")), 64);
    if (!disk.usable())
        QSKIP("mounting a small tmpfs needs root");
    // About 3 MB of noise in any lossless form: far more than the disk holds.
    const QString input = makeNoisyPicture(path(QStringLiteral("noise-1000.png")), 1000, 1000);
    const ConvertTarget t = target(targetID);
    const QString output = disk.path() + QStringLiteral("/big.") + t.ext;
    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), message);
    QCOMPARE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestConvertImage::blockedWriter_data()
{
    QTest::addColumn<QString>("targetID");
    QTest::addColumn<QString>("message");
    QTest::newRow("bmp") << "bmp" << "This system can't write BMP files.";
    QTest::newRow("ico") << "ico" << "This system can't write ICO (Windows icon) files.";
}

void TestConvertImage::blockedWriter()
{
    QFETCH(QString, targetID);
    QFETCH(QString, message);
    const QString input = makePicture(path(QStringLiteral("blocked.png")), 64, 64, Qt::red);
    const ConvertTarget t = target(targetID);
    const QString output = path(QStringLiteral("blocked.") + t.ext);
    // libvips' own policy switch stands in for a build without the writer.
    vips_operation_block_set("VipsForeignSaveMagick", TRUE);
    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), message);
    QVERIFY(!QFileInfo::exists(output));
    vips_operation_block_set("VipsForeignSaveMagick", FALSE);
    QCOMPARE(messageOf(ConverterEngine::convertImage(input, output, t, options(0))), QString());
    QVERIFY(readPicture(output));
}

void TestConvertImage::runsOnTwoThreadsAtOnce()
{
    QList<int> sides;
    for (int i = 0; i < 8; ++i)
        sides << 600 + 100 * i;
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    const QList<QString> failures = QtConcurrent::blockingMapped(&pool, sides, [this](int side) {
        const QString input = makePicture(path(QStringLiteral("thread-%1.png").arg(side)), side, side / 2, Qt::blue);
        const QString output = path(QStringLiteral("thread-%1.jpg").arg(side));
        const QString error = messageOf(ConverterEngine::convertImage(input, output, target(QStringLiteral("jpeg")),
                                                                      options(480)));
        const std::optional<PictureInfo> info = readPicture(output);
        if (!error.isEmpty() || !info || info->width != 480 || info->height != 240)
            return QStringLiteral("%1: %2").arg(side).arg(error);
        return QString();
    });
    QCOMPARE(failures, QList<QString>(8));
}

QTEST_MAIN(TestConvertImage)
#include "tst_convertimage.moc"
