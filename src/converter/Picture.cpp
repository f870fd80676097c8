// libvips brings in GLib, whose struct fields are named "signals": it goes before
// anything that pulls in Qt's keyword macros.
#include <vips/vips.h>

#include "converter/Picture.h"

#include <QFile>
#include <QImage>

#include <cmath>
#include <mutex>

namespace {

void startVips()
{
    static std::once_flag once;
    std::call_once(once, [] { vips_init("zentrova-media"); });
}

struct ObjectUnref
{
    void operator()(void *object) const
    {
        if (object)
            g_object_unref(object);
    }
};
using ImagePtr = std::unique_ptr<VipsImage, ObjectUnref>;
using SourcePtr = std::unique_ptr<VipsSource, ObjectUnref>;

// Sources rather than file names: libvips reads options out of "name[...]" in a
// file name, which a user's file may well contain.
SourcePtr openSource(const QString &path)
{
    return SourcePtr(vips_source_new_from_file(QFile::encodeName(path).constData()));
}

ImagePtr adopt(VipsImage *image) { return ImagePtr(image); }

// Formats read only through ImageMagick (BMP, ICO, ...) have no streaming loader in
// this libvips: those are read from memory, which their sizes allow.
std::optional<QByteArray> readSmallFile(const QString &path)
{
    constexpr qint64 kLimit = 256 * 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLimit || file.size() == 0)
        return std::nullopt;
    return file.readAll();
}

