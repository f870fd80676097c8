#include "converter/ConverterEngine.h"
#include "converter/OutputFile.h"
#include "converter/Picture.h"

#include "engine/ConvertError.h"
#include "engine/ConvertOptions.h"
#include "engine/ConvertTarget.h"

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <memory>

namespace ConverterEngine {

namespace {

ConvertError failure(const char *text)
{
    return ConvertError::message(QString::fromUtf8(text));
}

const char kCannotOpen[] = "This picture couldn't be opened.";
const char kCannotRead[] = "This picture couldn't be read.";
const char kCannotSave[] = "The picture couldn't be saved.";
const char kNoPDF[] = "The PDF couldn't be made.";

// The size limit a scaled copy gets: the picture's own longest side unless the
// chosen limit is smaller, so nothing is ever enlarged.
int sizeLimit(int longestSide, int maxSize)
{
    return maxSize <= 0 || maxSize >= longestSide ? longestSide : maxSize;
}

Picture::Format formatFor(const QString &targetID)
{
    if (targetID == QLatin1String("jpeg"))
        return Picture::Format::jpeg;
    if (targetID == QLatin1String("png"))
        return Picture::Format::png;
    if (targetID == QLatin1String("heic"))
        return Picture::Format::heic;
    if (targetID == QLatin1String("tiff"))
        return Picture::Format::tiff;
    if (targetID == QLatin1String("bmp"))
        return Picture::Format::bmp;
    if (targetID == QLatin1String("ico"))
        return Picture::Format::ico;
    return Picture::Format::gif;
}

double compressionFor(ConvertQuality quality)
{
    switch (quality.value()) {
    case ConvertQuality::best:
        return 0.95;
    case ConvertQuality::balanced:
        return 0.82;
    case ConvertQuality::small:
        return 0.6;
    }
    return 0.82;
}

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && writeAll(file, bytes) && commitOutput(file);
}

} // namespace

std::optional<ConvertError> convertImage(const QString &input, const QString &output,
                                         const ConvertTarget &target, const ConvertOptions &options)
{
    const std::optional<QSize> size = Picture::pixelSize(input);
    if (!size)
        return failure(kCannotOpen);
    if (target.id == QLatin1String("pdf"))
        return picturesToPDF({input}, output, options);

    const Picture::Format format = formatFor(target.id);
    if (!Picture::canWrite(format))
        return ConvertError::message(QStringLiteral("This system can't write ") + target.title
                                     + QStringLiteral(" files."));

    int maxSize = options.maxSize;
    if (format == Picture::Format::ico)
        maxSize = maxSize >= 1 && maxSize <= 255 ? maxSize : 256;
    const bool flatten = format == Picture::Format::jpeg || format == Picture::Format::bmp;
    const int longest = std::max({size->width(), size->height(), 1});
    std::optional<Picture> picture = Picture::scaled(input, sizeLimit(longest, maxSize), flatten);
    if (!picture)
        return failure(kCannotRead);

    const bool lossy = format == Picture::Format::jpeg || format == Picture::Format::heic;
    const std::optional<QByteArray> bytes = picture->encode(format, lossy ? compressionFor(options.quality) : 0.0);
    if (!bytes || !writeAtomically(output, *bytes))
        return failure(kCannotSave);
    return std::nullopt;
}

std::optional<ConvertError> picturesToPDF(const QStringList &pictures, const QString &output,
                                          const ConvertOptions &options)
{
    QSaveFile file(output);
    CheckedWrites checked(file);
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;
    int pages = 0;
    for (const QString &path : pictures) {
        const std::optional<QSize> size = Picture::pixelSize(path);
        if (!size)
            continue;
        const int longest = std::max({size->width(), size->height(), 1});
        const std::optional<Picture> picture = Picture::scaled(path, sizeLimit(longest, options.maxSize), false);
        const QImage image = picture ? picture->toImage() : QImage();
        if (image.isNull())
            continue;
        // One point per pixel: the page is exactly the picture.
        const QPageSize pageSize(QSizeF(image.size()), QPageSize::Point, QString(), QPageSize::ExactMatch);
        if (!writer) {
            if (!file.open(QIODevice::WriteOnly))
                return failure(kNoPDF);
            writer = std::make_unique<QPdfWriter>(&checked);
            writer->setResolution(72);
            writer->setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF()));
            if (!painter.begin(writer.get()))
                return failure(kNoPDF);
        } else {
            writer->setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF()));
            if (!writer->newPage())
                return failure(kNoPDF);
        }
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(image.size())), image);
        ++pages;
    }
    if (pages == 0)
        return failure(kNoPDF);
    if (!painter.end() || checked.failed() || !commitOutput(file))
        return failure(kNoPDF);
    return std::nullopt;
}

} // namespace ConverterEngine
