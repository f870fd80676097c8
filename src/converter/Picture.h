#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class QImage;
typedef struct _VipsImage VipsImage;

// A decoded picture in memory, made and encoded with libvips. Safe to use on any
// thread; each Picture is used by one thread at a time.
class Picture
{
public:
    enum class Format { jpeg, png, heic, tiff, bmp, ico, gif };

    // The pixel size stored in the file's header; absent when the file is not a
    // picture libvips can open.
    static std::optional<QSize> pixelSize(const QString &path);

    // The first frame, turned upright by its EXIF orientation and shrunk (never
    // enlarged) so its longest side is at most `limit`, decoded right away. With
    // `flatten`, transparency is drawn over white into 8-bit sRGB when possible.
    static std::optional<Picture> scaled(const QString &path, int limit, bool flatten);

    // Whether this libvips build has a writer for the format.
    static bool canWrite(Format format);

    // `quality` in 0..1 for JPEG and HEIC; ignored by the others.
    std::optional<QByteArray> encode(Format format, double quality) const;
    // 8-bit sRGB, with alpha when the picture has it; null on failure.
    QImage toImage() const;

private:
    explicit Picture(VipsImage *image);
    std::shared_ptr<VipsImage> m_image;
};
