#pragma once

// Fixtures for the picture, PDF and document conversions: inputs made at test time
// with libvips, QPdfWriter, qpdf and LibreOffice, and readers for the outputs.
// Header-only, because only the converter tests link libvips and Poppler; include
// it first (GLib's "signals" fields must come before Qt's keyword macros).
#include <vips/vips.h>

#include "engine/ConvertTypes.h"
#include "support/TestSupport.h"

#include <QColor>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <poppler/qt6/poppler-qt6.h>

#include <algorithm>
#include <memory>
#include <optional>

#include <unistd.h>

namespace ConverterFixtures {

inline ConvertTarget target(const QString &id)
{
    const std::optional<ConvertTarget> found = ConvertTarget::byID(id);
    if (!found)
        qFatal("no target %s", qPrintable(id));
    return *found;
}

inline ConvertOptions options(int maxSize, ConvertQuality quality = ConvertQuality::balanced)
{
    ConvertOptions result;
    result.maxSize = maxSize;
    result.quality = quality;
    return result;
}

// The error's text, or "" for success.
inline QString messageOf(const std::optional<ConvertError> &error)
{
    return error ? error->description() : QString();
}

struct VipsUnref
{
    void operator()(void *object) const
    {
        if (object)
            g_object_unref(object);
    }
};
using Image = std::unique_ptr<VipsImage, VipsUnref>;

inline void startVips()
{
    static const bool started = vips_init("zentrova-media-tests") == 0;
    Q_UNUSED(started);
}

// A solid sRGB picture of `colour`. With `transparentLeft`, the left half is fully
// transparent (alpha 0) and the right half opaque. With `rightColour`, the right
// half has that colour instead.
inline Image solidPicture(int width, int height, QColor colour, bool transparentLeft = false,
                          std::optional<QColor> rightColour = std::nullopt)
{
    startVips();
    VipsImage *x = nullptr, *right = nullptr, *black = nullptr, *left = nullptr, *other = nullptr,
              *mixed = nullptr, *rgb = nullptr;
    vips_xyz(&x, width, height, nullptr);
    Image xs(x);
    VipsImage *xband = nullptr;
    vips_extract_band(xs.get(), &xband, 0, nullptr);
    Image xb(xband);
    vips_more_const1(xb.get(), &right, width / 2, nullptr);  // 255 on the right half
    Image mask(right);
    vips_black(&black, width, height, "bands", 3, nullptr);
    Image base(black);
    double a[] = {1, 1, 1};
    double c1[] = {double(colour.red()), double(colour.green()), double(colour.blue())};
    const QColor second = rightColour.value_or(colour);
    double c2[] = {double(second.red()), double(second.green()), double(second.blue())};
    vips_linear(base.get(), &left, a, c1, 3, "uchar", TRUE, nullptr);
    Image l(left);
    vips_linear(base.get(), &other, a, c2, 3, "uchar", TRUE, nullptr);
    Image r(other);
    vips_ifthenelse(mask.get(), r.get(), l.get(), &mixed, nullptr);
    Image m(mixed);
    if (transparentLeft) {
        VipsImage *joined = nullptr;
        vips_bandjoin2(m.get(), mask.get(), &joined, nullptr);
        m.reset(joined);
    }
    vips_copy(m.get(), &rgb, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr);
    return Image(rgb);
}

inline bool save(VipsImage *image, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // No saver claims ".ico"; ImageMagick writes it when asked by name.
    const bool ok = path.endsWith(QLatin1String(".ico"))
        ? vips_magicksave(image, name.constData(), "format", "ico", nullptr) == 0
        : vips_image_write_to_file(image, name.constData(), nullptr) == 0;
    if (!ok) {
        qWarning("vips could not write %s: %s", qPrintable(path), vips_error_buffer());
        vips_error_clear();
    }
    return ok;
}

inline QString makePicture(const QString &path, int width, int height, QColor colour,
                           bool transparentLeft = false, std::optional<QColor> rightColour = std::nullopt)
{
    const Image image = solidPicture(width, height, colour, transparentLeft, rightColour);
    return image && save(image.get(), path) ? path : QString();
}

// A picture of random grey noise, which compresses badly: its data fills most of
// the file, so damage in the middle of the file hits pixel data.
inline QString makeNoisyPicture(const QString &path, int width, int height)
{
    startVips();
    VipsImage *noise = nullptr, *grey = nullptr;
    vips_gaussnoise(&noise, width, height, "mean", 128.0, "sigma", 60.0, nullptr);
    Image n(noise);
    vips_cast_uchar(n.get(), &grey, nullptr);
    Image g(grey);
    return g && save(g.get(), path) ? path : QString();
}

// A JPEG stored sideways: `width` x `height` pixels, left half red and right half
// blue, with EXIF orientation 6 (shown turned 90° clockwise, so red on top).
inline QString makeRotatedJPEG(const QString &path, int width, int height)
{
    Image image = solidPicture(width, height, Qt::red, false, QColor(Qt::blue));
    VipsImage *copy = nullptr;
    vips_copy(image.get(), &copy, nullptr);
    Image tagged(copy);
    vips_image_set_int(tagged.get(), VIPS_META_ORIENTATION, 6);
    return save(tagged.get(), path) ? path : QString();
}

// An animated GIF: a red first frame, then a blue one, each width x height.
inline QString makeAnimatedGIF(const QString &path, int width, int height)
{
    Image red = solidPicture(width, height, Qt::red);
    Image blue = solidPicture(width, height, Qt::blue);
    VipsImage *frames[] = {red.get(), blue.get()};
    VipsImage *strip = nullptr;
    vips_arrayjoin(frames, &strip, 2, "across", 1, nullptr);
    Image animation(strip);
    vips_image_set_int(animation.get(), VIPS_META_PAGE_HEIGHT, height);
    vips_image_set_int(animation.get(), VIPS_META_N_PAGES, 2);
    int delays[] = {100, 100};
    vips_image_set_array_int(animation.get(), "delay", delays, 2);
    return save(animation.get(), path) ? path : QString();
}

struct PictureInfo
{
    int width = 0;
    int height = 0;
    int bands = 0;
    bool alpha = false;
    int pages = 1;
    QString loader;
};

inline std::optional<PictureInfo> readPicture(const QString &path)
{
    startVips();
    Image image(vips_image_new_from_file(QFile::encodeName(path).constData(), nullptr));
    if (!image) {
        vips_error_clear();
        return std::nullopt;
    }
    PictureInfo info;
    info.width = image->Xsize;
    info.height = image->Ysize;
    info.bands = image->Bands;
    info.alpha = vips_image_hasalpha(image.get());
    info.pages = vips_image_get_n_pages(image.get());
    const char *loader = nullptr;
    if (vips_image_get_string(image.get(), VIPS_META_LOADER, &loader) == 0)
        info.loader = QString::fromUtf8(loader);
    return info;
}

// The pixel at (x, y) as 8-bit RGBA (alpha 255 when the picture has none).
inline std::optional<QColor> pixel(const QString &path, int x, int y)
{
    startVips();
    Image image(vips_image_new_from_file(QFile::encodeName(path).constData(), nullptr));
    if (!image) {
        vips_error_clear();
        return std::nullopt;
    }
    VipsImage *srgb = nullptr;
    if (vips_colourspace(image.get(), &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
        return std::nullopt;
    Image colour(srgb);
    double *values = nullptr;
    int count = 0;
    if (vips_getpoint(colour.get(), &values, &count, x, y, nullptr) != 0 || count < 3) {
        g_free(values);
        return std::nullopt;
    }
    const QColor result(qRound(values[0]), qRound(values[1]), qRound(values[2]),
                        count >= 4 ? qRound(values[3]) : 255);
    g_free(values);
    return result;
}

inline bool near(QColor a, QColor b, int tolerance = 12)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance && qAbs(a.alpha() - b.alpha()) <= tolerance;
}

// The first (luminance) quantisation table of a JPEG, in file order; empty when
// there is none.
inline QList<int> luminanceTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    for (qsizetype i = 2; i + 4 < data.size();) {
        if (uchar(data[i]) != 0xFF)
            return {};
        const uchar marker = uchar(data[i + 1]);
        const int length = (uchar(data[i + 2]) << 8) | uchar(data[i + 3]);
        if (marker == 0xDB && (uchar(data[i + 4]) & 0x0F) == 0 && (uchar(data[i + 4]) >> 4) == 0) {
            QList<int> table;
            for (int k = 0; k < 64 && i + 5 + k < data.size(); ++k)
                table << uchar(data[i + 5 + k]);
            return table;
        }
        if (marker == 0xDA)
            return {};
        i += 2 + length;
    }
    return {};
}

// The sum of libjpeg's standard luminance table scaled for `quality` (1..100);
// the order of the entries does not matter for a sum.
inline int standardLuminanceSum(int quality)
{
    static const int table[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                  14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                  18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                  49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    int sum = 0;
    for (int value : table)
        sum += std::clamp((value * scale + 50) / 100, 1, 255);
    return sum;
}

// A PDF made with QPdfWriter: one page per entry, each `size` points, with its
// text drawn at 12 pt from (72, 72), one line per "\n". A line starting with "#"
// is drawn at 24 pt (without the "#").
struct PdfPage
{
    QSizeF size;
    QString text;
};

inline QString makePDF(const QString &path, const QList<PdfPage> &pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    auto layoutFor = [](const PdfPage &page) {
        return QPageLayout(QPageSize(page.size, QPageSize::Point, QString(), QPageSize::ExactMatch),
                           QPageLayout::Portrait, QMarginsF());
    };
    writer.setPageLayout(layoutFor(pages.first()));
    QPainter painter(&writer);
    for (qsizetype index = 0; index < pages.size(); ++index) {
        if (index > 0) {
            writer.setPageLayout(layoutFor(pages[index]));
            writer.newPage();
        }
        double y = 72;
        for (QString line : pages[index].text.split(QLatin1Char('\n'))) {
            QFont font(QStringLiteral("DejaVu Sans"));
            const bool heading = line.startsWith(QLatin1Char('#'));
            font.setPointSizeF(heading ? 24 : 12);
            if (heading)
                line.remove(0, 1);
            painter.setFont(font);
            painter.drawText(QPointF(72, y), line);
            y += heading ? 36 : 16;
        }
    }
    return painter.end() ? path : QString();
}

// The same PDF encrypted with a user password (qpdf, AES-256).
inline QString encryptPDF(const QString &plain, const QString &path)
{
    QByteArray out;
    const int code = TestSupport::run(QStringLiteral("qpdf"),
                                      {QStringLiteral("--encrypt"), QStringLiteral("secret"), QStringLiteral("owner"),
                                       QStringLiteral("256"), QStringLiteral("--"), plain, path},
                                      &out);
    if (code != 0)
        qWarning("qpdf failed: %s", out.constData());
    return code == 0 ? path : QString();
}

inline std::unique_ptr<Poppler::Document> openPDF(const QString &path)
{
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (document && document->isLocked())
        return nullptr;
    return document;
}

inline QString pdfText(const QString &path)
{
    const std::unique_ptr<Poppler::Document> document = openPDF(path);
    QString text;
    for (int index = 0; document && index < document->numPages(); ++index)
        text += document->page(index)->text(QRectF()) + QLatin1Char('\n');
    return text;
}

// Runs LibreOffice on its own throw-away profile: converts `input` to `filter`
// (e.g. "docx:MS Word 2007 XML") into `outDir`; returns the output path.
inline QString office(const QString &input, const QString &filter, const QString &outDir,
                      const QStringList &extra = {})
{
    QTemporaryDir profile;
    QStringList args{QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
                     QStringLiteral("--headless"), QStringLiteral("--norestore")};
    args << extra << QStringLiteral("--convert-to") << filter << QStringLiteral("--outdir") << outDir << input;
    QByteArray out;
    TestSupport::run(QStringLiteral("soffice"), args, &out, 180000);
    const QString ext = filter.section(QLatin1Char(':'), 0, 0);
    const QString made = QDir(outDir).filePath(QFileInfo(input).completeBaseName() + QLatin1Char('.') + ext);
    if (!QFileInfo::exists(made))
        qWarning("LibreOffice made nothing from %s: %s", qPrintable(input), out.constData());
    return QFileInfo::exists(made) ? made : QString();
}

// A document's words as LibreOffice reads them (through its plain-text export).
inline QString officeText(const QString &path)
{
    QTemporaryDir out;
    const QString text = office(path, QStringLiteral("txt:Text (encoded):UTF8"), out.path());
    QFile file(text);
    if (text.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// One member of a ZIP container (.docx, .odt), read with unzip.
inline QByteArray zipMember(const QString &zip, const QString &member)
{
    QByteArray out;
    if (TestSupport::run(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member}, &out) != 0)
        return {};
    return out;
}

inline QByteArray sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// A folder nothing can be written into, not even by root: a read-only tmpfs
// mounted for the test when running as root, otherwise a folder without write
// permission. Empty when neither can be had.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &path)
        : m_path(path)
    {
        QDir().mkpath(path);
        if (geteuid() == 0) {
            m_mounted = TestSupport::run(QStringLiteral("mount"),
                                         {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("ro,size=1m"), QStringLiteral("tmpfs"), path})
                == 0;
            m_usable = m_mounted;
        } else {
            m_usable = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            TestSupport::run(QStringLiteral("umount"), {m_path});
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool usable() const { return m_usable; }
    QString path() const { return m_path; }

private:
    QString m_path;
    bool m_mounted = false;
    bool m_usable = false;
};

// A nearly full disk: a tmpfs of `kib` KiB mounted for the test (root only).
class SmallDisk
{
public:
    SmallDisk(const QString &path, int kib)
        : m_path(path)
    {
        QDir().mkpath(path);
        if (geteuid() == 0)
            m_mounted = TestSupport::run(QStringLiteral("mount"),
                                         {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), path})
                == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            TestSupport::run(QStringLiteral("umount"), {m_path});
    }
    bool usable() const { return m_mounted; }
    QString path() const { return m_path; }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace ConverterFixtures