// 8-bit sRGB with the alpha band kept, for display and for flattening.
ImagePtr toSRGB8(VipsImage *in)
{
    VipsImage *srgb = nullptr;
    if (vips_colourspace(in, &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
        return nullptr;
    ImagePtr colour = adopt(srgb);
    if (colour->BandFmt == VIPS_FORMAT_UCHAR)
        return colour;
    VipsImage *cast = nullptr;
    if (vips_cast_uchar(colour.get(), &cast, nullptr) != 0)
        return nullptr;
    return adopt(cast);
}

ImagePtr flattenedOnWhite(VipsImage *in)
{
    ImagePtr srgb = toSRGB8(in);
    if (!srgb)
        return nullptr;
    double white[] = {255, 255, 255};
    VipsArrayDouble *background = vips_array_double_new(white, 3);
    VipsImage *flat = nullptr;
    const int failed = vips_flatten(srgb.get(), &flat, "background", background, nullptr);
    vips_area_unref(VIPS_AREA(background));
    if (failed != 0)
        return nullptr;
    ImagePtr flattened = adopt(flat);
    if (flattened->BandFmt == VIPS_FORMAT_UCHAR)
        return flattened;
    VipsImage *cast = nullptr;
    if (vips_cast_uchar(flattened.get(), &cast, nullptr) != 0)
        return nullptr;
    return adopt(cast);
}

const char *saverName(Picture::Format format)
{
    switch (format) {
    case Picture::Format::jpeg:
        return "jpegsave_buffer";
    case Picture::Format::png:
        return "pngsave_buffer";
    case Picture::Format::heic:
        return "heifsave_buffer";
    case Picture::Format::tiff:
        return "tiffsave_buffer";
    case Picture::Format::bmp:
    case Picture::Format::ico:
        return "magicksave_buffer";
    case Picture::Format::gif:
        return "gifsave_buffer";
    }
    return "";
}

} // namespace

Picture::Picture(VipsImage *image)
    : m_image(image, ObjectUnref())
{
}

std::optional<QSize> Picture::pixelSize(const QString &path)
{
    startVips();
    ImagePtr header;
    if (SourcePtr source = openSource(path); source && vips_foreign_find_load_source(source.get()))
        header = adopt(vips_image_new_from_source(source.get(), "", nullptr));
    else if (const std::optional<QByteArray> bytes = readSmallFile(path))
        header = adopt(vips_image_new_from_buffer(bytes->constData(), size_t(bytes->size()), "", nullptr));
    vips_error_clear();
    if (!header)
        return std::nullopt;
    return QSize(std::max(0, vips_image_get_width(header.get())), std::max(0, vips_image_get_height(header.get())));
}

std::optional<Picture> Picture::scaled(const QString &path, int limit, bool flatten)
{
    startVips();
    limit = std::max(limit, 1);
    // Errors in the data fail the load instead of leaving grey or garbled areas.
    // (This libvips hands the loader only its option string, not "fail_on".)
    static constexpr char kFailOnErrors[] = "fail_on=error";
    VipsImage *thumb = nullptr;
    std::optional<QByteArray> bytes;  // must outlive the lazy decode below
    if (SourcePtr source = openSource(path); source && vips_foreign_find_load_source(source.get())) {
        vips_thumbnail_source(source.get(), &thumb, limit, "height", limit, "size", VIPS_SIZE_DOWN,
                              "option_string", kFailOnErrors, nullptr);
    } else if ((bytes = readSmallFile(path))) {
        vips_thumbnail_buffer(bytes->data(), size_t(bytes->size()), &thumb, limit, "height", limit, "size",
                              VIPS_SIZE_DOWN, "option_string", kFailOnErrors, nullptr);
    }
    if (!thumb) {
        vips_error_clear();
        return std::nullopt;
    }
    ImagePtr image = adopt(thumb);
    if (flatten && vips_image_hasalpha(image.get())) {
        if (ImagePtr flat = flattenedOnWhite(image.get()))
            image = std::move(flat);
        else
            vips_error_clear();  // keep the transparent picture, as a fallback
    }
    // Decode now, so a broken file fails here as unreadable rather than later
    // while being saved.
    VipsImage *decoded = vips_image_copy_memory(image.get());
    if (!decoded) {
        vips_error_clear();
        return std::nullopt;
    }
    return Picture(decoded);
}

bool Picture::canWrite(Format format)
{
    startVips();
    VipsOperation *saver = vips_operation_new(saverName(format));
    if (!saver) {
        vips_error_clear();
        return false;
    }
    // Also honours savers this process has blocked (libvips' untrusted-operation policy).
    const bool blocked = vips_operation_get_flags(saver) & VIPS_OPERATION_BLOCKED;
    g_object_unref(saver);
    if (blocked)
        return false;
    // libheif can be built without any HEVC encoder; only an encode tells.
    if (format == Format::heic) {
        static const bool encodes = [] {
            VipsImage *black = nullptr;
            if (vips_black(&black, 16, 16, "bands", 3, nullptr) != 0)
                return false;
            ImagePtr probe = adopt(black);
            void *buffer = nullptr;
            size_t length = 0;
            const bool ok = vips_heifsave_buffer(probe.get(), &buffer, &length, "compression",
                                                 VIPS_FOREIGN_HEIF_COMPRESSION_HEVC, nullptr) == 0;
            g_free(buffer);
            vips_error_clear();
            return ok;
        }();
        return encodes;
    }
    return true;
}

std::optional<QByteArray> Picture::encode(Format format, double quality) const
{
    VipsImage *in = m_image.get();
    const int q = std::clamp(int(std::lround(quality * 100)), 1, 100);
    void *buffer = nullptr;
    size_t length = 0;
    int failed = -1;
    switch (format) {
    case Format::jpeg:
        failed = vips_jpegsave_buffer(in, &buffer, &length, "Q", q, nullptr);
        break;
    case Format::png:
        failed = vips_pngsave_buffer(in, &buffer, &length, nullptr);
        break;
    case Format::heic:
        failed = vips_heifsave_buffer(in, &buffer, &length, "Q", q, "compression",
                                      VIPS_FOREIGN_HEIF_COMPRESSION_HEVC, nullptr);
        break;
    case Format::tiff:
        failed = vips_tiffsave_buffer(in, &buffer, &length, nullptr);
        break;
    case Format::bmp:
        failed = vips_magicksave_buffer(in, &buffer, &length, "format", "bmp", nullptr);
        break;
    case Format::ico:
        failed = vips_magicksave_buffer(in, &buffer, &length, "format", "ico", nullptr);
        break;
    case Format::gif:
        failed = vips_gifsave_buffer(in, &buffer, &length, nullptr);
        break;
    }
    if (failed != 0 || !buffer) {
        g_free(buffer);
        vips_error_clear();
        return std::nullopt;
    }
    QByteArray bytes(static_cast<const char *>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

QImage Picture::toImage() const
{
    ImagePtr srgb = toSRGB8(m_image.get());
    if (!srgb || (srgb->Bands != 3 && srgb->Bands != 4)) {
        vips_error_clear();
        return {};
    }
    size_t length = 0;
    void *pixels = vips_image_write_to_memory(srgb.get(), &length);
    if (!pixels) {
        vips_error_clear();
        return {};
    }
    const int width = srgb->Xsize;
    const int height = srgb->Ysize;
    const bool alpha = srgb->Bands == 4;
    const QImage view(static_cast<const uchar *>(pixels), width, height, qsizetype(width) * srgb->Bands,
                      alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QImage image = view.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    g_free(pixels);
    return image;
}
